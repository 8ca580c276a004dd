// The unpacking file calls on Windows, straight on the Win32 file API. Every user of the
// core links them through it (see src/win32/CMakeLists.txt), like the AES block.
#include <windows.h>

#include <algorithm>
#include <utility>

#include "core/ZipFiles.h"
#include "core/ZipReader.h"
#include "win32/base/ScopedHandle.h"
#include "win32/base/SystemError.h"
#include "win32/base/WinText.h"

namespace cvl {
namespace {

[[noreturn]] void Fail(std::u16string reason) { throw EZipError(std::move(reason)); }

std::u16string LastErrorText() { return SystemErrorMessage(::GetLastError()); }

class TFileSource : public TZipSource {
 public:
  explicit TFileSource(TScopedHandle file) : FFile(std::move(file)) {
    LARGE_INTEGER size{};
    if (!::GetFileSizeEx(FFile.Get(), &size)) Fail(u"the archive cannot be read");
    FSize = static_cast<std::uint64_t>(size.QuadPart);
  }
  std::uint64_t Size() const override { return FSize; }
  void ReadAt(std::uint64_t offset, char* bytes, std::size_t size) override {
    while (size > 0) {
      // A synchronous handle reads at the offset given in OVERLAPPED, so threads with
      // handles of their own never seek.
      OVERLAPPED at{};
      at.Offset = static_cast<DWORD>(offset);
      at.OffsetHigh = static_cast<DWORD>(offset >> 32);
      const DWORD wanted = static_cast<DWORD>(std::min<std::size_t>(size, 1u << 30));
      DWORD got = 0;
      if (!::ReadFile(FFile.Get(), bytes, wanted, &got, &at) || got == 0) Fail(u"the archive cannot be read");
      bytes += got;
      offset += got;
      size -= got;
    }
  }

 private:
  TScopedHandle FFile;
  std::uint64_t FSize = 0;
};

HANDLE Handle(std::intptr_t value) { return reinterpret_cast<HANDLE>(value); }

// The output file's handle, kept as a number in the platform-free header, handed to
// an owner: the number says "none" afterwards.
HANDLE TakeHandle(std::intptr_t& value) {
  return Handle(std::exchange(value, reinterpret_cast<std::intptr_t>(INVALID_HANDLE_VALUE)));
}

}  // namespace

char16_t PathSeparator() { return u'\\'; }
bool IsPathSeparator(char16_t c) { return c == u'\\' || c == u'/'; }

TPathKind PathKind(const std::u16string& path) {
  const DWORD attributes = ::GetFileAttributesW(ToWide(path).c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return TPathKind::None;
  if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) return TPathKind::Link;
  return (attributes & FILE_ATTRIBUTE_DIRECTORY) ? TPathKind::Folder : TPathKind::File;
}

bool CreateFolder(const std::u16string& path) {
  if (::CreateDirectoryW(ToWide(path).c_str(), nullptr)) return true;
  if (::GetLastError() == ERROR_ALREADY_EXISTS) return false;
  Fail(u"the folder \"" + path + u"\" cannot be made: " + LastErrorText());
}

void MovePath(const std::u16string& from, const std::u16string& to) {
  if (!::MoveFileExW(ToWide(from).c_str(), ToWide(to).c_str(), MOVEFILE_REPLACE_EXISTING)) {
    Fail(u"\"" + to + u"\" cannot be put in place: " + LastErrorText());
  }
}

bool RemovePath(const std::u16string& path) noexcept {
  try {
    const std::wstring name = ToWide(path);
    return ::DeleteFileW(name.c_str()) || ::RemoveDirectoryW(name.c_str());
  } catch (...) {
    return false;
  }
}

void RemoveTree(const std::u16string& path) noexcept {
  try {
    const std::wstring folder = ToWide(path);
    {
      // Closed before the folder itself is removed.
      WIN32_FIND_DATAW found{};
      const TScopedFindHandle search(::FindFirstFileExW((folder + L"\\*").c_str(), FindExInfoBasic, &found,
                                                        FindExSearchNameMatch, nullptr, 0));
      while (search.Valid()) {
        const std::wstring name = found.cFileName;
        const std::wstring item = folder + L"\\" + name;
        const DWORD attributes = found.dwFileAttributes;
        if (name == L"." || name == L"..") {
        } else if ((attributes & FILE_ATTRIBUTE_DIRECTORY) && !(attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
          RemoveTree(FromWide(item));
        } else if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
          ::RemoveDirectoryW(item.c_str());  // a link to a folder: the link only
        } else {
          ::DeleteFileW(item.c_str());
        }
        if (!::FindNextFileW(search.Get(), &found)) break;
      }
    }
    ::RemoveDirectoryW(folder.c_str());
  } catch (...) {
  }
}

std::uint64_t FreeSpace(const std::u16string& path) {
  ULARGE_INTEGER available{};
  if (!::GetDiskFreeSpaceExW(ToWide(path).c_str(), &available, nullptr, nullptr)) return UINT64_MAX;
  return available.QuadPart;
}

std::vector<std::u16string> ListFolder(const std::u16string& path) {
  WIN32_FIND_DATAW found{};
  const TScopedFindHandle search(::FindFirstFileExW((ToWide(path) + L"\\*").c_str(), FindExInfoBasic, &found,
                                                    FindExSearchNameMatch, nullptr, 0));
  if (!search.Valid()) Fail(u"the folder \"" + path + u"\" cannot be read: " + LastErrorText());
  std::vector<std::u16string> names;
  do {
    const std::wstring name = found.cFileName;
    if (name != L"." && name != L"..") names.push_back(FromWide(name));
  } while (::FindNextFileW(search.Get(), &found));
  return names;
}

std::unique_ptr<TZipSource> OpenZipSource(const std::u16string& path) {
  TScopedHandle file(::CreateFileW(ToWide(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                   nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) Fail(u"the archive cannot be opened");
  return std::make_unique<TFileSource>(std::move(file));
}

TOutputFile::TOutputFile(const std::u16string& path)
    : FHandle(reinterpret_cast<std::intptr_t>(::CreateFileW(ToWide(path).c_str(), GENERIC_WRITE, 0, nullptr,
                                                            CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr))) {
  if (Handle(FHandle) == INVALID_HANDLE_VALUE) Fail(u"a file cannot be written in the target folder");
}

TOutputFile::~TOutputFile() { const TScopedHandle file(TakeHandle(FHandle)); }

void TOutputFile::Write(std::string_view data) {
  while (!data.empty()) {
    const DWORD wanted = static_cast<DWORD>(std::min<std::size_t>(data.size(), 1u << 30));
    DWORD written = 0;
    if (!::WriteFile(Handle(FHandle), data.data(), wanted, &written, nullptr) || written == 0) {
      Fail(u"a file cannot be written in the target folder");
    }
    data.remove_prefix(written);
  }
}

void TOutputFile::Flush() {
  if (!::FlushFileBuffers(Handle(FHandle))) Fail(u"a file cannot be written in the target folder");
}

void TOutputFile::Close() {
  TScopedHandle file(TakeHandle(FHandle));
  if (!file || !file.Close()) Fail(u"a file cannot be written in the target folder");
}

}  // namespace cvl
