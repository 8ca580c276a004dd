// An unpack killed at any step, or failing half-way through its move, is put right: the
// client folder ends with exactly its older files or exactly the older files plus the
// archive, and no staging folder stays. The kill is a file layer that stops passing calls
// to the disk from a chosen call on, as a dead process would.
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <map>
#include <random>
#include <set>
#include <string>

#include "FileTree.h"
#include "ZipTestArchive.h"
#include "core/Text.h"
#include "core/UnpackStaging.h"
#include "core/ZipExtract.h"

namespace cvl {
namespace {

namespace fs = std::filesystem;
using test::MakeZip;
using test::Snapshot;
using test::TTestEntry;
using test::WriteAll;

using TTree = std::map<std::string, std::string>;

struct TKilled {};

// The platform's file layer, stopping for good at the call numbered `StopAt` (every call
// that changes the disk counts, file writes included), and failing the move numbered
// `FailMove` once, as a file held open would.
class TFaultyFiles final : public IZipFiles {
 public:
  long StopAt = -1;
  long FailMove = -1;
  std::atomic<long> Calls{0};
  std::atomic<long> Moves{0};

  TPathKind PathKind(const std::u16string& path) override { return FFiles.PathKind(path); }
  bool CreateFolder(const std::u16string& path) override {
    Step();
    return FFiles.CreateFolder(path);
  }
  void MovePath(const std::u16string& from, const std::u16string& to) override {
    Step();
    if (Moves++ == FailMove) throw EZipError(u"\"" + to + u"\" cannot be put in place: held open");
    FFiles.MovePath(from, to);
  }
  bool RemovePath(const std::u16string& path) noexcept override {
    return !Dead() && FFiles.RemovePath(path);
  }
  void RemoveTree(const std::u16string& path) noexcept override {
    if (!Dead()) FFiles.RemoveTree(path);
  }
  std::uint64_t FreeSpace(const std::u16string& path) override { return FFiles.FreeSpace(path); }
  std::vector<std::u16string> ListFolder(const std::u16string& path) override { return FFiles.ListFolder(path); }
  std::unique_ptr<TZipOutput> NewFile(const std::u16string& path) override {
    Step();
    return std::make_unique<TOutput>(*this, FFiles.NewFile(path));
  }
  std::unique_ptr<TZipSource> OpenSource(const std::u16string& path) override { return FFiles.OpenSource(path); }

 private:
  class TOutput final : public TZipOutput {
   public:
    TOutput(TFaultyFiles& owner, std::unique_ptr<TZipOutput> out) : FOwner(owner), FOut(std::move(out)) {}
    void Write(std::string_view data) override {
      FOwner.Step();
      FOut->Write(data);
    }
    void Flush() override {
      FOwner.Step();
      FOut->Flush();
    }
    void Close() override {
      FOwner.Step();
      FOut->Close();
    }

   private:
    TFaultyFiles& FOwner;
    std::unique_ptr<TZipOutput> FOut;
  };

  // A removal counts as a step too, but it never raises.
  bool Dead() {
    const long call = Calls++;
    return StopAt >= 0 && call >= StopAt;
  }
  void Step() {
    if (Dead()) throw TKilled{};
  }

  IZipFiles& FFiles = PlatformZipFiles();
};

// What the kill left, read from the disk as the next start finds it.
enum class TLeft { Nothing, Staging, MovingHalfDone, MovingDone, Undoing, Cleaning };

const char* Name(TLeft left) {
  static const char* const kNames[] = {"nothing", "staging", "moving, half done", "moving, all moved",
                                       "undoing", "moving done, cleaning up"};
  return kNames[static_cast<int>(left)];
}

class UnpackRecovery : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    FRoot = fs::temp_directory_path() / (std::string("cvl-recover-") + info->name() + "-" + std::to_string(std::random_device{}()));
    std::vector<TTestEntry> entries = {{"sub/old.txt", "new old"},      {"data/a.txt", "new a", false},
                                       {"fresh/deep/n.txt", "n"},       {"made/empty/", "", false},
                                       {"top.txt", std::string(5000, 't')}};
    for (int i = 0; i < 6; ++i) entries.emplace_back("many/" + std::to_string(i) + ".txt", "m" + std::to_string(i));
    test::WriteAll(FRoot / "patch.zip", MakeZip(entries));
    FOld = {{"keep.txt", "keep"}, {"sub", "<dir>"}, {"sub/old.txt", "old"}, {"data", "<dir>"}, {"data/a.txt", "old a"}};
    FNew = FOld;
    for (const TTestEntry& e : entries) {
      std::string path = e.Name;
      if (path.back() == '/') path.pop_back();
      for (std::size_t slash = path.find('/'); slash != std::string::npos; slash = path.find('/', slash + 1)) {
        FNew[path.substr(0, slash)] = "<dir>";
      }
      FNew[path] = e.Name.back() == '/' ? "<dir>" : e.Data;
    }
  }
  void TearDown() override {
    std::error_code ec;
    fs::remove_all(FRoot, ec);
  }

  fs::path FreshTarget() {
    const fs::path target = FRoot / "target";
    fs::remove_all(target);
    fs::create_directories(target);
    for (const auto& [path, data] : FOld) {
      if (data == "<dir>") {
        fs::create_directories(target / path);
      } else {
        WriteAll(target / path, data);
      }
    }
    return target;
  }

  std::vector<fs::path> StagingFolders(const fs::path& target) {
    std::vector<fs::path> found;
    for (const auto& item : fs::directory_iterator(target)) {
      if (item.path().filename().string().rfind(".cvl-unpack-", 0) == 0) found.push_back(item.path());
    }
    return found;
  }

  // The target without its staging folders.
  TTree Outside(const fs::path& target) {
    TTree tree = Snapshot(target);
    std::erase_if(tree, [](const auto& item) { return item.first.rfind(".cvl-unpack-", 0) == 0; });
    return tree;
  }

  TLeft Left(const fs::path& target) {
    const auto folders = StagingFolders(target);
    if (folders.empty()) return TLeft::Nothing;
    EXPECT_EQ(folders.size(), 1u);
    const TStaging staging(folders[0].u16string());
    const auto journal = ReadJournal(PlatformZipFiles(), staging);
    if (!journal) return Outside(target) == FNew ? TLeft::Cleaning : TLeft::Staging;
    if (journal->Phase == TUnpackPhase::Staging) return TLeft::Staging;
    if (journal->Phase == TUnpackPhase::Undoing) return TLeft::Undoing;
    for (const TStagedFile& file : journal->Files) {
      if (fs::exists(fs::path(staging.StagedFile(file.Number)))) return TLeft::MovingHalfDone;
    }
    return TLeft::MovingDone;
  }

  // No file of the target is half-written: each holds its older or its new bytes.
  void ExpectWholeFiles(const fs::path& target) {
    for (const auto& [path, data] : Outside(target)) {
      const bool older = FOld.count(path) && FOld[path] == data;
      const bool newer = FNew.count(path) && FNew[path] == data;
      EXPECT_TRUE(older || newer) << path << " holds neither its older nor its new bytes";
    }
  }

  fs::path FRoot;
  TTree FOld;
  TTree FNew;
};

TEST_F(UnpackRecovery, KilledAtEveryStepIsPutRightAtTheNextStart) {
  // How many steps a whole unpack takes.
  TFaultyFiles counting;
  ExtractZipArchive((FRoot / "patch.zip").u16string(), FreshTarget().u16string(), counting);
  ASSERT_EQ(Snapshot(FRoot / "target"), FNew);
  const long steps = counting.Calls;

  std::set<TLeft> seen;
  for (long stop = 0; stop < steps; ++stop) {
    SCOPED_TRACE("killed at step " + std::to_string(stop) + " of " + std::to_string(steps));
    const fs::path target = FreshTarget();
    TFaultyFiles dying;
    dying.StopAt = stop;
    try {
      ExtractZipArchive((FRoot / "patch.zip").u16string(), target.u16string(), dying);
    } catch (const TKilled&) {
      // A kill while the staging folder is removed ends nothing: removals never raise.
    }
    ExpectWholeFiles(target);
    const TLeft left = Left(target);
    seen.insert(left);
    SCOPED_TRACE(Name(left));

    RecoverInterruptedUnpack(target.u16string());
    const bool staged = left == TLeft::MovingHalfDone || left == TLeft::MovingDone || left == TLeft::Cleaning;
    EXPECT_TRUE(Snapshot(target) == (staged ? FNew : FOld));
  }
  for (const TLeft left : {TLeft::Staging, TLeft::MovingHalfDone, TLeft::MovingDone, TLeft::Cleaning}) {
    EXPECT_TRUE(seen.count(left)) << "no kill left " << Name(left);
  }
}

TEST_F(UnpackRecovery, AMoveThatFailsHalfWayLeavesTheOlderFiles) {
  // Every move of the unpack fails in turn: its older copies go back, whatever had been
  // placed before it.
  TFaultyFiles counting;
  ExtractZipArchive((FRoot / "patch.zip").u16string(), FreshTarget().u16string(), counting);
  const long moves = counting.Moves;
  for (long fail = 0; fail < moves; ++fail) {
    SCOPED_TRACE("move " + std::to_string(fail) + " fails");
    const fs::path target = FreshTarget();
    TFaultyFiles failing;
    failing.FailMove = fail;
    EXPECT_THROW(ExtractZipArchive((FRoot / "patch.zip").u16string(), target.u16string(), failing), EZipError);
    EXPECT_TRUE(Snapshot(target) == FOld);
  }
}

TEST_F(UnpackRecovery, KilledWhilePuttingOlderCopiesBackIsPutRightAtTheNextStart) {
  // A move half-way through fails (the journal's renames count too), then the process
  // dies at each step of the undo.
  TFaultyFiles counting;
  counting.FailMove = 5;
  EXPECT_THROW(ExtractZipArchive((FRoot / "patch.zip").u16string(), FreshTarget().u16string(), counting), EZipError);
  const long steps = counting.Calls;
  std::set<TLeft> seen;
  for (long stop = 0; stop < steps; ++stop) {
    SCOPED_TRACE("killed at step " + std::to_string(stop));
    const fs::path target = FreshTarget();
    TFaultyFiles dying;
    dying.FailMove = 5;
    dying.StopAt = stop;
    try {
      ExtractZipArchive((FRoot / "patch.zip").u16string(), target.u16string(), dying);
    } catch (const TKilled&) {
    } catch (const EZipError&) {
    }
    ExpectWholeFiles(target);
    const TLeft left = Left(target);
    seen.insert(left);
    RecoverInterruptedUnpack(target.u16string());
    // A journal still saying "moving" lets the next start finish the move instead.
    const bool staged = left == TLeft::MovingHalfDone || left == TLeft::MovingDone;
    EXPECT_TRUE(Snapshot(target) == (staged ? FNew : FOld)) << Name(left);
  }
  EXPECT_TRUE(seen.count(TLeft::Undoing));
}

TEST_F(UnpackRecovery, LeavesADamagedJournalAndOtherFoldersAlone) {
  const fs::path target = FreshTarget();
  WriteAll(target / ".cvl-unpack-7" / "journal", "CVL unpack journal 1\nphase moving\nfile 0 x");
  WriteAll(target / ".cvl-unpack-7" / "d0" / "b0", "an older copy");
  WriteAll(target / ".cvl-unpacked" / "mine.txt", "not ours");
  WriteAll(target / ".cvl-unpack-8", "a file, not a staging folder");
  const TTree before = Snapshot(target);
  RecoverInterruptedUnpack(target.u16string());
  EXPECT_TRUE(Snapshot(target) == before);
}

}  // namespace
}  // namespace cvl
