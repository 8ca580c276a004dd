// The release's file calls on the Win32 file API, for cvlctl.exe. Paths arrive as UTF-8
// and go to the system as long UTF-16 paths ("\\?\C:\..."), so a client folder deeper
// than MAX_PATH is read like any other.
#include <windows.h>

#include <algorithm>

#include "ReleaseFiles.h"
#include "ToolSupport.h"
#include "core/Text.h"
#include "win32/base/ScopedHandle.h"
#include "win32/base/SystemError.h"
#include "win32/base/WinText.h"

namespace cvl {
namespace {

constexpr std::intptr_t kNoHandle = -1;

[[noreturn]] void Fail(std::u16string_view what, std::string_view path, DWORD error) {
  throw EBadInput(std::u16string(what) + u" " + ShownPath(path) + u": " + SystemErrorMessage(error));
}

HANDLE Handle(std::intptr_t value) { return reinterpret_cast<HANDLE>(value); }

std::wstring WidePath(const std::string& path) {
  std::wstring wide = ToWide(Utf8ToUtf16(path));
  for (wchar_t& c : wide) {
    if (c == L'/') c = L'\\';
  }
  if (wide.rfind(L"\\\\?\\", 0) == 0) return wide;
  const DWORD needed = ::GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
  if (needed == 0) return wide;
  std::wstring full(needed, L'\0');
  const DWORD length = ::GetFullPathNameW(wide.c_str(), needed, full.data(), nullptr);
  if (length == 0 || length >= needed) return wide;
  full.resize(length);
  if (full.rfind(L"\\\\", 0) == 0) return L"\\\\?\\UNC\\" + full.substr(2);
  return L"\\\\?\\" + full;
}

TFileKind KindOfAttributes(DWORD attributes) {
  if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) return TFileKind::Link;
  if (attributes & FILE_ATTRIBUTE_DIRECTORY) return TFileKind::Folder;
  if (attributes & FILE_ATTRIBUTE_DEVICE) return TFileKind::Other;
  return TFileKind::File;
}

bool HasUnpairedSurrogate(std::wstring_view name) {
  for (std::size_t i = 0; i < name.size(); ++i) {
    const wchar_t c = name[i];
    if (c >= 0xD800 && c <= 0xDBFF) {
      if (i + 1 < name.size() && name[i + 1] >= 0xDC00 && name[i + 1] <= 0xDFFF) {
        ++i;
        continue;
      }
      return true;
    }
    if (c >= 0xDC00 && c <= 0xDFFF) return true;
  }
  return false;
}

}  // namespace

std::string PathArgument(const std::u16string& argument) { return Utf16ToUtf8(argument); }

TFileKind KindOf(const std::string& path) {
  const DWORD attributes = ::GetFileAttributesW(WidePath(path).c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return TFileKind::Missing;
  return KindOfAttributes(attributes);
}

TFileKind KindOfTarget(const std::string& path) {
  const TFileKind kind = KindOf(path);
  if (kind != TFileKind::Link) return kind;
  // Opening follows the link to what a reader meets.
  TScopedHandle target(::CreateFileW(WidePath(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                     nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  BY_HANDLE_FILE_INFORMATION information{};
  if (!target || !::GetFileInformationByHandle(target.Get(), &information)) return TFileKind::Missing;
  return (information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ? TFileKind::Folder : TFileKind::File;
}

std::string FullPath(const std::string& path) {
  std::wstring wide = WidePath(path);
  if (wide.rfind(L"\\\\?\\", 0) == 0) wide = wide.substr(4);
  for (wchar_t& c : wide) {
    if (c == L'\\') c = L'/';
  }
  return Utf16ToUtf8(FromWide(wide));
}

bool IsInside(const std::string& inner, const std::string& outer) {
  const std::u16string a = UpperAscii(Utf8ToUtf16(FullPath(inner)));
  const std::u16string b = UpperAscii(Utf8ToUtf16(FullPath(outer)));
  return a == b || (a.size() > b.size() && a.compare(0, b.size(), b) == 0 && (b.back() == u'/' || a[b.size()] == u'/'));
}

std::vector<TFolderEntry> ListFolder(const std::string& folder) {
  WIN32_FIND_DATAW found{};
  const std::wstring pattern = WidePath(folder) + L"\\*";
  TScopedFindHandle search(::FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &found, FindExSearchNameMatch, nullptr,
                                        FIND_FIRST_EX_LARGE_FETCH));
  if (!search) Fail(u"cannot read the folder", folder, ::GetLastError());
  std::vector<TFolderEntry> entries;
  do {
    const std::wstring_view name = found.cFileName;
    if (name == L"." || name == L"..") continue;
    TFolderEntry entry;
    entry.ValidText = !HasUnpairedSurrogate(name);
    entry.Name = Utf16ToUtf8(FromWide(name));
    entry.Kind = KindOfAttributes(found.dwFileAttributes);
    if (entry.Kind == TFileKind::File) {
      entry.Size = (static_cast<std::uint64_t>(found.nFileSizeHigh) << 32) | found.nFileSizeLow;
    }
    entries.push_back(std::move(entry));
  } while (::FindNextFileW(search.Get(), &found));
  const DWORD error = ::GetLastError();
  if (error != ERROR_NO_MORE_FILES) Fail(u"cannot read the folder", folder, error);
  return entries;
}

TOsFile TOsFile::OpenForReading(const std::string& path) {
  const HANDLE file = ::CreateFileW(WidePath(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (file == INVALID_HANDLE_VALUE) Fail(u"cannot read", path, ::GetLastError());
  return TOsFile(path, reinterpret_cast<std::intptr_t>(file));
}

TOsFile TOsFile::Create(const std::string& path) {
  const HANDLE file = ::CreateFileW(WidePath(path).c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                    CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) Fail(u"cannot write", path, ::GetLastError());
  return TOsFile(path, reinterpret_cast<std::intptr_t>(file));
}

TOsFile::TOsFile(TOsFile&& other) noexcept : FPath(std::move(other.FPath)), FHandle(other.FHandle) {
  other.FHandle = kNoHandle;
}

TOsFile& TOsFile::operator=(TOsFile&& other) noexcept {
  if (this != &other) {
    Close();
    FPath = std::move(other.FPath);
    FHandle = other.FHandle;
    other.FHandle = kNoHandle;
  }
  return *this;
}

TOsFile::~TOsFile() { Close(); }

void TOsFile::Close() noexcept {
  TScopedHandle owner(FHandle == kNoHandle ? nullptr : Handle(FHandle));
  FHandle = kNoHandle;
}

std::uint64_t TOsFile::Size() const {
  LARGE_INTEGER size{};
  if (!::GetFileSizeEx(Handle(FHandle), &size)) Fail(u"cannot read", FPath, ::GetLastError());
  return static_cast<std::uint64_t>(size.QuadPart);
}

std::size_t TOsFile::ReadAt(std::uint64_t offset, char* bytes, std::size_t size) const {
  std::size_t done = 0;
  while (done < size) {
    // A read at the offset given in OVERLAPPED: threads sharing the handle never seek.
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(offset + done);
    at.OffsetHigh = static_cast<DWORD>((offset + done) >> 32);
    const DWORD wanted = static_cast<DWORD>(std::min<std::size_t>(size - done, 1u << 30));
    DWORD got = 0;
    if (!::ReadFile(Handle(FHandle), bytes + done, wanted, &got, &at)) {
      const DWORD error = ::GetLastError();
      if (error == ERROR_HANDLE_EOF) break;
      Fail(u"cannot read", FPath, error);
    }
    if (got == 0) break;
    done += got;
  }
  return done;
}

void TOsFile::WriteAt(std::uint64_t offset, const char* bytes, std::size_t size) {
  while (size > 0) {
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(offset);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32);
    const DWORD wanted = static_cast<DWORD>(std::min<std::size_t>(size, 1u << 30));
    DWORD put = 0;
    if (!::WriteFile(Handle(FHandle), bytes, wanted, &put, &at)) Fail(u"cannot write", FPath, ::GetLastError());
    if (put == 0) Fail(u"cannot write", FPath, ERROR_DISK_FULL);
    bytes += put;
    offset += put;
    size -= put;
  }
}

void TOsFile::SyncAndClose() {
  TScopedHandle owner(Handle(FHandle));
  FHandle = kNoHandle;
  if (!::FlushFileBuffers(owner.Get()) || !owner.Close()) Fail(u"cannot write", FPath, ::GetLastError());
}

void MoveIntoPlace(const std::string& from, const std::string& to) {
  if (!::MoveFileExW(WidePath(from).c_str(), WidePath(to).c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    Fail(u"cannot put in place", to, ::GetLastError());
  }
}

bool RemoveFile(const std::string& path) noexcept {
  try {
    return ::DeleteFileW(WidePath(path).c_str()) != 0;
  } catch (...) {
    return false;
  }
}

bool MakeFolder(const std::string& path) {
  if (::CreateDirectoryW(WidePath(path).c_str(), nullptr)) return true;
  const DWORD error = ::GetLastError();
  if (error == ERROR_ALREADY_EXISTS) return false;
  Fail(u"cannot make the folder", path, error);
}

}  // namespace cvl
