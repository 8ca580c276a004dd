#include "ZipWriter.h"

#include <stdexcept>

namespace cvl {
namespace {

constexpr std::uint32_t kLocalHeader = 0x04034b50;
constexpr std::uint32_t kCentralHeader = 0x02014b50;
constexpr std::uint32_t kZip64End = 0x06064b50;
constexpr std::uint32_t kZip64EndLocator = 0x07064b50;
constexpr std::uint32_t kEndOfDirectory = 0x06054b50;
constexpr std::uint16_t kZip64Extra = 0x0001;
constexpr std::uint16_t kFlagUtf8 = 0x0800;
constexpr std::uint16_t kVersionStored = 10;
constexpr std::uint16_t kVersionDeflated = 20;
constexpr std::uint16_t kVersionZip64 = 45;
// "Made by" Unix (host 3), every entry a plain file readable by all (0100644): readers
// then take the UTF-8 flag as it is (for an MS-DOS host, unzip converts names from code
// page 437 all the same) and give unpacked files ordinary permissions.
constexpr std::uint16_t kMadeBy = (3 << 8) | kVersionZip64;
constexpr std::uint32_t kFileAttributes = 0100644u << 16;
constexpr std::uint32_t kFull32 = 0xFFFFFFFF;
constexpr std::uint16_t kFull16 = 0xFFFF;
constexpr std::size_t kLocalSize = 30;
constexpr std::size_t kCrcAt = 14;

class TBytes {
 public:
  TBytes& U16(std::uint16_t v) { return Put(v, 2); }
  TBytes& U32(std::uint32_t v) { return Put(v, 4); }
  TBytes& U64(std::uint64_t v) { return Put(v, 8); }
  TBytes& Text(std::string_view text) {
    FBytes.append(text);
    return *this;
  }
  const std::string& Bytes() const { return FBytes; }

 private:
  TBytes& Put(std::uint64_t value, int width) {
    for (int i = 0; i < width; ++i) FBytes.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
    return *this;
  }
  std::string FBytes;
};

bool IsAscii(std::string_view text) {
  for (const char c : text) {
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  }
  return true;
}

std::uint32_t Field32(std::uint64_t value) { return value >= kFull32 ? kFull32 : static_cast<std::uint32_t>(value); }

// Deflate never grows data by more than a few bytes per 16 KiB (its stored blocks), so
// an entry whose uncompressed size leaves this much room below 4 GiB surely fits.
bool MayNeedZip64(std::uint64_t size) { return size >= kFull32 - (size / 1024 + (1u << 20)); }

std::uint16_t VersionNeeded(TZipMethod method, bool zip64) {
  if (zip64) return kVersionZip64;
  return method == TZipMethod::Deflated ? kVersionDeflated : kVersionStored;
}

}  // namespace

void TZipWriter::Put(std::string_view bytes) {
  FSink.Write(bytes);
  FPosition += bytes.size();
}

void TZipWriter::BeginEntry(std::string name, std::uint64_t size, TZipMethod method) {
  if (FInEntry) throw std::logic_error("ZIP entry begun inside another");
  TEntry entry;
  entry.Name = std::move(name);
  entry.Method = method;
  entry.Flags = IsAscii(entry.Name) ? 0 : kFlagUtf8;
  entry.Size = size;
  entry.LocalOffset = FPosition;
  // The local header is written before the compressed size is known: it gets the ZIP64
  // field whenever the entry might need it, and both sizes are filled in at the end.
  entry.LocalZip64 = MayNeedZip64(size);
  TBytes header;
  header.U32(kLocalHeader)
      .U16(VersionNeeded(method, entry.LocalZip64))
      .U16(entry.Flags)
      .U16(static_cast<std::uint16_t>(method))
      .U16(kDosTime)
      .U16(kDosDate)
      .U32(0)
      .U32(entry.LocalZip64 ? kFull32 : 0)
      .U32(entry.LocalZip64 ? kFull32 : 0)
      .U16(static_cast<std::uint16_t>(entry.Name.size()))
      .U16(entry.LocalZip64 ? 20 : 0)
      .Text(entry.Name);
  if (entry.LocalZip64) header.U16(kZip64Extra).U16(16).U64(0).U64(0);
  Put(header.Bytes());
  FEntries.push_back(std::move(entry));
  FInEntry = true;
}

void TZipWriter::WriteData(std::string_view data) {
  Put(data);
  FEntries.back().CompressedSize += data.size();
}

void TZipWriter::EndEntry(std::uint32_t crc32) {
  TEntry& entry = FEntries.back();
  entry.Crc32 = crc32;
  if (entry.Method == TZipMethod::Stored && entry.CompressedSize != entry.Size) {
    throw std::logic_error("stored ZIP entry of the wrong size");
  }
  if (!entry.LocalZip64 && (entry.CompressedSize >= kFull32 || entry.Size >= kFull32)) {
    throw std::logic_error("ZIP entry outgrew its local header");
  }
  TBytes fields;
  fields.U32(crc32);
  if (!entry.LocalZip64) fields.U32(static_cast<std::uint32_t>(entry.CompressedSize)).U32(static_cast<std::uint32_t>(entry.Size));
  FSink.WriteAt(entry.LocalOffset + kCrcAt, fields.Bytes());
  if (entry.LocalZip64) {
    TBytes sizes;
    sizes.U64(entry.Size).U64(entry.CompressedSize);
    FSink.WriteAt(entry.LocalOffset + kLocalSize + entry.Name.size() + 4, sizes.Bytes());
  }
  FInEntry = false;
}

std::uint64_t TZipWriter::Finish() {
  if (FInEntry) throw std::logic_error("ZIP archive finished inside an entry");
  const std::uint64_t directoryOffset = FPosition;
  for (const TEntry& entry : FEntries) {
    // Only the fields that do not fit go to the ZIP64 field, in this order.
    TBytes extra;
    if (entry.Size >= kFull32) extra.U64(entry.Size);
    if (entry.CompressedSize >= kFull32) extra.U64(entry.CompressedSize);
    if (entry.LocalOffset >= kFull32) extra.U64(entry.LocalOffset);
    const bool zip64 = !extra.Bytes().empty();
    TBytes record;
    record.U32(kCentralHeader)
        .U16(kMadeBy)
        .U16(VersionNeeded(entry.Method, zip64 || entry.LocalZip64))
        .U16(entry.Flags)
        .U16(static_cast<std::uint16_t>(entry.Method))
        .U16(kDosTime)
        .U16(kDosDate)
        .U32(entry.Crc32)
        .U32(Field32(entry.CompressedSize))
        .U32(Field32(entry.Size))
        .U16(static_cast<std::uint16_t>(entry.Name.size()))
        .U16(static_cast<std::uint16_t>(zip64 ? 4 + extra.Bytes().size() : 0))
        .U16(0)   // comment
        .U16(0)   // disk
        .U16(0)   // internal attributes
        .U32(kFileAttributes)
        .U32(Field32(entry.LocalOffset))
        .Text(entry.Name);
    if (zip64) record.U16(kZip64Extra).U16(static_cast<std::uint16_t>(extra.Bytes().size())).Text(extra.Bytes());
    Put(record.Bytes());
  }
  const std::uint64_t directorySize = FPosition - directoryOffset;
  const std::uint64_t count = FEntries.size();
  if (count >= kFull16 || directorySize >= kFull32 || directoryOffset >= kFull32) {
    const std::uint64_t zip64EndOffset = FPosition;
    TBytes end64;
    end64.U32(kZip64End).U64(44).U16(kMadeBy).U16(kVersionZip64).U32(0).U32(0).U64(count).U64(count)
        .U64(directorySize).U64(directoryOffset);
    end64.U32(kZip64EndLocator).U32(0).U64(zip64EndOffset).U32(1);
    Put(end64.Bytes());
  }
  const std::uint16_t count16 = count >= kFull16 ? kFull16 : static_cast<std::uint16_t>(count);
  TBytes end;
  end.U32(kEndOfDirectory).U16(0).U16(0).U16(count16).U16(count16).U32(Field32(directorySize))
      .U32(Field32(directoryOffset)).U16(0);
  Put(end.Bytes());
  return FPosition;
}

}  // namespace cvl
