// Writes small ZIP archives byte by byte for tests, including the ones no honest tool
// makes: lying sizes, wrong CRCs, hostile names, link entries, entries sharing data.
#pragma once

#include <zlib.h>

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace cvl::test {

struct TTestEntry {
  TTestEntry(std::string name, std::string data, bool deflate = true)
      : Name(std::move(name)), Data(std::move(data)), Deflate(deflate) {}
  TTestEntry& RecordCrc(std::uint32_t crc) { Crc = crc; return *this; }
  TTestEntry& RecordSize(std::uint32_t size) { UncompressedSize = size; return *this; }
  TTestEntry& AsUnixLink() { UnixLink = true; return *this; }
  TTestEntry& FlagUtf8() { Utf8 = true; return *this; }
  TTestEntry& SharingPreviousData() { SharePrevious = true; return *this; }
  TTestEntry& AsDosFolder() { DosFolder = true; return *this; }

  std::string Name;
  std::string Data;
  bool Deflate = true;
  std::optional<std::uint32_t> Crc;               // recorded CRC-32 instead of the real one
  std::optional<std::uint32_t> UncompressedSize;  // recorded size instead of the real one
  bool UnixLink = false;                          // recorded as a symbolic link by a Unix tool
  bool Utf8 = false;                              // the name flagged as UTF-8
  bool SharePrevious = false;                     // central record points at the previous entry's data
  bool DosFolder = false;                         // the MS-DOS folder attribute, whatever the name
};

inline void Put(std::string& out, std::uint64_t value, int width) {
  for (int i = 0; i < width; ++i) out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

inline std::string RawDeflate(const std::string& data) {
  z_stream s{};
  deflateInit2(&s, Z_BEST_COMPRESSION, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
  std::string out(deflateBound(&s, static_cast<uLong>(data.size())), '\0');
  s.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
  s.avail_in = static_cast<uInt>(data.size());
  s.next_out = reinterpret_cast<Bytef*>(out.data());
  s.avail_out = static_cast<uInt>(out.size());
  deflate(&s, Z_FINISH);
  out.resize(s.total_out);
  deflateEnd(&s);
  return out;
}

// With zip64 every size and offset goes through the ZIP64 extra field and end records.
inline std::string MakeZip(const std::vector<TTestEntry>& entries, bool zip64 = false) {
  std::string body;
  std::string central;
  std::uint64_t previousOffset = 0;
  for (const TTestEntry& e : entries) {
    const std::string stored = e.Deflate ? RawDeflate(e.Data) : e.Data;
    const auto crc = e.Crc.value_or(
        static_cast<std::uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(e.Data.data()), static_cast<uInt>(e.Data.size()))));
    const std::uint64_t size = e.UncompressedSize.value_or(static_cast<std::uint32_t>(e.Data.size()));
    const std::uint16_t flags = e.Utf8 ? 0x0800 : 0;
    const std::uint16_t method = e.Deflate ? 8 : 0;
    std::uint64_t offset = body.size();
    if (e.SharePrevious) {
      offset = previousOffset;
    } else {
      Put(body, 0x04034b50, 4);
      Put(body, 20, 2);
      Put(body, flags, 2);
      Put(body, method, 2);
      Put(body, 0, 4);
      Put(body, crc, 4);
      Put(body, stored.size(), 4);
      Put(body, size, 4);
      Put(body, e.Name.size(), 2);
      Put(body, 0, 2);
      body += e.Name + stored;
    }
    previousOffset = offset;
    std::string extra;
    if (zip64) {
      Put(extra, 1, 2);
      Put(extra, 24, 2);
      Put(extra, size, 8);
      Put(extra, stored.size(), 8);
      Put(extra, offset, 8);
    }
    Put(central, 0x02014b50, 4);
    Put(central, e.UnixLink ? 0x031E : 0x0014, 2);
    Put(central, zip64 ? 45 : 20, 2);
    Put(central, flags, 2);
    Put(central, method, 2);
    Put(central, 0, 4);
    Put(central, crc, 4);
    Put(central, zip64 ? 0xFFFFFFFF : stored.size(), 4);
    Put(central, zip64 ? 0xFFFFFFFF : size, 4);
    Put(central, e.Name.size(), 2);
    Put(central, extra.size(), 2);
    Put(central, 0, 2);
    Put(central, 0, 2);
    Put(central, 0, 2);
    Put(central, e.UnixLink ? (0120777u << 16) : e.DosFolder ? 0x10 : 0, 4);
    Put(central, zip64 ? 0xFFFFFFFF : offset, 4);
    central += e.Name + extra;
  }
  const std::uint64_t directoryOffset = body.size();
  body += central;
  if (zip64) {
    const std::uint64_t recordOffset = body.size();
    Put(body, 0x06064b50, 4);
    Put(body, 44, 8);
    Put(body, 45, 2);
    Put(body, 45, 2);
    Put(body, 0, 4);
    Put(body, 0, 4);
    Put(body, entries.size(), 8);
    Put(body, entries.size(), 8);
    Put(body, central.size(), 8);
    Put(body, directoryOffset, 8);
    Put(body, 0x07064b50, 4);
    Put(body, 0, 4);
    Put(body, recordOffset, 8);
    Put(body, 1, 4);
  }
  Put(body, 0x06054b50, 4);
  Put(body, 0, 2);
  Put(body, 0, 2);
  Put(body, zip64 ? 0xFFFF : entries.size(), 2);
  Put(body, zip64 ? 0xFFFF : entries.size(), 2);
  Put(body, zip64 ? 0xFFFFFFFF : central.size(), 4);
  Put(body, zip64 ? 0xFFFFFFFF : directoryOffset, 4);
  Put(body, 0, 2);
  return body;
}

}  // namespace cvl::test
