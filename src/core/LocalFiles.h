// The files beside the program, as the core asks for them: where the program lies,
// whole-file reads and writes, and the ANSI code page for files without a mark.
// The Windows layer implements it (win32/files/Win32LocalFiles.h); tests use an in-memory fake.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "AnsiCodePage.h"

namespace cvl {

class ILocalFiles {
 public:
  virtual ~ILocalFiles() = default;

  // The folder of the program's own executable, ending in a backslash.
  virtual std::u16string ProgramDirectory() = 0;
  // The whole file; nullopt when there is no file. Raises EFOpenError for a file that
  // exists but cannot be opened or read.
  virtual std::optional<std::string> ReadWholeFile(const std::u16string& path) = 0;
  // Creates or replaces the file in one step: a failed write leaves the old file as it
  // was and raises EFCreateError.
  virtual void WriteWholeFile(const std::u16string& path, std::string_view bytes) = 0;
  virtual const IAnsiCodePage& AnsiCodePage() = 0;
};

}  // namespace cvl
