// A made-up machine for the window's creation handler: in-memory files, a registry of
// string values, a switchable debugger, and a record of the boxes shown.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "FakeLocalFiles.h"
#include "core/FormCreatePlatform.h"
#include "core/SystemErrors.h"

namespace cvl {

class TFakeFormCreatePlatform : public IFormCreatePlatform {
 public:
  TFakeLocalFiles LocalFiles;
  bool Debugger = false;
  // Values under HKEY_LOCAL_MACHINE by key path and value name.
  std::map<std::pair<std::u16string, std::u16string>, std::u16string> Registry;
  std::u16string WrongTypeValue;  // a value of another type than string
  std::vector<std::u16string> Boxes;
  std::vector<std::u16string> RegistryReads;

  bool IsDebuggerPresent() override { return Debugger; }
  void ShowMessage(const std::u16string& text) override { Boxes.push_back(text); }

  std::u16string ReadLocalMachineString(const std::u16string& keyPath, const std::u16string& valueName) override {
    RegistryReads.push_back(keyPath + u"|" + valueName);
    if (valueName == WrongTypeValue) throw ERegistryException(valueName);
    const auto found = Registry.find({keyPath, valueName});
    return found == Registry.end() ? std::u16string() : found->second;
  }

  ILocalFiles& Files() override { return LocalFiles; }
};

}  // namespace cvl
