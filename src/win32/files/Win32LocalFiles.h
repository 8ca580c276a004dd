// The files beside the program, for real: the executable's folder, whole-file reads and
// atomic whole-file writes, the system's ANSI code page.
#pragma once

#include <string>

#include "core/LocalFiles.h"
#include "win32/files/AnsiCodePageWin32.h"

namespace cvl {

class TWin32LocalFiles : public ILocalFiles {
 public:
  // Beside the running executable.
  TWin32LocalFiles();
  // Beside a program in another folder (ending in a backslash); for tests.
  explicit TWin32LocalFiles(std::u16string programDirectory);

  std::u16string ProgramDirectory() override { return FProgramDirectory; }
  std::optional<std::string> ReadWholeFile(const std::u16string& path) override;
  void WriteWholeFile(const std::u16string& path, std::string_view bytes) override;
  const IAnsiCodePage& AnsiCodePage() override { return FCodePage; }

 private:
  std::u16string FProgramDirectory;
  TWin32AnsiCodePage FCodePage;
};

}  // namespace cvl
