// ZIP extraction: archives made by real tools unpack exactly; damaged and hostile ones
// leave the target folder as it was and write nothing outside it.
#include <gtest/gtest.h>

#include <atomic>

#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>

#include "FileTree.h"
#include "ZipTestArchive.h"
#include "core/Text.h"
#include "core/ZipExtract.h"
#include "core/ZipReader.h"

namespace cvl {
namespace {

namespace fs = std::filesystem;
using test::MakeZip;
using test::ReadAll;
using test::Snapshot;
using test::TTestEntry;
using test::WriteAll;

// The end record of an archive without a comment.
constexpr std::size_t kEndRecord = 22;
void PutAt(std::string& bytes, std::size_t at, std::uint32_t value, int width) {
  for (int i = 0; i < width; ++i) bytes[at + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
}

std::string Noise(std::size_t size) {
  std::mt19937 random(7);
  std::string data(size, '\0');
  for (std::size_t i = 0; i < size; ++i) data[i] = static_cast<char>(i % 3 == 0 ? random() : 'a');
  return data;
}

class ZipExtract : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    FRoot = fs::temp_directory_path() / (std::string("cvl-zip-") + info->name() + "-" + std::to_string(std::random_device{}()));
    fs::create_directories(FRoot / "target");
    fs::create_directories(FRoot / "outside");
    WriteAll(FRoot / "target" / "keep.txt", "keep");
    WriteAll(FRoot / "target" / "sub" / "old.txt", "old");
  }
  void TearDown() override {
    std::error_code ec;
    fs::remove_all(FRoot, ec);
  }
  fs::path Target() const { return FRoot / "target"; }
  fs::path Archive(const std::string& bytes) {
    const fs::path path = FRoot / "archive.zip";
    WriteAll(path, bytes);
    return path;
  }
  void Extract(const fs::path& archive) { ExtractZipArchive(archive.u16string(), Target().u16string()); }

  fs::path FRoot;
};

TEST_F(ZipExtract, StoredDeflatedAndZip64EntriesReplaceOlderCopies) {
  const std::string big = Noise(300 * 1024);
  for (const bool zip64 : {false, true}) {
    SCOPED_TRACE(zip64 ? "zip64" : "zip");
    const fs::path archive = Archive(MakeZip({{"sub/old.txt", "new", false},
                                              {"sub\\deep\\big.bin", big, true},
                                              {"made/empty/", "", false},
                                              {"top.txt", "", true}},
                                             zip64));
    Extract(archive);
    auto tree = Snapshot(Target());
    EXPECT_EQ(tree["keep.txt"], "keep");
    EXPECT_EQ(tree["sub/old.txt"], "new");
    EXPECT_TRUE(tree["sub/deep/big.bin"] == big);
    EXPECT_EQ(tree["made/empty"], "<dir>");
    EXPECT_EQ(tree["top.txt"], "");
    EXPECT_EQ(tree.size(), 8u) << "a staging folder was left behind";
  }
}

// A cancel set from another thread (the window closing) stops the unpack before anything
// of the archive is in place, however far the staging has come.
TEST_F(ZipExtract, CancelledUnpackLeavesTheTargetAsItWas) {
  std::vector<TTestEntry> entries = {{"sub/old.txt", "new", true}};
  for (int i = 0; i < 200; ++i) entries.push_back({"many/" + std::to_string(i) + ".bin", Noise(4096), true});
  const fs::path archive = Archive(MakeZip(entries));
  const auto before = Snapshot(Target());
  std::atomic<bool> cancel{true};
  EXPECT_THROW(ExtractZipArchive(archive.u16string(), Target().u16string(), &cancel), EZipError);
  EXPECT_EQ(Snapshot(Target()), before);

  std::atomic<bool> notCancelled{false};
  ExtractZipArchive(archive.u16string(), Target().u16string(), &notCancelled);
  EXPECT_EQ(ReadAll(Target() / "sub" / "old.txt"), "new");
}

TEST_F(ZipExtract, NamesInUtf8AndCodePage437IntoAWideTarget) {
  const fs::path target = FRoot / fs::path(u"ziel \u00e9\u4e2d");
  fs::create_directories(target);
  const fs::path archive = Archive(MakeZip({TTestEntry("\xC3\xA9t\xC3\xA9.txt", "u").FlagUtf8(),
                                            {"caf\x82.txt", "c", true}}));
  ExtractZipArchive(archive.u16string(), target.u16string());
  EXPECT_EQ(ReadAll(target / fs::path(u"\u00e9t\u00e9.txt")), "u");
  EXPECT_EQ(ReadAll(target / fs::path(u"caf\u00e9.txt")), "c");
}

TEST_F(ZipExtract, DamagedOrHostileArchivesChangeNothing) {
  const TTestEntry good{"good.txt", "good", true};
  const std::string zeros(20 * 1024 * 1024, '\0');
  std::string truncated = MakeZip({good, {"b.txt", Noise(5000), true}});
  truncated.resize(truncated.size() / 2);
  std::string cutData = MakeZip({good, {"b.txt", Noise(5000), false}});
  cutData.erase(200, 100);
  // The directory's size covers three records, the end record counts two.
  std::string undercounted = MakeZip({good, {"b.txt", "b"}, {"c.txt", "c"}});
  PutAt(undercounted, undercounted.size() - kEndRecord + 8, 2, 2);
  PutAt(undercounted, undercounted.size() - kEndRecord + 10, 2, 2);
  std::string overcounted = MakeZip({good, {"b.txt", "b"}, {"c.txt", "c"}});
  PutAt(overcounted, overcounted.size() - kEndRecord + 8, 4, 2);
  PutAt(overcounted, overcounted.size() - kEndRecord + 10, 4, 2);
  std::string commentPastEnd = MakeZip({good});
  PutAt(commentPastEnd, commentPastEnd.size() - kEndRecord + 20, 10, 2);
  const std::pair<const char*, std::string> cases[] = {
      {"climbs with /", MakeZip({good, {"../evil.txt", "x"}})},
      {"climbs with \\", MakeZip({good, {"..\\evil.txt", "x"}})},
      {"climbs after a folder", MakeZip({good, {"sub/../../evil.txt", "x"}})},
      {"absolute", MakeZip({good, {"/tmp/evil.txt", "x"}})},
      {"absolute with \\", MakeZip({good, {"\\evil.txt", "x"}})},
      {"drive", MakeZip({good, {"C:/evil.txt", "x"}})},
      {"drive-relative", MakeZip({good, {"C:evil.txt", "x"}})},
      {"stream", MakeZip({good, {"keep.txt:hidden", "x"}})},
      {"device", MakeZip({good, {"sub/NUL.txt", "x"}})},
      {"link entry", MakeZip({good, TTestEntry("link", "../outside", false).AsUnixLink()})},
      {"crc corrupt", MakeZip({good, TTestEntry("sub/old.txt", "new").RecordCrc(0x12345678u)})},
      {"size lie, longer than recorded", MakeZip({good, TTestEntry("b.txt", "0123456789").RecordSize(4)})},
      {"size lie, shorter than recorded", MakeZip({good, TTestEntry("b.txt", "0123456789").RecordSize(40)})},
      {"zip bomb ratio", MakeZip({good, TTestEntry("bomb.bin", zeros).RecordSize(1000)})},
      {"entries share their data", MakeZip({good, TTestEntry("good.txt", "good").SharingPreviousData()})},
      {"end record counts fewer entries than the directory holds", undercounted},
      {"end record counts more entries than the directory holds", overcounted},
      {"comment runs past the end", commentPastEnd},
      {"folder entry holding data", MakeZip({good, TTestEntry("dir", "data", false).AsDosFolder()})},
      {"truncated", truncated},
      {"data cut out", cutData},
      {"not an archive", Noise(4000)},
      {"empty file", ""},
  };
  const auto before = Snapshot(FRoot);
  for (const auto& [what, bytes] : cases) {
    SCOPED_TRACE(what);
    const fs::path archive = Archive(bytes);
    auto expected = before;
    expected["archive.zip"] = bytes;
    EXPECT_THROW(Extract(archive), EZipError);
    EXPECT_TRUE(Snapshot(FRoot) == expected);
  }
}

// Layouts that other writers produce and other readers accept: still whole archives.
TEST_F(ZipExtract, OddButWholeLayoutsAreApplied) {
  const std::vector<TTestEntry> entries = {{"a.txt", "alpha"}, {"sub/b.txt", "beta", false}};
  const std::string plain = MakeZip(entries);
  // Every field of the classic end record marked as kept in the ZIP64 one.
  std::string zip64Marked = MakeZip(entries, true);
  PutAt(zip64Marked, zip64Marked.size() - kEndRecord + 4, 0xFFFF, 2);
  PutAt(zip64Marked, zip64Marked.size() - kEndRecord + 6, 0xFFFF, 2);
  const std::pair<const char*, std::string> cases[] = {
      {"bytes after the end record", plain + "trailing bytes"},
      {"bytes before the archive, offsets not adjusted", std::string(1000, 'X') + plain},
      {"both", std::string(300, '\0') + plain + std::string(200, '\0')},
      {"ZIP64 end record with every classic field marked", zip64Marked},
      {"folder recorded by attribute only",
       MakeZip({{"a.txt", "alpha"}, TTestEntry("sub", "", false).AsDosFolder(), {"sub/b.txt", "beta", false}})},
  };
  auto expected = Snapshot(Target());
  expected["a.txt"] = "alpha";
  expected["sub/b.txt"] = "beta";
  for (const auto& [what, bytes] : cases) {
    SCOPED_TRACE(what);
    fs::remove(Target() / "a.txt");
    fs::remove(Target() / "sub" / "b.txt");
    Extract(Archive(bytes));
    EXPECT_TRUE(Snapshot(Target()) == expected);
  }
}

TEST(ZipReader, AFullSizeFieldWithoutZip64FieldIsTheRealSize) {
  // An entry of exactly 4 GiB - 1 bytes needs no ZIP64 record.
  TZipReader reader(MemoryZipSource(MakeZip({TTestEntry("big.file", "0").RecordSize(0xFFFFFFFFu)})));
  ASSERT_EQ(reader.Entries().size(), 1u);
  EXPECT_EQ(reader.Entries()[0].UncompressedSize, 0xFFFFFFFFu);
}

TEST_F(ZipExtract, ABadEntryLateInAManyEntryArchiveChangesNothing) {
  // Hundreds of entries are staged by several threads in several staging folders; one
  // bad CRC near the end must still leave the target as it was, older copies included.
  std::vector<TTestEntry> entries;
  for (int i = 0; i < 600; ++i) {
    entries.emplace_back("many/" + std::to_string(i) + ".txt", "entry " + std::to_string(i), i % 2 == 0);
  }
  entries.emplace_back("sub/old.txt", "replaced");
  entries[450].RecordCrc(0x12345678u);
  const fs::path archive = Archive(MakeZip(entries));
  const auto before = Snapshot(Target());
  EXPECT_THROW(Extract(archive), EZipError);
  EXPECT_TRUE(Snapshot(Target()) == before);

  entries[450] = TTestEntry("many/450.txt", "entry 450");
  Extract(Archive(MakeZip(entries)));
  EXPECT_EQ(ReadAll(Target() / "many" / "599.txt"), "entry 599");
  EXPECT_EQ(ReadAll(Target() / "sub" / "old.txt"), "replaced");
}

TEST_F(ZipExtract, FailureWhileMovingIntoPlacePutsOlderCopiesBack) {
  // "f" is placed, then "f/g" needs "f" as a folder: the move fails after the first
  // replacement was made.
  const fs::path archive = Archive(MakeZip({{"sub/old.txt", "new"}, {"f", "file"}, {"f/g", "inner"}}));
  const auto before = Snapshot(Target());
  try {
    Extract(archive);
    ADD_FAILURE() << "no error";
  } catch (const EZipError& e) {
    EXPECT_NE(e.Message().find(u"Cannot unpack "), std::u16string::npos);
  }
  EXPECT_TRUE(Snapshot(Target()) == before);
}

#ifndef _WIN32
TEST_F(ZipExtract, NeverWritesThroughALinkOnDisk) {
  fs::create_directory_symlink(FRoot / "outside", Target() / "lnk");
  EXPECT_THROW(Extract(Archive(MakeZip({{"good.txt", "g"}, {"lnk/evil.txt", "x"}}))), EZipError);
  EXPECT_TRUE(fs::is_empty(FRoot / "outside"));
  EXPECT_FALSE(fs::exists(Target() / "good.txt"));
}

// Archives made by independent tools from the same folder unpack to that folder.
TEST_F(ZipExtract, ArchivesMadeByZipPythonAndBsdtar) {
  const fs::path source = FRoot / "source";
  WriteAll(source / "a.txt", "alpha\n");
  WriteAll(source / "sub" / "deep" / "b.bin", Noise(200 * 1024));
  fs::create_directories(source / "emptydir");
  const std::string python =
      "import sys, zipfile, os\n"
      "out, mode, src = sys.argv[1], sys.argv[2], sys.argv[3]\n"
      "comp = zipfile.ZIP_STORED if mode == 'stored' else zipfile.ZIP_DEFLATED\n"
      "with zipfile.ZipFile(out, 'w', comp) as z:\n"
      "  for root, dirs, files in os.walk(src):\n"
      "    for d in dirs: z.write(os.path.join(root, d), os.path.relpath(os.path.join(root, d), src) + '/')\n"
      "    for f in files:\n"
      "      p = os.path.join(root, f)\n"
      "      with z.open(os.path.relpath(p, src), 'w', force_zip64=(mode == 'zip64')) as o, open(p, 'rb') as i: o.write(i.read())\n";
  WriteAll(FRoot / "mkzip.py", python);
  const std::string s = "'" + source.string() + "'";
  const std::string py = "/usr/bin/python3 '" + (FRoot / "mkzip.py").string() + "' ";
  const std::pair<const char*, std::string> tools[] = {
      {"zip deflated", "cd " + s + " && zip -qr %OUT% ."},
      {"zip stored", "cd " + s + " && zip -qr0 %OUT% ."},
      {"python deflated", py + "%OUT% deflated " + s},
      {"python stored", py + "%OUT% stored " + s},
      {"python zip64", py + "%OUT% zip64 " + s},
      {"bsdtar deflated", "cd " + s + " && bsdtar --format zip -cf %OUT% ."},
      {"bsdtar stored", "cd " + s + " && bsdtar --format zip --options zip:compression=store -cf %OUT% ."},
  };
  const auto expected = Snapshot(source);
  int n = 0;
  for (const auto& [what, command] : tools) {
    SCOPED_TRACE(what);
    const fs::path archive = FRoot / ("t" + std::to_string(n++) + ".zip");
    std::string line = command;
    line.replace(line.find("%OUT%"), 5, "'" + archive.string() + "'");
    ASSERT_EQ(std::system(line.c_str()), 0) << line;
    const fs::path target = FRoot / ("out" + std::to_string(n));
    fs::create_directories(target);
    ExtractZipArchive(archive.u16string(), target.u16string());
    EXPECT_TRUE(Snapshot(target) == expected);
  }
}

// The last bytes of a highly compressible entry are still inside zlib when its input
// runs out: they must come out all the same.
TEST_F(ZipExtract, HighlyCompressibleEntriesFromZipAndPython) {
  const fs::path source = FRoot / "source";
  // 64 KiB and one byte of one value, one byte changed: as zip -9 and Python write it,
  // the last output is still inside zlib when the input runs out.
  std::string data(64 * 1024 + 1, 'a');
  data[1000] = 'b';
  WriteAll(source / "one.bin", data);
  const std::string s = "'" + source.string() + "'";
  const std::string zipped = "'" + (FRoot / "zip.zip").string() + "'";
  const std::string python = "'" + (FRoot / "py.zip").string() + "'";
  ASSERT_EQ(std::system(("cd " + s + " && zip -q -9 " + zipped + " one.bin").c_str()), 0);
  ASSERT_EQ(std::system(("cd " + s + " && /usr/bin/python3 -c \"import zipfile; z = zipfile.ZipFile(" + python +
                         ", 'w', zipfile.ZIP_DEFLATED, compresslevel=9); z.write('one.bin'); "
                         "z.close()\"").c_str()),
            0);
  for (const char* archive : {"zip.zip", "py.zip"}) {
    SCOPED_TRACE(archive);
    const fs::path target = FRoot / (std::string("out-") + archive);
    fs::create_directories(target);
    ExtractZipArchive((FRoot / archive).u16string(), target.u16string());
    EXPECT_TRUE(ReadAll(target / "one.bin") == data);
  }
}

TEST_F(ZipExtract, EmptyAndFoldersOnlyArchives) {
  const fs::path folders = FRoot / "folders";
  fs::create_directories(folders / "x" / "y");
  fs::create_directories(folders / "z");
  const std::string empty = "/usr/bin/python3 -c \"import zipfile; zipfile.ZipFile('" + (FRoot / "e.zip").string() + "', 'w').close()\"";
  ASSERT_EQ(std::system(empty.c_str()), 0);
  const std::string dirs = "cd '" + folders.string() + "' && zip -qr '" + (FRoot / "d.zip").string() + "' .";
  ASSERT_EQ(std::system(dirs.c_str()), 0);
  const auto before = Snapshot(Target());
  ExtractZipArchive((FRoot / "e.zip").u16string(), Target().u16string());
  EXPECT_TRUE(Snapshot(Target()) == before);
  ExtractZipArchive((FRoot / "d.zip").u16string(), Target().u16string());
  EXPECT_TRUE(fs::is_directory(Target() / "x" / "y"));
  EXPECT_TRUE(fs::is_directory(Target() / "z"));
  EXPECT_EQ(ReadAll(Target() / "keep.txt"), "keep");
}
#endif

}  // namespace
}  // namespace cvl
