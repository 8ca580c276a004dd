// Our reader of the ZIP container: the central directory (ZIP64 included) and each
// entry's data, streamed through a fixed-size buffer and checked against its recorded
// sizes and CRC-32. It decides nothing about where entries go (see ZipExtract).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "Exception.h"
#include "ZipFiles.h"

namespace cvl {

// An archive that cannot be unpacked, with the reason; nothing has been changed then.
class EZipError : public Exception {
 public:
  explicit EZipError(std::u16string message) : Exception("EZipError", std::move(message)) {}
};

struct TZipEntry {
  std::u16string Name;          // as stored, decoded (UTF-8 when flagged, else code page 437)
  std::string RawName;          // the stored bytes of the name
  std::uint16_t Method = 0;     // 0 stored, 8 deflated
  std::uint16_t Flags = 0;
  std::uint32_t Crc32 = 0;
  std::uint64_t CompressedSize = 0;
  std::uint64_t UncompressedSize = 0;
  std::uint64_t LocalHeaderOffset = 0;
  std::uint64_t DataOffset = 0;  // where the entry's data begins
  bool IsDirectory = false;      // name ends with a separator, or recorded as a folder
  bool IsLink = false;           // a symbolic link recorded by a Unix tool
};

class TZipReader {
 public:
  // Opens the archive and reads its whole directory; raises EZipError for anything that
  // is not a well-formed archive we can unpack (encrypted, unknown method, entries that
  // overlap or lie outside the file, local and central names that differ).
  explicit TZipReader(const std::u16string& archive);
  // The same for an archive already open (in memory, say).
  explicit TZipReader(std::unique_ptr<TZipSource> archive);
  // A second reader of the archive `sameArchive` has opened, with a file handle of its
  // own, so that another thread can read entries at the same time. Its directory is not
  // read again: it reads the entries of `sameArchive.Entries()` and has none itself.
  TZipReader(const std::u16string& archive, const TZipReader& sameArchive);

  const std::vector<TZipEntry>& Entries() const { return FEntries; }

  // Streams the entry's uncompressed bytes to `sink` in pieces of bounded size. Raises
  // EZipError when the data is corrupt, longer or shorter than recorded, or fails its
  // CRC-32; `sink` may have received part of it by then.
  void ReadEntry(const TZipEntry& entry, const std::function<void(std::string_view)>& sink);

 private:
  struct TDirectoryEnd;
  TDirectoryEnd FindDirectoryEnd();
  void ReadDirectory();
  TZipEntry ReadCentralRecord(std::uint64_t& at, std::uint64_t directoryEnd);
  bool IsDigitalSignature(std::uint64_t at, std::uint64_t directoryEnd);
  void ReadLocalHeader(TZipEntry& entry);
  void CheckNoOverlap() const;
  void InflateEntry(std::uint64_t offset, std::uint64_t remaining,
                    const std::function<void(const char*, std::size_t)>& emit);
  std::string ReadAt(std::uint64_t offset, std::size_t size);
  void ReadInto(std::uint64_t offset, char* bytes, std::size_t size);

  void Open();

  std::unique_ptr<TZipSource> FSource;
  std::uint64_t FSize = 0;
  std::uint64_t FDirectoryOffset = 0;
  std::uint64_t FBaseOffset = 0;  // bytes put before the archive without adjusting its offsets
  // Small reads (directory records, local headers, small entries) are served from one
  // piece of the file read ahead: one system call for many records.
  std::vector<char> FWindow;
  std::uint64_t FWindowStart = 0;
  std::vector<TZipEntry> FEntries;
};

}  // namespace cvl
