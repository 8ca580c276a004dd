// A temporary folder per test, removed with everything in it (read-only files included),
// and plain byte access to the files in it, independent of the code under test.
#pragma once

#include <windows.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>

#include "win32/base/WinText.h"

namespace cvl {

// UTF-16 little-endian text with its mark, written out here so the checks do not lean
// on the code under test.
inline std::string Utf16LE(std::u16string_view text) {
  std::string bytes = "\xFF\xFE";
  for (const char16_t c : text) {
    bytes += static_cast<char>(c & 0xFF);
    bytes += static_cast<char>(c >> 8);
  }
  return bytes;
}

class TConfigTestFolder {
 public:
  TConfigTestFolder() {
    static int counter = 0;
    wchar_t temp[MAX_PATH + 1] = {};
    ::GetTempPathW(MAX_PATH + 1, temp);
    FPath = std::filesystem::path(temp) /
            (L"cvl-config-" + std::to_wstring(::GetCurrentProcessId()) + L"-" + std::to_wstring(++counter));
    std::filesystem::create_directories(FPath);
  }
  ~TConfigTestFolder() {
    std::error_code ignored;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(FPath, ignored)) {
      ::SetFileAttributesW(entry.path().c_str(), FILE_ATTRIBUTE_NORMAL);
    }
    std::filesystem::remove_all(FPath, ignored);
  }
  TConfigTestFolder(const TConfigTestFolder&) = delete;
  TConfigTestFolder& operator=(const TConfigTestFolder&) = delete;

  // The folder with a trailing backslash, as the launcher keeps folders.
  std::u16string Directory() const { return FromWide(FPath.wstring()) + u"\\"; }
  std::u16string File(const std::u16string& name) const { return Directory() + name; }

  static void Write(const std::u16string& path, const std::string& bytes) {
    std::ofstream(std::filesystem::path(ToWide(path)), std::ios::binary) << bytes;
  }
  static std::string Read(const std::u16string& path) {
    std::ifstream in(std::filesystem::path(ToWide(path)), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  static bool Exists(const std::u16string& path) { return std::filesystem::exists(ToWide(path)); }
  static void SetReadOnly(const std::u16string& path) {
    ::SetFileAttributesW(ToWide(path).c_str(), FILE_ATTRIBUTE_READONLY);
  }
  // How many entries the folder holds, to see that no temporary file was left behind.
  std::size_t FileCount() const {
    return static_cast<std::size_t>(std::distance(std::filesystem::directory_iterator(FPath),
                                                  std::filesystem::directory_iterator()));
  }

 private:
  std::filesystem::path FPath;
};

}  // namespace cvl
