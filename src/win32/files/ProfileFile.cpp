#include "win32/files/ProfileFile.h"

#include <windows.h>

#include <vector>

#include "win32/base/WinText.h"

namespace cvl {
namespace {

std::wstring FullPath(const std::u16string& fileName) {
  const std::wstring name = ToWide(fileName);
  const DWORD needed = ::GetFullPathNameW(name.c_str(), 0, nullptr, nullptr);
  if (needed == 0) return name;
  std::vector<wchar_t> buffer(needed);
  const DWORD length = ::GetFullPathNameW(name.c_str(), needed, buffer.data(), nullptr);
  return length == 0 || length >= needed ? name : std::wstring(buffer.data(), length);
}

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
  const std::wstring path = FullPath(fileName);
  if (ReadOnlyFile(path)) return false;
  return ::WritePrivateProfileStringW(ToWide(section).c_str(), ToWide(key).c_str(), ToWide(value).c_str(),
                                      path.c_str()) != FALSE;
}

bool TWin32ProfileWriter::EraseSection(const std::u16string& fileName, const std::u16string& section) {
  const std::wstring path = FullPath(fileName);
  if (ReadOnlyFile(path)) return false;
  return ::WritePrivateProfileStringW(ToWide(section).c_str(), nullptr, nullptr, path.c_str()) != FALSE;
}

void TWin32ProfileWriter::Flush(const std::u16string& fileName) {
  ::WritePrivateProfileStringW(nullptr, nullptr, nullptr, FullPath(fileName).c_str());
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
