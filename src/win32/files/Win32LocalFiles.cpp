#include "win32/files/Win32LocalFiles.h"

#include "win32/files/FileRead.h"
#include "win32/files/FileWrite.h"
#include "win32/files/Paths.h"

namespace cvl {

TWin32LocalFiles::TWin32LocalFiles() : FProgramDirectory(ExecutableDirectory()) {}

TWin32LocalFiles::TWin32LocalFiles(std::u16string programDirectory) : FProgramDirectory(std::move(programDirectory)) {}

std::optional<std::string> TWin32LocalFiles::ReadWholeFile(const std::u16string& path) {
  return cvl::ReadWholeFile(path);
}

void TWin32LocalFiles::WriteWholeFile(const std::u16string& path, std::string_view bytes) {
  WriteFileAtomically(path, bytes);
}

}  // namespace cvl
