#include "win32/ZipLinkTest.h"

#include <windows.h>

namespace cvl {

bool IsReparsePoint(const std::filesystem::path& path) {
  const DWORD attributes = ::GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

}  // namespace cvl
