// A ZIP archive written front to back, made to come out the same every time: the caller
// gives the entries in a fixed order, every entry carries one fixed time, and nothing of
// the machine (owner, permissions, clock) goes in. Entry data arrives
// already stored or deflated (raw deflate); the writer records sizes and CRC-32, and
// writes the ZIP64 fields and end records where a size, an offset or the count of
// entries does not fit the classic fields.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace cvl {

// Where the archive's bytes go: appended in order, with a look back to fill in an
// entry's local header once its compressed size and CRC-32 are known.
class IZipSink {
 public:
  virtual ~IZipSink() = default;
  virtual void Write(std::string_view bytes) = 0;
  virtual void WriteAt(std::uint64_t offset, std::string_view bytes) = 0;
};

enum class TZipMethod : std::uint16_t { Stored = 0, Deflated = 8 };

class TZipWriter {
 public:
  explicit TZipWriter(IZipSink& sink) : FSink(sink) {}

  // Starts an entry of `size` uncompressed bytes. `name` is UTF-8 with "/" between
  // folders; a name outside ASCII is flagged as UTF-8.
  void BeginEntry(std::string name, std::uint64_t size, TZipMethod method);
  // The entry's data, stored or raw deflate, in pieces of any size.
  void WriteData(std::string_view data);
  // Ends the entry; `crc32` is the CRC-32 of its uncompressed bytes.
  void EndEntry(std::uint32_t crc32);
  // Writes the central directory and the end records; returns the archive's size.
  std::uint64_t Finish();

  // The DOS date and time every entry carries: 1980-01-01 00:00.
  static constexpr std::uint16_t kDosDate = (0 << 9) | (1 << 5) | 1;
  static constexpr std::uint16_t kDosTime = 0;

 private:
  struct TEntry {
    std::string Name;
    TZipMethod Method = TZipMethod::Stored;
    std::uint16_t Flags = 0;
    std::uint32_t Crc32 = 0;
    std::uint64_t Size = 0;
    std::uint64_t CompressedSize = 0;
    std::uint64_t LocalOffset = 0;
    bool LocalZip64 = false;
  };

  void Put(std::string_view bytes);

  IZipSink& FSink;
  std::uint64_t FPosition = 0;
  std::vector<TEntry> FEntries;
  bool FInEntry = false;
};

}  // namespace cvl
