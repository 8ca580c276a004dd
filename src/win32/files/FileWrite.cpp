#include "win32/files/FileWrite.h"

#include <algorithm>
#include <atomic>

#include "core/SystemErrors.h"
#include "win32/base/ScopedHandle.h"
#include "win32/base/SystemError.h"
#include "win32/base/WinText.h"

namespace cvl {
namespace {

[[noreturn]] void FailCreate(const std::u16string& path, DWORD error) {
  throw EFCreateError(path, SystemErrorMessage(error));
}

// The file beside the target, by its path: removed unless it has taken the target's
// place (Release then).
struct TPendingFileTraits {
  using THandle = std::wstring;
  static std::wstring NullHandle() { return {}; }
  static bool IsValid(const std::wstring& path) { return !path.empty(); }
  static bool Close(const std::wstring& path) { return ::DeleteFileW(path.c_str()) != FALSE; }
};

// A name beside the target no other writer uses: process id and a running number.
std::wstring PendingName(const std::wstring& target) {
  static std::atomic<unsigned> counter{0};
  return target + L"." + std::to_wstring(::GetCurrentProcessId()) + L"-" + std::to_wstring(++counter) + L".tmp";
}

void WriteAll(const std::u16string& path, HANDLE file, std::string_view bytes) {
  while (!bytes.empty()) {
    const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), 1u << 20));
    DWORD written = 0;
    if (!::WriteFile(file, bytes.data(), chunk, &written, nullptr)) FailCreate(path, ::GetLastError());
    bytes.remove_prefix(written);
  }
  // On the disk before it replaces the old file, so a crash cannot leave an empty one.
  if (!::FlushFileBuffers(file)) FailCreate(path, ::GetLastError());
}

}  // namespace

void WriteFileAtomically(const std::u16string& path, std::string_view bytes) {
  const std::wstring target = ToWide(path);
  // A read-only file must not be replaced, even where the folder would allow it (as
  // renaming over it would, and as writing into it would for a user who may write
  // anyway, such as Wine run by root).
  const DWORD attributes = ::GetFileAttributesW(target.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0) {
    FailCreate(path, ERROR_ACCESS_DENIED);
  }
  TScopedHandle file;
  std::wstring pendingName;
  for (int attempt = 0; attempt < 100 && !file; ++attempt) {
    pendingName = PendingName(target);
    file.Reset(::CreateFileW(pendingName.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                             FILE_ATTRIBUTE_NORMAL, nullptr));
    const DWORD error = file ? ERROR_SUCCESS : ::GetLastError();
    if (!file && error != ERROR_FILE_EXISTS) FailCreate(path, error);
  }
  if (!file) FailCreate(path, ERROR_FILE_EXISTS);
  TGenericScopedHandle<TPendingFileTraits> pending(pendingName);
  WriteAll(path, file.Get(), bytes);
  file.Close();
  if (!::MoveFileExW(pending.Get().c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    FailCreate(path, ::GetLastError());
  }
  pending.Release();
}

}  // namespace cvl
