// The pieces of `release` that need no client folder: the ZIP writer read back by the
// launcher's own ZIP reader where archives grow past the classic fields, the settings
// edit that raises "patchVersion", and the manifest's text.
#include <gtest/gtest.h>

#include <zlib.h>

#include <cstring>
#include <map>

#include "MakeInfo.h"
#include "ReleaseManifest.h"
#include "ToolSupport.h"
#include "ZipWriter.h"
#include "core/ZipReader.h"

namespace cvl {
namespace {

constexpr std::uint64_t kGiB = 1ull << 30;

// An archive kept sparse: small writes (headers, the directory) are kept, large ones
// (entry data of zeros) become holes. Readable back through the core's source interface.
class TSparseArchive : public IZipSink, public TZipSource {
 public:
  void Write(std::string_view bytes) override {
    if (bytes.size() <= 4096) FPieces[FSize] = std::string(bytes);
    FSize += bytes.size();
  }
  void WriteAt(std::uint64_t offset, std::string_view bytes) override {
    auto piece = std::prev(FPieces.upper_bound(offset));
    ASSERT_LE(offset - piece->first + bytes.size(), piece->second.size());
    piece->second.replace(static_cast<std::size_t>(offset - piece->first), bytes.size(), bytes);
  }
  std::uint64_t Size() const override { return FSize; }
  void ReadAt(std::uint64_t offset, char* bytes, std::size_t size) override {
    std::memset(bytes, 0, size);
    for (const auto& [start, piece] : FPieces) {
      const std::uint64_t end = start + piece.size();
      if (end <= offset || start >= offset + size) continue;
      const std::uint64_t from = std::max(start, offset);
      const std::uint64_t to = std::min(end, offset + size);
      std::memcpy(bytes + (from - offset), piece.data() + (from - start), static_cast<std::size_t>(to - from));
    }
  }

 private:
  std::map<std::uint64_t, std::string> FPieces;
  std::uint64_t FSize = 0;
};

// A source reading the same sparse archive, for the reader to own.
class TSourceOf : public TZipSource {
 public:
  explicit TSourceOf(TSparseArchive& archive) : FArchive(archive) {}
  std::uint64_t Size() const override { return FArchive.Size(); }
  void ReadAt(std::uint64_t offset, char* bytes, std::size_t size) override { FArchive.ReadAt(offset, bytes, size); }

 private:
  TSparseArchive& FArchive;
};

std::uint32_t Crc(std::string_view data) {
  return static_cast<std::uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(data.data()), static_cast<uInt>(data.size())));
}

std::string ReadAll(TZipReader& reader, const TZipEntry& entry) {
  std::string data;
  reader.ReadEntry(entry, [&](std::string_view piece) { data += piece; });
  return data;
}

TEST(ReleaseZipWriter, EntriesAndOffsetsPastFourGibibytesAreZip64ForTheLaunchersReader) {
  TSparseArchive archive;
  TZipWriter zip(archive);
  zip.BeginEntry("first.txt", 5, TZipMethod::Stored);
  zip.WriteData("first");
  zip.EndEntry(Crc("first"));
  // 5 GiB of zeros, stored: its sizes and every offset after it pass 32 bits.
  const std::string zeros(64u << 20, '\0');
  const std::uint64_t bigSize = 5 * kGiB;
  const std::uint32_t zerosCrc = Crc(zeros);
  std::uint32_t crc = Crc("");
  zip.BeginEntry("big/zeros.bin", bigSize, TZipMethod::Stored);
  for (std::uint64_t done = 0; done < bigSize; done += zeros.size()) {
    zip.WriteData(zeros);
    crc = static_cast<std::uint32_t>(crc32_combine(crc, zerosCrc, static_cast<z_off_t>(zeros.size())));
  }
  zip.EndEntry(crc);
  zip.BeginEntry("\xc3\xbc" "ber/last.txt", 4, TZipMethod::Stored);  // "über/last.txt"
  zip.WriteData("last");
  zip.EndEntry(Crc("last"));
  zip.Finish();

  TZipReader reader(std::make_unique<TSourceOf>(archive));
  const auto& entries = reader.Entries();
  ASSERT_EQ(entries.size(), 3u);
  EXPECT_EQ(entries[1].UncompressedSize, bigSize);
  EXPECT_EQ(entries[1].CompressedSize, bigSize);
  EXPECT_EQ(entries[1].Crc32, crc);
  EXPECT_GT(entries[2].LocalHeaderOffset, 4 * kGiB);
  EXPECT_EQ(entries[2].Name, u"\u00fcber/last.txt");  // flagged UTF-8
  EXPECT_EQ(ReadAll(reader, entries[0]), "first");
  EXPECT_EQ(ReadAll(reader, entries[2]), "last");
}

TEST(ReleaseZipWriter, SixtyFiveThousandEntriesTakeTheZip64EndRecord) {
  TSparseArchive archive;
  TZipWriter zip(archive);
  constexpr std::size_t kCount = 0x10000 + 3;
  for (std::size_t i = 0; i < kCount; ++i) {
    zip.BeginEntry("f" + std::to_string(i), 0, TZipMethod::Stored);
    zip.EndEntry(0);
  }
  const std::uint64_t size = zip.Finish();
  TZipReader reader(std::make_unique<TSourceOf>(archive));
  ASSERT_EQ(reader.Entries().size(), kCount);
  EXPECT_EQ(reader.Entries().back().Name, u"f65538");
  // The classic record says "see ZIP64" in its count.
  char end[22];
  archive.ReadAt(size - 22, end, sizeof end);
  EXPECT_EQ(static_cast<unsigned char>(end[10]), 0xFF);
  EXPECT_EQ(static_cast<unsigned char>(end[11]), 0xFF);
}

TEST(ReleaseSettings, PatchVersionRaisedInPlaceAndNowhereElse) {
  struct TCase {
    std::string Before;
    std::string After;  // empty: refused
  };
  const TCase cases[] = {
      {"{\n  \"a\": [1, {\"patchVersion\": 1}],\n  \"patchVersion\": 3,\n  \"b\": \"patchVersion\"\n}\n",
       "{\n  \"a\": [1, {\"patchVersion\": 1}],\n  \"patchVersion\": 4,\n  \"b\": \"patchVersion\"\n}\n"},
      {"{\"s\": \"a \\\" }, \\\"patchVersion\\\": 1\", \"patchVersion\" :\t\"3\" }",
       "{\"s\": \"a \\\" }, \\\"patchVersion\\\": 1\", \"patchVersion\" :\t\"4\" }"},
      {"{\"patchVersion\": 3, \"patchVersion\": 3}", ""},
      {"{\"nested\": {\"patchVersion\": 3}}", ""},
      {"[\"patchVersion\", 3]", ""},
  };
  for (const TCase& c : cases) {
    if (c.After.empty()) {
      EXPECT_THROW(WithPatchVersion(c.Before, 4, u"s.json"), EBadInput) << c.Before;
    } else {
      EXPECT_EQ(WithPatchVersion(c.Before, 4, u"s.json"), c.After);
    }
  }
}

TEST(ReleaseManifest, ReadsWhatItWritesAndRefusesDamage) {
  TReleaseManifest manifest;
  manifest.Level = 7;
  manifest.Files = {{"a b/c.txt", 0, {}}, {"\xed\x95\x9c/x", 123456789012ull, {}}};
  manifest.Files[1].Sha256.fill(0xAB);
  const TReleaseManifest back = ParseManifest(FormatManifest(manifest), u"m");
  EXPECT_EQ(back.Level, 7);
  ASSERT_EQ(back.Files.size(), 2u);
  EXPECT_EQ(back.Files[0].Path, "a b/c.txt");
  EXPECT_EQ(back.Files[1].Size, 123456789012ull);
  EXPECT_EQ(back.Files[1].Sha256, manifest.Files[1].Sha256);
  ASSERT_NE(back.Find("a b/c.txt"), nullptr);
  EXPECT_EQ(back.Find("a b"), nullptr);

  const std::string good = FormatManifest(manifest);
  const std::string bad[] = {
      "", "cvlctl release manifest 2\nlevel 1\n", "cvlctl release manifest 1\nlevel -1\n",
      good.substr(0, good.size() - 10),                                   // a line cut short
      "cvlctl release manifest 1\nlevel 1\n" + std::string(64, '0') + " 1 b\n" + std::string(64, '0') + " 1 a\n",
  };
  for (const std::string& text : bad) EXPECT_THROW(ParseManifest(text, u"m"), EBadInput) << text;
}

}  // namespace
}  // namespace cvl
