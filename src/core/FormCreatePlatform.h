// What the main window's creation handler asks of the platform.
#pragma once

#include <string>

#include "LocalFiles.h"

namespace cvl {

class IFormCreatePlatform {
 public:
  virtual ~IFormCreatePlatform() = default;

  // A debugger is attached to the process.
  virtual bool IsDebuggerPresent() = 0;
  // A modal message box with an OK button; returns when it is closed.
  virtual void ShowMessage(const std::u16string& text) = 0;
  // A string value (plain or expandable, not expanded) under HKEY_LOCAL_MACHINE. A key
  // path starting with "\" is taken from the root. A missing key or value reads as empty;
  // a value of another type raises ERegistryException.
  virtual std::u16string ReadLocalMachineString(const std::u16string& keyPath, const std::u16string& valueName) = 0;
  virtual ILocalFiles& Files() = 0;
};

}  // namespace cvl
