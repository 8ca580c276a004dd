#include "ZipExtract.h"

#include <algorithm>
#include <atomic>
#include <exception>
#include <fstream>
#include <mutex>
#include <random>
#include <set>
#include <system_error>
#include <thread>
#include <vector>

#include "Text.h"
#include "ZipPath.h"

namespace cvl {
namespace fs = std::filesystem;
namespace {

constexpr std::u16string_view kCannotUnpack = u"Cannot unpack %s: %s";
constexpr std::u16string_view kStagingPrefix = u".cvl-unpack-";

[[noreturn]] void Fail(std::u16string_view reason) { throw EZipError(std::u16string(reason)); }

// Paths are kept as plain strings: a path object also holds each of its parts, which with
// tens of thousands of entries would cost more memory than everything else together.
using TPathText = fs::path::string_type;

struct TPlannedEntry {
  const TZipEntry* Entry;
  TPathText Target;  // below the target folder
  TPathText Staged;  // inside the staging folder; empty for a folder entry
};

fs::path Join(const fs::path& base, const std::vector<std::u16string>& parts) {
  fs::path path = base;
  for (const auto& part : parts) path /= fs::path(part);
  return path;
}

// Decides every entry's place and refuses the archive before anything is written.
std::vector<TPlannedEntry> PlanEntries(const TZipReader& reader, const fs::path& target, const TLinkTest& isLink) {
  std::vector<TPlannedEntry> plan;
  std::uint64_t total = 0;
  // Folders already found to be real folders (or absent): many entries share them, and
  // asking the disk again for each would cost more than unpacking a small file.
  std::set<fs::path> checkedFolders;
  for (const TZipEntry& entry : reader.Entries()) {
    if (entry.IsLink) Fail(u"the archive holds a link \"" + entry.Name + u"\"");
    const auto parts = SafeEntryPath(entry.Name);
    if (parts.empty() && !entry.IsDirectory) Fail(u"an entry has no name");
    fs::path path = target;
    for (std::size_t i = 0; i < parts.size(); ++i) {
      path /= fs::path(parts[i]);
      const bool folder = i + 1 < parts.size();
      if (folder && checkedFolders.count(path) != 0) continue;
      std::error_code ec;
      const auto status = fs::symlink_status(path, ec);
      if (isLink(path)) Fail(u"\"" + entry.Name + u"\" would be written through a link");
      const bool exists = fs::exists(status);
      if (exists && (folder || entry.IsDirectory) && !fs::is_directory(status)) {
        Fail(u"\"" + entry.Name + u"\" needs a folder where a file is");
      }
      if (exists && !folder && !entry.IsDirectory && fs::is_directory(status)) {
        Fail(u"\"" + entry.Name + u"\" would replace a folder");
      }
      if (folder) checkedFolders.insert(path);
    }
    if (!entry.IsDirectory) total += std::min<std::uint64_t>(entry.UncompressedSize, UINT64_MAX - total);
    plan.push_back({&entry, Join(target, parts).native(), {}});
  }
  std::error_code ec;
  const fs::space_info space = fs::space(target, ec);
  if (!ec && space.available != static_cast<std::uintmax_t>(-1) && total > space.available) {
    Fail(u"not enough free disk space");
  }
  return plan;
}

fs::path MakeStagingFolder(const fs::path& target) {
  std::random_device random;
  for (int attempt = 0; attempt < 100; ++attempt) {
    const fs::path folder = target / fs::path(std::u16string(kStagingPrefix) + IntToText(random() & 0x7FFFFFFF));
    if (fs::create_directory(folder)) return folder;
  }
  Fail(u"no staging folder can be made");
}

void StageEntry(TZipReader& reader, const TPlannedEntry& item) {
  std::ofstream out(fs::path(item.Staged), std::ios::binary | std::ios::trunc);
  if (!out) Fail(u"a file cannot be written in the target folder");
  reader.ReadEntry(*item.Entry, [&out](std::string_view data) {
    out.write(data.data(), static_cast<std::streamsize>(data.size()));
    if (!out) Fail(u"a file cannot be written in the target folder");
  });
  out.close();
  if (!out) Fail(u"a file cannot be written in the target folder");
}

// Inflating is CPU work and writing small files is mostly waiting on the file system, so
// entries are staged by up to one thread per core, each with its own handle on the
// archive; the first failure stops them all and is raised as if staging were serial.
unsigned StagingThreads(std::size_t files) {
  constexpr unsigned kMostThreads = 4;
  const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
  return static_cast<unsigned>(std::min<std::size_t>({files, cores, kMostThreads}));
}

void StageEntries(TZipReader& reader, const fs::path& archive, std::vector<TPlannedEntry>& plan,
                  const fs::path& staging) {
  // A few hundred files per staging subfolder: creating files in one folder holding tens
  // of thousands is slow, and threads creating in the same folder wait on each other.
  constexpr std::size_t kFilesPerFolder = 256;
  std::vector<const TPlannedEntry*> files;
  fs::path bucket;
  for (TPlannedEntry& item : plan) {
    if (item.Entry->IsDirectory) continue;
    const auto index = static_cast<long long>(files.size());
    if (files.size() % kFilesPerFolder == 0) {
      bucket = staging / fs::path(u"d" + IntToText(index / static_cast<long long>(kFilesPerFolder)));
      fs::create_directory(bucket);
    }
    item.Staged = (bucket / fs::path(IntToText(index))).native();
    files.push_back(&item);
  }
  std::atomic<std::size_t> next{0};
  std::atomic<bool> failed{false};
  std::exception_ptr firstError;
  std::mutex errorLock;
  auto work = [&](TZipReader& own) {
    try {
      for (std::size_t i = next++; i < files.size() && !failed; i = next++) StageEntry(own, *files[i]);
    } catch (...) {
      const std::lock_guard<std::mutex> lock(errorLock);
      if (!firstError) firstError = std::current_exception();
      failed = true;
    }
  };
  std::vector<std::thread> helpers;
  try {
    for (unsigned t = 1; t < StagingThreads(files.size()); ++t) {
      helpers.emplace_back([&] {
        std::unique_ptr<TZipReader> own;
        try {
          own = std::make_unique<TZipReader>(archive, reader);
        } catch (...) {
          return;  // the other threads carry on without this one
        }
        work(*own);
      });
    }
  } catch (const std::system_error&) {
    // No further thread can be started: the ones running do the work.
  }
  work(reader);
  for (std::thread& helper : helpers) helper.join();
  if (firstError) std::rethrow_exception(firstError);
}

// Moves staged files into place; on failure undoes every step in reverse.
class TCommit {
 public:
  void Place(const TPlannedEntry& item) {
    const fs::path target(item.Target);
    MakeFolders(item.Entry->IsDirectory ? target : target.parent_path());
    if (item.Entry->IsDirectory) return;
    const fs::path staged(item.Staged);
    fs::path backup;
    if (fs::exists(fs::symlink_status(target))) {
      // Beside the staged file, so that no one folder collects every older copy.
      backup = staged.parent_path() / fs::path(u"b" + IntToText(static_cast<long long>(FPlaced.size())));
      fs::rename(target, backup);
    }
    FPlaced.push_back({item.Target, backup.native()});
    fs::rename(staged, target);
  }

  void RollBack() noexcept {
    std::error_code ec;
    for (auto it = FPlaced.rbegin(); it != FPlaced.rend(); ++it) {
      fs::remove(fs::path(it->first), ec);
      if (!it->second.empty()) fs::rename(fs::path(it->second), fs::path(it->first), ec);
    }
    for (auto it = FCreated.rbegin(); it != FCreated.rend(); ++it) fs::remove(*it, ec);
  }

 private:
  void MakeFolders(const fs::path& folder) {
    if (fs::exists(fs::symlink_status(folder))) return;
    MakeFolders(folder.parent_path());
    fs::create_directory(folder);
    FCreated.push_back(folder);
  }

  std::vector<std::pair<TPathText, TPathText>> FPlaced;  // target, backup of the older copy
  std::vector<fs::path> FCreated;
};

void Unpack(const fs::path& archive, const fs::path& target, const TLinkTest& isLink) {
  TZipReader reader(archive);
  std::vector<TPlannedEntry> plan = PlanEntries(reader, target, isLink);
  const fs::path staging = MakeStagingFolder(target);
  TCommit commit;
  try {
    StageEntries(reader, archive, plan, staging);
    for (const TPlannedEntry& item : plan) commit.Place(item);
  } catch (...) {
    commit.RollBack();
    std::error_code ec;
    fs::remove_all(staging, ec);
    throw;
  }
  std::error_code ec;
  fs::remove_all(staging, ec);
}

}  // namespace

bool IsSymbolicLink(const fs::path& path) {
  std::error_code ec;
  return fs::is_symlink(fs::symlink_status(path, ec));
}

void ExtractZipArchive(std::u16string_view archive, std::u16string_view targetDirectory, const TLinkTest& isLink) {
  const fs::path archivePath{std::u16string(archive)};
  std::u16string reason;
  try {
    Unpack(archivePath, fs::path{std::u16string(targetDirectory)}, isLink);
    return;
  } catch (const EZipError& error) {
    reason = error.Message();
  } catch (const fs::filesystem_error& error) {
    reason = Utf8ToUtf16(error.code().message());
  } catch (const std::bad_alloc&) {
    reason = u"out of memory";
  }
  throw EZipError(FormatText(kCannotUnpack, {archive, reason}));
}

}  // namespace cvl
