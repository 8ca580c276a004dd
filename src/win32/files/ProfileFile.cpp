#include "win32/files/ProfileFile.h"

#include <windows.h>

#include "win32/base/WinText.h"
#include "win32/files/Paths.h"

namespace cvl {
namespace {

// Windows refuses to write a read-only file, but a profile write by a process whose
// user may write anyway (Wine run by root) would go through: refuse it here too, so a
// read-only file means the same everywhere.
bool ReadOnlyFile(const std::wstring& path) {
  const DWORD attributes = ::GetFileAttributesW(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_READONLY) == 0) return false;
  ::SetLastError(ERROR_ACCESS_DENIED);
  return true;
}

}  // namespace

bool TWin32ProfileWriter::WriteString(const std::u16string& fileName, const std::u16string& section,
                                      const std::u16string& key, const std::u16string& value) {
  const std::wstring path = FullPathName(ToWide(fileName));
  if (ReadOnlyFile(path)) return false;
  return ::WritePrivateProfileStringW(ToWide(section).c_str(), ToWide(key).c_str(), ToWide(value).c_str(),
                                      path.c_str()) != FALSE;
}

bool TWin32ProfileWriter::EraseSection(const std::u16string& fileName, const std::u16string& section) {
  const std::wstring path = FullPathName(ToWide(fileName));
  if (ReadOnlyFile(path)) return false;
  return ::WritePrivateProfileStringW(ToWide(section).c_str(), nullptr, nullptr, path.c_str()) != FALSE;
}

void TWin32ProfileWriter::Flush(const std::u16string& fileName) {
  ::WritePrivateProfileStringW(nullptr, nullptr, nullptr, FullPathName(ToWide(fileName)).c_str());
}

void SavePatchVersion(const std::u16string& configFileName, std::int32_t level) {
  TWin32ProfileWriter writer;
  SavePatchVersion(writer, configFileName, level);
}

void ClearLanguageUpdateFlag(const std::u16string& configFileName) {
  TWin32ProfileWriter writer;
  ClearLanguageUpdateFlag(writer, configFileName);
}

void ErasePreSection(const std::u16string& configFileName) {
  TWin32ProfileWriter writer;
  ErasePreSection(writer, configFileName);
}

}  // namespace cvl
