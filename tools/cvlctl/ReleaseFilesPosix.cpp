// The release's file calls on POSIX systems: paths are the bytes on disk.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "ReleaseFiles.h"
#include "ToolSupport.h"
#include "core/Text.h"

namespace cvl {
namespace {

constexpr std::intptr_t kNoHandle = -1;

[[noreturn]] void Fail(std::u16string_view what, std::string_view path, int error) {
  throw EBadInput(std::u16string(what) + u" " + ShownPath(path) + u": " + Utf8ToUtf16(std::strerror(error)));
}

TFileKind KindOfMode(mode_t mode) {
  if (S_ISLNK(mode)) return TFileKind::Link;
  if (S_ISDIR(mode)) return TFileKind::Folder;
  if (S_ISREG(mode)) return TFileKind::File;
  return TFileKind::Other;
}

int Fd(std::intptr_t handle) { return static_cast<int>(handle); }

// The folder holding `path`, for making a rename in it durable.
std::string FolderOf(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

}  // namespace

std::string PathArgument(const std::u16string& argument) { return NarrowLatin1(argument); }

TFileKind KindOf(const std::string& path) {
  struct stat info {};
  if (::lstat(path.c_str(), &info) != 0) return TFileKind::Missing;
  return KindOfMode(info.st_mode);
}

TFileKind KindOfTarget(const std::string& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) return TFileKind::Missing;
  return KindOfMode(info.st_mode);
}

std::string FullPath(const std::string& path) {
  char* full = ::realpath(path.c_str(), nullptr);
  if (full == nullptr) return path;
  std::string result = full;
  std::free(full);
  return result;
}

bool IsInside(const std::string& inner, const std::string& outer) {
  const std::string a = FullPath(inner), b = FullPath(outer);
  return a == b || (a.size() > b.size() && a.compare(0, b.size(), b) == 0 && (b.back() == '/' || a[b.size()] == '/'));
}

std::vector<TFolderEntry> ListFolder(const std::string& folder) {
  DIR* listing = ::opendir(folder.c_str());
  if (listing == nullptr) Fail(u"cannot read the folder", folder, errno);
  struct TCloser {
    DIR* Listing;
    ~TCloser() { ::closedir(Listing); }
  } closer{listing};
  std::vector<TFolderEntry> entries;
  for (;;) {
    errno = 0;
    const dirent* found = ::readdir(listing);
    if (found == nullptr) {
      if (errno != 0) Fail(u"cannot read the folder", folder, errno);
      break;
    }
    const std::string name = found->d_name;
    if (name == "." || name == "..") continue;
    struct stat info {};
    if (::fstatat(::dirfd(listing), name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) {
      Fail(u"cannot read", JoinPath(folder, name), errno);
    }
    TFolderEntry entry;
    entry.Name = name;
    entry.Kind = KindOfMode(info.st_mode);
    if (entry.Kind == TFileKind::File) entry.Size = static_cast<std::uint64_t>(info.st_size);
    entries.push_back(std::move(entry));
  }
  return entries;
}

TOsFile TOsFile::OpenForReading(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) Fail(u"cannot read", path, errno);
#ifdef POSIX_FADV_SEQUENTIAL
  ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
#endif
  return TOsFile(path, fd);
}

TOsFile TOsFile::Create(const std::string& path) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd < 0) Fail(u"cannot write", path, errno);
  return TOsFile(path, fd);
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
  if (FHandle != kNoHandle) ::close(Fd(FHandle));
  FHandle = kNoHandle;
}

std::uint64_t TOsFile::Size() const {
  struct stat info {};
  if (::fstat(Fd(FHandle), &info) != 0) Fail(u"cannot read", FPath, errno);
  return static_cast<std::uint64_t>(info.st_size);
}

std::size_t TOsFile::ReadAt(std::uint64_t offset, char* bytes, std::size_t size) const {
  std::size_t done = 0;
  while (done < size) {
    const ssize_t got = ::pread(Fd(FHandle), bytes + done, size - done, static_cast<off_t>(offset + done));
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) Fail(u"cannot read", FPath, errno);
    if (got == 0) break;
    done += static_cast<std::size_t>(got);
  }
  return done;
}

void TOsFile::WriteAt(std::uint64_t offset, const char* bytes, std::size_t size) {
  while (size > 0) {
    const ssize_t put = ::pwrite(Fd(FHandle), bytes, size, static_cast<off_t>(offset));
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) Fail(u"cannot write", FPath, put < 0 ? errno : ENOSPC);
    bytes += put;
    offset += static_cast<std::uint64_t>(put);
    size -= static_cast<std::size_t>(put);
  }
}

void TOsFile::SyncAndClose() {
  const int fd = Fd(FHandle);
  FHandle = kNoHandle;
  const bool synced = ::fsync(fd) == 0;
  const int syncError = errno;
  if (::close(fd) != 0 || !synced) Fail(u"cannot write", FPath, synced ? errno : syncError);
}

void MoveIntoPlace(const std::string& from, const std::string& to) {
  struct stat old {};
  if (::stat(to.c_str(), &old) == 0) ::chmod(from.c_str(), old.st_mode & 07777);
  if (::rename(from.c_str(), to.c_str()) != 0) Fail(u"cannot put in place", to, errno);
  // The rename itself reaches the disk with its folder.
  const int folder = ::open(FolderOf(to).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (folder >= 0) {
    ::fsync(folder);
    ::close(folder);
  }
}

bool RemoveFile(const std::string& path) noexcept { return ::unlink(path.c_str()) == 0; }

bool MakeFolder(const std::string& path) {
  if (::mkdir(path.c_str(), 0777) == 0) return true;
  const int error = errno;
  if (error == EEXIST) return false;
  Fail(u"cannot make the folder", path, error);
}

}  // namespace cvl
