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
#include <vector>

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

// The names in a folder, without "." and ".."; EZipError when it cannot be read.
std::vector<std::u16string> ListFolder(const std::u16string& path);

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

// A file being written.
class TZipOutput {
 public:
  virtual ~TZipOutput() = default;
  virtual void Write(std::string_view data) = 0;
  // Hands what the system still holds for the file to the disk, so that it survives a
  // power loss once it is renamed into place.
  virtual void Flush() = 0;
  // Closes the file, reporting a failure the last writes may only show now.
  virtual void Close() = 0;
};

// A new file written from the start (an existing one is truncated). Every failure is
// EZipError ("a file cannot be written in the target folder").
class TOutputFile final : public TZipOutput {
 public:
  explicit TOutputFile(const std::u16string& path);
  ~TOutputFile() override;
  TOutputFile(const TOutputFile&) = delete;
  TOutputFile& operator=(const TOutputFile&) = delete;

  void Write(std::string_view data) override;
  void Flush() override;
  void Close() override;

 private:
  std::intptr_t FHandle;
};

// The calls above as one object that the extractor works through, so that a test can
// put a file layer before the platform's that fails, or stops as a killed process
// would, at a chosen call. PlatformZipFiles() passes each call to the functions above.
class IZipFiles {
 public:
  virtual ~IZipFiles() = default;
  virtual TPathKind PathKind(const std::u16string& path) = 0;
  virtual bool CreateFolder(const std::u16string& path) = 0;
  virtual void MovePath(const std::u16string& from, const std::u16string& to) = 0;
  virtual bool RemovePath(const std::u16string& path) noexcept = 0;
  virtual void RemoveTree(const std::u16string& path) noexcept = 0;
  virtual std::uint64_t FreeSpace(const std::u16string& path) = 0;
  virtual std::vector<std::u16string> ListFolder(const std::u16string& path) = 0;
  virtual std::unique_ptr<TZipOutput> NewFile(const std::u16string& path) = 0;
  virtual std::unique_ptr<TZipSource> OpenSource(const std::u16string& path) = 0;
};

IZipFiles& PlatformZipFiles();

}  // namespace cvl
