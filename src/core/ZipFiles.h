// The few file calls unpacking needs, on paths as UTF-16 text. The platform supplies
// them (POSIX calls natively in ZipFilesPosix.cpp, the Win32 file API on Windows in
// win32/ZipFilesWin32.cpp), so the extractor needs neither streams nor std::filesystem.
// Every failure that matters raises EZipError with a reason a user can read.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace cvl {

// The platform's preferred separator ("\" on Windows, "/" elsewhere).
char16_t PathSeparator();
// True for a character that separates folders in a path on this platform.
bool IsPathSeparator(char16_t c);

enum class TPathKind {
  None,    // nothing there
  File,    // a file (or anything else that is neither a folder nor a link)
  Folder,  // a real folder
  Link,    // a symbolic link, junction or other reparse point: never written through
};

// What is at `path`, without following a link.
TPathKind PathKind(const std::u16string& path);

// Makes one folder. False when something already exists there; EZipError for any other
// failure.
bool CreateFolder(const std::u16string& path);

// Renames `from` to `to`, replacing a file at `to`; EZipError on failure.
void MovePath(const std::u16string& from, const std::u16string& to);

// Removes a file or an empty folder; false when it could not. Never raises.
bool RemovePath(const std::u16string& path) noexcept;

// Removes a folder with everything in it, never following a link inside it. Best
// effort; never raises.
void RemoveTree(const std::u16string& path) noexcept;

// Bytes free for the user on the volume holding `path`; UINT64_MAX when unknown.
std::uint64_t FreeSpace(const std::u16string& path);

// An archive to read from: its size and reads at any offset.
class TZipSource {
 public:
  virtual ~TZipSource() = default;
  virtual std::uint64_t Size() const = 0;
  // Reads exactly `size` bytes at `offset`; EZipError when they cannot be read.
  virtual void ReadAt(std::uint64_t offset, char* bytes, std::size_t size) = 0;
};

// Opens a file for reading; EZipError ("the archive cannot be opened") on failure.
std::unique_ptr<TZipSource> OpenZipSource(const std::u16string& path);

// Bytes already in memory, read as an archive.
std::unique_ptr<TZipSource> MemoryZipSource(std::string bytes);

// A new file written from the start (an existing one is truncated). Every failure is
// EZipError ("a file cannot be written in the target folder").
class TOutputFile {
 public:
  explicit TOutputFile(const std::u16string& path);
  ~TOutputFile();
  TOutputFile(const TOutputFile&) = delete;
  TOutputFile& operator=(const TOutputFile&) = delete;

  void Write(std::string_view data);
  // Closes the file, reporting a failure the last writes may only show now.
  void Close();

 private:
  std::intptr_t FHandle;
};

}  // namespace cvl
