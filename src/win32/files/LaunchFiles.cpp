#include "win32/files/LaunchFiles.h"

#include <windows.h>
#include <rpc.h>

#include <cwchar>
#include <vector>

#include "core/Exception.h"
#include "win32/base/ScopedHandle.h"
#include "win32/base/WinText.h"
#include "win32/files/Paths.h"

namespace cvl {
namespace {

constexpr char16_t kDriveNotFound[] = u"The drive cannot be found";

bool IsSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

}  // namespace

std::u16string LongTempPath() {
  wchar_t shortPath[MAX_PATH + 1] = {};
  const DWORD length = ::GetTempPathW(MAX_PATH + 1, shortPath);
  if (length == 0 || length > MAX_PATH) return {};
  std::wstring path(shortPath, length);
  const DWORD needed = ::GetLongPathNameW(path.c_str(), nullptr, 0);
  if (needed != 0) {
    std::vector<wchar_t> buffer(needed);
    const DWORD got = ::GetLongPathNameW(path.c_str(), buffer.data(), needed);
    if (got != 0 && got < needed) path.assign(buffer.data(), got);
  }
  if (!path.empty() && !IsSeparator(path.back())) path += L'\\';
  return FromWide(path);
}

std::u16string NewGuidText() {
  UUID id = {};
  ::UuidCreate(&id);
  wchar_t text[40] = {};
  std::swprintf(text, 40, L"{%08lX-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}", static_cast<unsigned long>(id.Data1),
                id.Data2, id.Data3, id.Data4[0], id.Data4[1], id.Data4[2], id.Data4[3], id.Data4[4], id.Data4[5],
                id.Data4[6], id.Data4[7]);
  return FromWide(text);
}

void ForceDirectories(const std::u16string& path) {
  std::wstring full = FullPathName(ToWide(path));
  while (full.size() > 3 && IsSeparator(full.back())) full.pop_back();
  // "C:\..." must name a drive that exists; UNC paths are left to the writes.
  if (full.size() >= 2 && full[1] == L':') {
    const std::wstring root = full.substr(0, 2) + L"\\";
    if (::GetDriveTypeW(root.c_str()) == DRIVE_NO_ROOT_DIR) {
      throw Exception("EInOutError", kDriveNotFound);
    }
  }
  // Create each level from the top; failures are left for the first file write to report.
  for (std::size_t i = 3; i <= full.size(); ++i) {
    if (i == full.size() || IsSeparator(full[i])) {
      ::CreateDirectoryW(full.substr(0, i).c_str(), nullptr);
    }
  }
}

bool FileExistsFollowingLinks(const std::u16string& path) {
  // Opening with no access follows links to their target; a folder needs backup semantics.
  TScopedHandle file(::CreateFileW(ToWide(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                   nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  if (!file) return false;
  BY_HANDLE_FILE_INFORMATION info = {};
  if (!::GetFileInformationByHandle(file.Get(), &info)) return false;
  return (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

}  // namespace cvl
