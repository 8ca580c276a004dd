// The main window's creation handler on Windows: IsDebuggerPresent, a message box, the
// registry under HKEY_LOCAL_MACHINE and the files beside the executable.
#pragma once

#include "core/FormCreatePlatform.h"
#include "win32/files/Win32LocalFiles.h"

namespace cvl {

class TWin32FormCreatePlatform : public IFormCreatePlatform {
 public:
  TWin32FormCreatePlatform() = default;
  // With the files of a program in another folder; for tests.
  explicit TWin32FormCreatePlatform(std::u16string programDirectory) : FFiles(std::move(programDirectory)) {}

  bool IsDebuggerPresent() override;
  // MB_OK with the program's title; no owner, as the window is not visible yet.
  void ShowMessage(const std::u16string& text) override;
  std::u16string ReadLocalMachineString(const std::u16string& keyPath, const std::u16string& valueName) override;
  ILocalFiles& Files() override { return FFiles; }

 private:
  TWin32LocalFiles FFiles;
};

}  // namespace cvl
