// The file calls of `release` and `check-server`, on the platform's own API: POSIX calls
// natively (ReleaseFilesPosix.cpp), the Win32 file API in cvlctl.exe
// (ReleaseFilesWin32.cpp). Everything above them is the same code on both.
//
// A path is text in the command line's form: on Windows UTF-8, turned into UTF-16 at each
// call (and into a long path, so deep client folders work); elsewhere the bytes the file
// system holds. Names found in a folder come back in the same form, and "/" joins them
// on both platforms. Every failure is EBadInput naming the path and the system's reason.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace cvl {

// A path given on the command line.
std::string PathArgument(const std::u16string& argument);

// `folder` + "/" + `name`.
std::string JoinPath(std::string_view folder, std::string_view name);

// A path for a message: quoted, as UTF-8 text.
std::u16string ShownPath(std::string_view path);

enum class TFileKind {
  Missing,
  File,
  Folder,
  Link,   // a symbolic link, junction or other reparse point
  Other,  // a device, pipe or socket
};

// What is at `path`, a link not followed.
TFileKind KindOf(const std::string& path);
// What a reader of `path` finds, links followed (Missing for a dangling link).
TFileKind KindOfTarget(const std::string& path);

// The path made absolute, "/" between its names, without "." and ".." (natively also
// without links); the path as given when that fails. For telling whether one path
// lies inside another.
std::string FullPath(const std::string& path);

// True when `inner` is `outer` or lies inside it (both as FullPath gives them; letter
// case ignored on Windows).
bool IsInside(const std::string& inner, const std::string& outer);

struct TFolderEntry {
  std::string Name;
  // False when the system's name is no valid text (on Windows an unpaired surrogate);
  // Name then holds a stand-in.
  bool ValidText = true;
  TFileKind Kind = TFileKind::Other;
  std::uint64_t Size = 0;  // of a file
};

// The entries of a folder, without "." and "..", in no particular order.
std::vector<TFolderEntry> ListFolder(const std::string& folder);

// An open file of the platform, closed when its owner goes.
class TOsFile {
 public:
  static TOsFile OpenForReading(const std::string& path);
  // A new file, or an existing one emptied.
  static TOsFile Create(const std::string& path);

  TOsFile(TOsFile&& other) noexcept;
  TOsFile& operator=(TOsFile&& other) noexcept;
  TOsFile(const TOsFile&) = delete;
  TOsFile& operator=(const TOsFile&) = delete;
  ~TOsFile();

  const std::string& Path() const { return FPath; }
  std::uint64_t Size() const;
  // Up to `size` bytes at `offset`, fewer only at the end of the file. Safe from several
  // threads at once.
  std::size_t ReadAt(std::uint64_t offset, char* bytes, std::size_t size) const;
  // All `size` bytes at `offset`.
  void WriteAt(std::uint64_t offset, const char* bytes, std::size_t size);
  // Everything written reaches the disk, then the file is closed.
  void SyncAndClose();
  // Closes the file, whatever its state; for giving up on it.
  void Close() noexcept;

 private:
  TOsFile(std::string path, std::intptr_t handle) : FPath(std::move(path)), FHandle(handle) {}

  std::string FPath;
  std::intptr_t FHandle;
};

// The whole of a small file (a settings file, an answer, a manifest); nullopt when
// nothing is there.
std::optional<std::string> ReadSmallFile(const std::string& path);

// Moves `from` over `to` in one step, replacing the old `to` (whose permissions the new
// file takes), and makes the move durable.
void MoveIntoPlace(const std::string& from, const std::string& to);

// Removes a file; false when it could not. Never raises.
bool RemoveFile(const std::string& path) noexcept;

// Makes one folder; false when something is there already.
bool MakeFolder(const std::string& path);

}  // namespace cvl
