// The unpacking file calls on POSIX systems: paths are UTF-8 on disk.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "core/Text.h"
#include "core/ZipFiles.h"
#include "core/ZipReader.h"

namespace cvl {
namespace {

std::string OnDisk(const std::u16string& path) { return Utf16ToUtf8(path); }

std::u16string SystemText(int error) { return Utf8ToUtf16(std::strerror(error)); }

[[noreturn]] void Fail(std::u16string reason) { throw EZipError(std::move(reason)); }

class TFileSource : public TZipSource {
 public:
  explicit TFileSource(int fd) : FFd(fd) {
    struct stat info {};
    if (::fstat(FFd, &info) != 0 || !S_ISREG(info.st_mode)) {
      ::close(FFd);
      Fail(u"the archive cannot be opened");
    }
    FSize = static_cast<std::uint64_t>(info.st_size);
  }
  ~TFileSource() override { ::close(FFd); }
  std::uint64_t Size() const override { return FSize; }
  void ReadAt(std::uint64_t offset, char* bytes, std::size_t size) override {
    while (size > 0) {
      const ssize_t got = ::pread(FFd, bytes, size, static_cast<off_t>(offset));
      if (got < 0 && errno == EINTR) continue;
      if (got <= 0) Fail(u"the archive cannot be read");
      bytes += got;
      offset += static_cast<std::uint64_t>(got);
      size -= static_cast<std::size_t>(got);
    }
  }

 private:
  int FFd;
  std::uint64_t FSize = 0;
};

}  // namespace

char16_t PathSeparator() { return u'/'; }
bool IsPathSeparator(char16_t c) { return c == u'/'; }

TPathKind PathKind(const std::u16string& path) {
  struct stat info {};
  if (::lstat(OnDisk(path).c_str(), &info) != 0) return TPathKind::None;
  if (S_ISLNK(info.st_mode)) return TPathKind::Link;
  return S_ISDIR(info.st_mode) ? TPathKind::Folder : TPathKind::File;
}

bool CreateFolder(const std::u16string& path) {
  if (::mkdir(OnDisk(path).c_str(), 0777) == 0) return true;
  const int error = errno;
  if (error == EEXIST) return false;
  Fail(u"the folder \"" + path + u"\" cannot be made: " + SystemText(error));
}

void MovePath(const std::u16string& from, const std::u16string& to) {
  if (::rename(OnDisk(from).c_str(), OnDisk(to).c_str()) != 0) {
    Fail(u"\"" + to + u"\" cannot be put in place: " + SystemText(errno));
  }
}

bool RemovePath(const std::u16string& path) noexcept {
  try {
    const std::string name = OnDisk(path);
    return ::unlink(name.c_str()) == 0 || ::rmdir(name.c_str()) == 0;
  } catch (...) {
    return false;
  }
}

void RemoveTree(const std::u16string& path) noexcept {
  try {
    std::error_code ec;
    std::filesystem::remove_all(std::filesystem::path(OnDisk(path)), ec);  // links are removed, not followed
  } catch (...) {
  }
}

std::uint64_t FreeSpace(const std::u16string& path) {
  struct statvfs info {};
  if (::statvfs(OnDisk(path).c_str(), &info) != 0) return UINT64_MAX;
  return static_cast<std::uint64_t>(info.f_bavail) * info.f_frsize;
}

std::vector<std::u16string> ListFolder(const std::u16string& path) {
  DIR* folder = ::opendir(OnDisk(path).c_str());
  if (folder == nullptr) Fail(u"the folder \"" + path + u"\" cannot be read: " + SystemText(errno));
  std::vector<std::u16string> names;
  try {
    while (const dirent* item = ::readdir(folder)) {
      const std::string name = item->d_name;
      if (name != "." && name != "..") names.push_back(Utf8ToUtf16(name));
    }
  } catch (...) {
    ::closedir(folder);
    throw;
  }
  ::closedir(folder);
  return names;
}

std::unique_ptr<TZipSource> OpenZipSource(const std::u16string& path) {
  const int fd = ::open(OnDisk(path).c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) Fail(u"the archive cannot be opened");
  return std::make_unique<TFileSource>(fd);
}

TOutputFile::TOutputFile(const std::u16string& path)
    : FHandle(::open(OnDisk(path).c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666)) {
  if (FHandle < 0) Fail(u"a file cannot be written in the target folder");
}

TOutputFile::~TOutputFile() {
  if (FHandle >= 0) ::close(static_cast<int>(FHandle));
}

void TOutputFile::Write(std::string_view data) {
  while (!data.empty()) {
    const ssize_t written = ::write(static_cast<int>(FHandle), data.data(), data.size());
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) Fail(u"a file cannot be written in the target folder");
    data.remove_prefix(static_cast<std::size_t>(written));
  }
}

void TOutputFile::Flush() {
  if (::fsync(static_cast<int>(FHandle)) != 0) Fail(u"a file cannot be written in the target folder");
}

void TOutputFile::Close() {
  const int fd = static_cast<int>(FHandle);
  FHandle = -1;
  if (::close(fd) != 0) Fail(u"a file cannot be written in the target folder");
}

}  // namespace cvl
