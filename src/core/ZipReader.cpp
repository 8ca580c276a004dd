#include "ZipReader.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "Text.h"
#include "ZipNameText.h"

namespace cvl {
namespace {

constexpr std::uint32_t kEndOfDirectory = 0x06054b50;
constexpr std::uint32_t kZip64EndLocator = 0x07064b50;
constexpr std::uint32_t kZip64End = 0x06064b50;
constexpr std::uint32_t kCentralHeader = 0x02014b50;
constexpr std::uint32_t kLocalHeader = 0x04034b50;
constexpr std::uint32_t kDigitalSignature = 0x05054b50;
constexpr std::size_t kEndSize = 22;
constexpr std::size_t kMaxComment = 0xFFFF;
constexpr std::size_t kCentralSize = 46;
constexpr std::size_t kLocalSize = 30;
constexpr std::uint16_t kZip64Extra = 0x0001;
constexpr std::uint16_t kUnicodePathExtra = 0x7075;
constexpr std::uint16_t kFlagEncrypted = 0x0001;
constexpr std::uint16_t kFlagUtf8 = 0x0800;
constexpr std::uint16_t kStored = 0;
constexpr std::uint16_t kDeflated = 8;
// Large enough that inflate, CRC and the file calls run in long stretches; two of these
// per reading thread is all the memory an entry takes, whatever its size.
constexpr std::size_t kChunk = 256 * 1024;
// Reads up to kSmallRead bytes come from a read-ahead window of kWindow bytes.
constexpr std::size_t kSmallRead = 4096;
constexpr std::size_t kWindow = 64 * 1024;

std::uint64_t Le(std::string_view bytes, std::size_t at, int width) {
  std::uint64_t value = 0;
  for (int i = width - 1; i >= 0; --i) value = (value << 8) | static_cast<unsigned char>(bytes[at + i]);
  return value;
}
std::uint16_t Le16(std::string_view b, std::size_t at) { return static_cast<std::uint16_t>(Le(b, at, 2)); }
std::uint32_t Le32(std::string_view b, std::size_t at) { return static_cast<std::uint32_t>(Le(b, at, 4)); }
std::uint64_t Le64(std::string_view b, std::size_t at) { return Le(b, at, 8); }

[[noreturn]] void Fail(std::u16string_view reason) { throw EZipError(std::u16string(reason)); }

// The ZIP64 extra field holds, in this order, only the values whose 32-bit fields are
// full. Without that field a full 32-bit field is the real value: an entry of exactly
// 4 GiB - 1 bytes needs no ZIP64 record.
void ApplyZip64Extra(std::string_view data, TZipEntry& entry, bool bigSize, bool bigCompressed,
                     bool bigOffset) {
  std::size_t at = 0;
  auto take = [&](std::uint64_t& field) {
    if (at + 8 > data.size()) Fail(u"ZIP64 extra field is too short");
    field = Le64(data, at);
    at += 8;
  };
  if (bigSize) take(entry.UncompressedSize);
  if (bigCompressed) take(entry.CompressedSize);
  if (bigOffset) take(entry.LocalHeaderOffset);
}

void ReadExtras(std::string_view extras, std::string_view rawName, TZipEntry& entry, bool bigSize,
                bool bigCompressed, bool bigOffset) {
  std::size_t at = 0;
  while (at + 4 <= extras.size()) {
    const std::uint16_t id = Le16(extras, at);
    const std::uint16_t size = Le16(extras, at + 2);
    if (at + 4 + size > extras.size()) Fail(u"extra field runs past its entry");
    const std::string_view data = extras.substr(at + 4, size);
    if (id == kZip64Extra) {
      ApplyZip64Extra(data, entry, bigSize, bigCompressed, bigOffset);
    } else if (id == kUnicodePathExtra && size >= 5 && data[0] == 1 &&
               Le32(data, 1) == crc32(0, reinterpret_cast<const Bytef*>(rawName.data()),
                                       static_cast<uInt>(rawName.size()))) {
      entry.Name = Utf8ToUtf16(data.substr(5));
    }
    at += 4 + size;
  }
}

constexpr std::uint32_t kUnixTypeMask = 0170000;
constexpr std::uint8_t kUnixHost = 3;

bool IsUnixLink(std::uint16_t versionMadeBy, std::uint32_t externalAttributes) {
  constexpr std::uint32_t kLink = 0120000;
  return (versionMadeBy >> 8) == kUnixHost && ((externalAttributes >> 16) & kUnixTypeMask) == kLink;
}

// A folder recorded without the trailing separator: the MS-DOS folder attribute, which
// writers on every system set, or a Unix folder mode.
bool IsFolderRecord(std::uint16_t versionMadeBy, std::uint32_t externalAttributes) {
  constexpr std::uint32_t kDosFolder = 0x10;
  constexpr std::uint32_t kUnixFolder = 0040000;
  if ((versionMadeBy >> 8) == kUnixHost && ((externalAttributes >> 16) & kUnixTypeMask) == kUnixFolder) return true;
  return (externalAttributes & kDosFolder) != 0;
}

class TMemorySource : public TZipSource {
 public:
  explicit TMemorySource(std::string bytes) : FBytes(std::move(bytes)) {}
  std::uint64_t Size() const override { return FBytes.size(); }
  void ReadAt(std::uint64_t offset, char* bytes, std::size_t size) override {
    if (offset > FBytes.size() || size > FBytes.size() - offset) Fail(u"the archive cannot be read");
    std::memcpy(bytes, FBytes.data() + offset, size);
  }

 private:
  std::string FBytes;
};

}  // namespace

std::unique_ptr<TZipSource> MemoryZipSource(std::string bytes) {
  return std::make_unique<TMemorySource>(std::move(bytes));
}

TZipReader::TZipReader(const std::u16string& archive) : FSource(OpenZipSource(archive)) { Open(); }

TZipReader::TZipReader(std::unique_ptr<TZipSource> archive) : FSource(std::move(archive)) { Open(); }

TZipReader::TZipReader(const std::u16string& archive, const TZipReader& sameArchive)
    : FSource(OpenZipSource(archive)), FSize(sameArchive.FSize), FDirectoryOffset(sameArchive.FDirectoryOffset) {
  if (FSource->Size() != FSize) Fail(u"the archive changed while it was read");
}

void TZipReader::Open() {
  FSize = FSource->Size();
  ReadDirectory();
  for (TZipEntry& entry : FEntries) ReadLocalHeader(entry);
  CheckNoOverlap();
}

std::string TZipReader::ReadAt(std::uint64_t offset, std::size_t size) {
  if (offset > FSize || size > FSize - offset) Fail(u"the archive is truncated");
  std::string bytes(size, '\0');
  ReadInto(offset, bytes.data(), size);
  return bytes;
}

void TZipReader::ReadInto(std::uint64_t offset, char* bytes, std::size_t size) {
  if (offset > FSize || size > FSize - offset) Fail(u"the archive is truncated");
  if (size > kSmallRead) {
    FSource->ReadAt(offset, bytes, size);
    return;
  }
  if (offset < FWindowStart || offset + size > FWindowStart + FWindow.size()) {
    FWindow.resize(static_cast<std::size_t>(std::min<std::uint64_t>(kWindow, FSize - offset)));
    FWindowStart = offset;
    FSource->ReadAt(offset, FWindow.data(), FWindow.size());
  }
  std::memcpy(bytes, FWindow.data() + (offset - FWindowStart), size);
}

// Where the end record lies and what it says, ZIP64 values taken where it points to them.
struct TZipReader::TDirectoryEnd {
  std::uint64_t Offset = 0;  // of the classic end record
  std::uint64_t Count = 0;
  std::uint64_t Size = 0;
  std::uint64_t Start = 0;   // as recorded: a prefix before the archive shifts it
  bool Zip64 = false;
};

TZipReader::TDirectoryEnd TZipReader::FindDirectoryEnd() {
  if (FSize < kEndSize) Fail(u"no end of central directory (not a ZIP archive)");
  const std::size_t tailSize = static_cast<std::size_t>(std::min<std::uint64_t>(FSize, kEndSize + kMaxComment));
  const std::uint64_t tailStart = FSize - tailSize;
  const std::string tail = ReadAt(tailStart, tailSize);
  // The record whose comment ends exactly at the end of the file, so that a comment
  // holding the signature cannot mislead; failing that, the last record, with bytes
  // after its comment left alone (some tools append them). A last record whose comment
  // runs past the end of the file is damaged, and no earlier one is taken instead.
  std::size_t end = std::string::npos;
  std::size_t last = std::string::npos;
  for (std::size_t at = tailSize - kEndSize + 1; at-- > 0;) {
    if (Le32(tail, at) != kEndOfDirectory) continue;
    if (last == std::string::npos) last = at;
    if (at + kEndSize + Le16(tail, at + 20) == tailSize) {
      end = at;
      break;
    }
  }
  if (end == std::string::npos) {
    if (last == std::string::npos) Fail(u"no end of central directory (not a ZIP archive)");
    if (last + kEndSize + Le16(tail, last + 20) > tailSize) Fail(u"the archive's comment runs past its end");
    end = last;
  }
  TDirectoryEnd found;
  found.Offset = tailStart + end;
  std::uint64_t disk = Le16(tail, end + 4);
  std::uint64_t directoryDisk = Le16(tail, end + 6);
  std::uint64_t countHere = Le16(tail, end + 8);
  found.Count = Le16(tail, end + 10);
  found.Size = Le32(tail, end + 12);
  found.Start = Le32(tail, end + 16);
  // Any field at its largest value means the real one is in the ZIP64 end record; a
  // writer may mark every field so, the disk numbers included.
  if (disk == 0xFFFF || directoryDisk == 0xFFFF || countHere == 0xFFFF || found.Count == 0xFFFF ||
      found.Size == 0xFFFFFFFF || found.Start == 0xFFFFFFFF) {
    if (found.Offset < 20) Fail(u"ZIP64 locator is missing");
    const std::string locator = ReadAt(found.Offset - 20, 20);
    if (Le32(locator, 0) != kZip64EndLocator) Fail(u"ZIP64 locator is missing");
    const std::uint64_t recordOffset = Le64(locator, 8);
    if (recordOffset > found.Offset - 20) Fail(u"ZIP64 end of central directory is missing");
    const std::string record = ReadAt(recordOffset, 56);
    if (Le32(record, 0) != kZip64End) Fail(u"ZIP64 end of central directory is missing");
    if (Le32(locator, 4) != 0 || Le32(locator, 16) > 1) Fail(u"multi-part archives are not supported");
    disk = Le32(record, 16);
    directoryDisk = Le32(record, 20);
    countHere = Le64(record, 24);
    found.Count = Le64(record, 32);
    found.Size = Le64(record, 40);
    found.Start = Le64(record, 48);
    found.Zip64 = true;
  }
  if (disk != 0 || directoryDisk != 0 || countHere != found.Count) Fail(u"multi-part archives are not supported");
  return found;
}

void TZipReader::ReadDirectory() {
  const TDirectoryEnd end = FindDirectoryEnd();
  // The directory ends where the end records begin; where the records sit after the
  // directory, the ZIP64 ones lie between.
  const std::uint64_t directoryLimit = end.Offset;
  if (end.Size > directoryLimit) Fail(u"the central directory lies outside the archive");
  std::uint64_t directoryOffset = end.Start;
  // Bytes put before an archive (a self-extracting program, say) without its offsets
  // being adjusted: the directory then sits right before the end record rather than
  // where recorded, and every offset moves by the same amount.
  if (!end.Zip64 && end.Size > 0 && directoryOffset < directoryLimit - end.Size &&
      Le32(ReadAt(directoryLimit - end.Size, 4), 0) == kCentralHeader &&
      (directoryOffset + 4 > directoryLimit || Le32(ReadAt(directoryOffset, 4), 0) != kCentralHeader)) {
    FBaseOffset = directoryLimit - end.Size - directoryOffset;
    directoryOffset += FBaseOffset;
  }
  if (directoryOffset > directoryLimit || end.Size > directoryLimit - directoryOffset) {
    Fail(u"the central directory lies outside the archive");
  }
  // Each entry takes at least 46 bytes, so a lying count cannot make us reserve much.
  if (end.Count > end.Size / kCentralSize) Fail(u"the central directory is truncated");
  std::uint64_t at = directoryOffset;
  const std::uint64_t directoryEnd = directoryOffset + end.Size;
  FEntries.reserve(static_cast<std::size_t>(end.Count));
  for (std::uint64_t i = 0; i < end.Count; ++i) {
    FEntries.push_back(ReadCentralRecord(at, directoryEnd));
  }
  // Records the end record does not count would be dropped without a word: an archive
  // is unpacked whole or not at all.
  if (at != directoryEnd && !IsDigitalSignature(at, directoryEnd)) {
    Fail(u"the central directory holds more entries than its end record counts");
  }
  FDirectoryOffset = directoryOffset;
}

bool TZipReader::IsDigitalSignature(std::uint64_t at, std::uint64_t directoryEnd) {
  // The one record the format allows after the last entry's.
  if (directoryEnd - at < 6) return false;
  const std::string header = ReadAt(at, 6);
  return Le32(header, 0) == kDigitalSignature && directoryEnd - at == 6u + Le16(header, 4);
}

TZipEntry TZipReader::ReadCentralRecord(std::uint64_t& at, std::uint64_t directoryEnd) {
  if (directoryEnd - at < kCentralSize) Fail(u"the central directory is truncated");
  const std::string header = ReadAt(at, kCentralSize);
  if (Le32(header, 0) != kCentralHeader) Fail(u"the central directory is damaged");
  const std::size_t nameLength = Le16(header, 28);
  const std::size_t extraLength = Le16(header, 30);
  const std::size_t commentLength = Le16(header, 32);
  const std::uint64_t recordSize = kCentralSize + nameLength + extraLength + commentLength;
  if (directoryEnd - at < recordSize) Fail(u"the central directory is truncated");
  const std::string variable = ReadAt(at + kCentralSize, nameLength + extraLength);
  const std::string_view rawName(variable.data(), nameLength);
  TZipEntry entry;
  const std::uint16_t versionMadeBy = Le16(header, 4);
  const std::uint32_t externalAttributes = Le32(header, 38);
  entry.Flags = Le16(header, 8);
  entry.Method = Le16(header, 10);
  entry.Crc32 = Le32(header, 16);
  entry.CompressedSize = Le32(header, 20);
  entry.UncompressedSize = Le32(header, 24);
  entry.LocalHeaderOffset = Le32(header, 42);
  entry.RawName = std::string(rawName);
  entry.Name = DecodeZipName(rawName, (entry.Flags & kFlagUtf8) != 0);
  ReadExtras(std::string_view(variable).substr(nameLength), rawName, entry, entry.UncompressedSize == 0xFFFFFFFF,
             entry.CompressedSize == 0xFFFFFFFF, entry.LocalHeaderOffset == 0xFFFFFFFF);
  if (entry.LocalHeaderOffset >= FSize - FBaseOffset) Fail(u"an entry's data lies outside the archive");
  entry.LocalHeaderOffset += FBaseOffset;
  entry.IsDirectory = (!entry.Name.empty() && (entry.Name.back() == u'/' || entry.Name.back() == u'\\')) ||
                      IsFolderRecord(versionMadeBy, externalAttributes);
  entry.IsLink = IsUnixLink(versionMadeBy, externalAttributes);
  if (entry.Flags & kFlagEncrypted) Fail(u"encrypted entries are not supported");
  if (entry.Method != kStored && entry.Method != kDeflated) Fail(u"unsupported compression method");
  if (entry.Method == kStored && entry.CompressedSize != entry.UncompressedSize) {
    Fail(u"a stored entry's sizes differ");
  }
  if (entry.IsDirectory && entry.UncompressedSize != 0) Fail(u"a folder entry holds data");
  at += recordSize;
  return entry;
}

void TZipReader::ReadLocalHeader(TZipEntry& entry) {
  // The header and the name it should hold, in one read.
  const std::uint64_t available = FSize - std::min(FSize, entry.LocalHeaderOffset);
  const std::string header = ReadAt(entry.LocalHeaderOffset,
                                    static_cast<std::size_t>(std::min<std::uint64_t>(
                                        available, std::max(kLocalSize, kLocalSize + entry.RawName.size()))));
  if (header.size() < kLocalSize) Fail(u"the archive is truncated");
  if (Le32(header, 0) != kLocalHeader) Fail(u"an entry's local header is missing");
  const std::size_t nameLength = Le16(header, 26);
  const std::size_t extraLength = Le16(header, 28);
  if (nameLength != entry.RawName.size() || header.size() < kLocalSize + nameLength ||
      header.compare(kLocalSize, nameLength, entry.RawName) != 0) {
    Fail(u"an entry's local and central names differ");
  }
  entry.DataOffset = entry.LocalHeaderOffset + kLocalSize + nameLength + extraLength;
  if (entry.DataOffset > FDirectoryOffset || entry.CompressedSize > FDirectoryOffset - entry.DataOffset) {
    Fail(u"an entry's data lies outside the archive");
  }
}

// Entries that share data are the trick of the overlapping zip bomb.
void TZipReader::CheckNoOverlap() const {
  std::vector<std::pair<std::uint64_t, std::uint64_t>> spans;
  spans.reserve(FEntries.size());
  for (const TZipEntry& entry : FEntries) {
    spans.emplace_back(entry.LocalHeaderOffset, entry.DataOffset + entry.CompressedSize);
  }
  std::sort(spans.begin(), spans.end());
  for (std::size_t i = 1; i < spans.size(); ++i) {
    if (spans[i].first < spans[i - 1].second) Fail(u"entries overlap");
  }
}

void TZipReader::ReadEntry(const TZipEntry& entry, const std::function<void(std::string_view)>& sink) {
  std::uint32_t crc = crc32(0, nullptr, 0);
  std::uint64_t produced = 0;
  auto emit = [&](const char* data, std::size_t size) {
    if (size > entry.UncompressedSize - produced) Fail(u"an entry is longer than recorded");
    produced += size;
    crc = static_cast<std::uint32_t>(crc32(crc, reinterpret_cast<const Bytef*>(data), static_cast<uInt>(size)));
    sink(std::string_view(data, size));
  };
  std::uint64_t remaining = entry.CompressedSize;
  std::uint64_t offset = entry.DataOffset;
  if (entry.Method == kStored) {
    std::vector<char> chunk(static_cast<std::size_t>(std::min<std::uint64_t>(remaining, kChunk)));
    while (remaining > 0) {
      const std::size_t size = static_cast<std::size_t>(std::min<std::uint64_t>(remaining, kChunk));
      ReadInto(offset, chunk.data(), size);
      emit(chunk.data(), size);
      offset += size;
      remaining -= size;
    }
  } else {
    InflateEntry(offset, remaining, emit);
  }
  if (produced != entry.UncompressedSize) Fail(u"an entry is shorter than recorded");
  if (crc != entry.Crc32) Fail(u"an entry fails its CRC-32 check");
}

void TZipReader::InflateEntry(std::uint64_t offset, std::uint64_t remaining,
                              const std::function<void(const char*, std::size_t)>& emit) {
  z_stream stream{};
  if (inflateInit2(&stream, -MAX_WBITS) != Z_OK) Fail(u"inflate cannot start");
  struct TEnd {
    z_stream& s;
    ~TEnd() { inflateEnd(&s); }
  } end{stream};
  // Small entries get small buffers: with many small files, large ones would only cost
  // allocation and page faults.
  std::vector<char> in(static_cast<std::size_t>(std::min<std::uint64_t>(remaining, kChunk)));
  std::vector<char> out(std::min<std::size_t>(kChunk, std::max<std::size_t>(in.size() * 4, 4096)));
  int status = Z_OK;
  // A call that filled the output buffer may hold more output inside zlib although its
  // input is used up (a highly compressible end of an entry): only a call that left
  // room in the output and still did not end the stream needs more input.
  bool outputFull = false;
  while (status != Z_STREAM_END) {
    if (stream.avail_in == 0 && !outputFull) {
      if (remaining == 0) Fail(u"an entry's compressed data is truncated");
      const std::size_t size = static_cast<std::size_t>(std::min<std::uint64_t>(remaining, kChunk));
      ReadInto(offset, in.data(), size);
      offset += size;
      remaining -= size;
      stream.next_in = reinterpret_cast<Bytef*>(in.data());
      stream.avail_in = static_cast<uInt>(size);
    }
    stream.next_out = reinterpret_cast<Bytef*>(out.data());
    stream.avail_out = static_cast<uInt>(out.size());
    status = inflate(&stream, Z_NO_FLUSH);
    if (status != Z_OK && status != Z_STREAM_END && status != Z_BUF_ERROR) {
      Fail(u"an entry's compressed data is corrupt");
    }
    outputFull = stream.avail_out == 0;
    emit(out.data(), out.size() - stream.avail_out);
  }
}

}  // namespace cvl
