#include "win32/ProfileFile.h"

#include <windows.h>

#include <vector>

#include "win32/WinText.h"

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

}  // namespace

bool TWin32ProfileWriter::WriteString(const std::u16string& fileName, const std::u16string& section,
                                      const std::u16string& key, const std::u16string& value) {
  return ::WritePrivateProfileStringW(ToWide(section).c_str(), ToWide(key).c_str(), ToWide(value).c_str(),
                                      FullPath(fileName).c_str()) != FALSE;
}

bool TWin32ProfileWriter::EraseSection(const std::u16string& fileName, const std::u16string& section) {
  return ::WritePrivateProfileStringW(ToWide(section).c_str(), nullptr, nullptr, FullPath(fileName).c_str()) != FALSE;
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
