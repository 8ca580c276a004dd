#include "ZipExtract.h"

#include <algorithm>
#include <atomic>
#include <exception>
#include <mutex>
#include <random>
#include <set>
#include <system_error>
#include <thread>
#include <vector>

#include "Text.h"
#include "ZipFiles.h"
#include "ZipPath.h"

namespace cvl {
namespace {

constexpr std::u16string_view kCannotUnpack = u"Cannot unpack %s: %s";
constexpr std::u16string_view kStagingPrefix = u".cvl-unpack-";

[[noreturn]] void Fail(std::u16string_view reason) { throw EZipError(std::u16string(reason)); }

constexpr std::size_t kNoFile = ~std::size_t{0};

// Only the target path is kept for each entry; staged paths follow from the file's number.
// With tens of thousands of entries, every further path would cost megabytes.
struct TPlannedEntry {
  const TZipEntry* Entry;
  std::u16string Target;       // below the target folder
  std::size_t File = kNoFile;  // the staged file's number; kNoFile for a folder entry
};

std::u16string Join(std::u16string base, std::u16string_view name) {
  if (!base.empty() && !IsPathSeparator(base.back())) base += PathSeparator();
  base += name;
  return base;
}

// The staging folder inside the target: staged files go a few hundred to a subfolder,
// since creating files in one folder holding tens of thousands is slow, and threads
// creating in the same folder wait on each other. An older copy set aside while its
// replacement is moved into place goes beside the staged file.
class TStaging {
 public:
  static constexpr std::size_t kFilesPerFolder = 256;

  explicit TStaging(std::u16string folder) : FFolder(std::move(folder)) {}
  const std::u16string& Folder() const { return FFolder; }
  std::u16string Subfolder(std::size_t file) const {
    return Join(FFolder, u"d" + IntToText(static_cast<long long>(file / kFilesPerFolder)));
  }
  std::u16string StagedFile(std::size_t file) const {
    return Join(Subfolder(file), IntToText(static_cast<long long>(file)));
  }
  std::u16string OlderCopy(std::size_t file) const {
    return Join(Subfolder(file), u"b" + IntToText(static_cast<long long>(file)));
  }

 private:
  std::u16string FFolder;
};

// The folder holding `path`; empty when it has none.
std::u16string ParentOf(const std::u16string& path) {
  std::size_t end = path.size();
  while (end > 0 && !IsPathSeparator(path[end - 1])) --end;
  if (end == 0) return {};
  std::size_t parent = end - 1;
  while (parent > 0 && IsPathSeparator(path[parent - 1])) --parent;
  return parent == 0 ? path.substr(0, 1) : path.substr(0, parent);
}

// Decides every entry's place and refuses the archive before anything is written.
std::vector<TPlannedEntry> PlanEntries(const TZipReader& reader, const std::u16string& target) {
  std::vector<TPlannedEntry> plan;
  std::uint64_t total = 0;
  // Folders already found to be real folders (or absent): many entries share them, and
  // asking the disk again for each would cost more than unpacking a small file.
  std::set<std::u16string> checkedFolders;
  for (const TZipEntry& entry : reader.Entries()) {
    if (entry.IsLink) Fail(u"the archive holds a link \"" + entry.Name + u"\"");
    const auto parts = SafeEntryPath(entry.Name);
    if (parts.empty() && !entry.IsDirectory) Fail(u"an entry has no name");
    std::u16string path = target;
    for (std::size_t i = 0; i < parts.size(); ++i) {
      path = Join(std::move(path), parts[i]);
      const bool folder = i + 1 < parts.size();
      if (folder && checkedFolders.count(path) != 0) continue;
      const TPathKind kind = PathKind(path);
      if (kind == TPathKind::Link) Fail(u"\"" + entry.Name + u"\" would be written through a link");
      if (kind == TPathKind::File && (folder || entry.IsDirectory)) {
        Fail(u"\"" + entry.Name + u"\" needs a folder where a file is");
      }
      if (kind == TPathKind::Folder && !folder && !entry.IsDirectory) {
        Fail(u"\"" + entry.Name + u"\" would replace a folder");
      }
      if (folder) checkedFolders.insert(path);
    }
    if (!entry.IsDirectory) total += std::min<std::uint64_t>(entry.UncompressedSize, UINT64_MAX - total);
    plan.push_back({&entry, std::move(path), {}});
  }
  if (total > FreeSpace(target)) Fail(u"not enough free disk space");
  return plan;
}

std::u16string MakeStagingFolder(const std::u16string& target) {
  std::random_device random;
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::u16string folder = Join(target, std::u16string(kStagingPrefix) + IntToText(random() & 0x7FFFFFFF));
    if (CreateFolder(folder)) return folder;
  }
  Fail(u"no staging folder can be made");
}

void StageEntry(TZipReader& reader, const TStaging& staging, const TPlannedEntry& item) {
  TOutputFile out(staging.StagedFile(item.File));
  reader.ReadEntry(*item.Entry, [&out](std::string_view data) { out.Write(data); });
  out.Close();
}

// Inflating is CPU work and writing small files is mostly waiting on the file system, so
// entries are staged by up to one thread per core, each with its own handle on the
// archive; the first failure stops them all and is raised as if staging were serial.
unsigned StagingThreads(std::size_t files) {
  constexpr unsigned kMostThreads = 4;
  const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
  return static_cast<unsigned>(std::min<std::size_t>({files, cores, kMostThreads}));
}

void StageEntries(TZipReader& reader, const std::u16string& archive, std::vector<TPlannedEntry>& plan,
                  const TStaging& staging) {
  std::vector<const TPlannedEntry*> files;
  for (TPlannedEntry& item : plan) {
    if (item.Entry->IsDirectory) continue;
    item.File = files.size();
    if (item.File % TStaging::kFilesPerFolder == 0) CreateFolder(staging.Subfolder(item.File));
    files.push_back(&item);
  }
  std::atomic<std::size_t> next{0};
  std::atomic<bool> failed{false};
  std::exception_ptr firstError;
  std::mutex errorLock;
  auto work = [&](TZipReader& own) {
    try {
      for (std::size_t i = next++; i < files.size() && !failed; i = next++) StageEntry(own, staging, *files[i]);
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
  explicit TCommit(const TStaging& staging) : FStaging(staging) {}

  void Place(const TPlannedEntry& item) {
    const std::u16string& target = item.Target;
    MakeFolders(item.Entry->IsDirectory ? target : ParentOf(target));
    if (item.Entry->IsDirectory) return;
    const bool olderCopy = PathKind(target) != TPathKind::None;
    if (olderCopy) MovePath(target, FStaging.OlderCopy(item.File));
    FPlaced.push_back({&item, olderCopy});
    MovePath(FStaging.StagedFile(item.File), target);
  }

  void RollBack() noexcept {
    for (auto it = FPlaced.rbegin(); it != FPlaced.rend(); ++it) {
      const TPlannedEntry& item = *it->first;
      try {
        RemovePath(item.Target);
        if (it->second) MovePath(FStaging.OlderCopy(item.File), item.Target);
      } catch (...) {
        // Undo as much as can be undone.
      }
    }
    for (auto it = FCreated.rbegin(); it != FCreated.rend(); ++it) RemovePath(*it);
  }

 private:
  void MakeFolders(const std::u16string& folder) {
    if (folder.empty() || PathKind(folder) != TPathKind::None) return;
    const std::u16string parent = ParentOf(folder);
    if (parent != folder) MakeFolders(parent);
    if (CreateFolder(folder)) FCreated.push_back(folder);
  }

  const TStaging& FStaging;
  std::vector<std::pair<const TPlannedEntry*, bool>> FPlaced;  // placed, and whether an older copy was set aside
  std::vector<std::u16string> FCreated;
};

void Unpack(const std::u16string& archive, const std::u16string& target) {
  TZipReader reader(archive);
  std::vector<TPlannedEntry> plan = PlanEntries(reader, target);
  const TStaging staging(MakeStagingFolder(target));
  TCommit commit(staging);
  try {
    StageEntries(reader, archive, plan, staging);
    for (const TPlannedEntry& item : plan) commit.Place(item);
  } catch (...) {
    commit.RollBack();
    RemoveTree(staging.Folder());
    throw;
  }
  RemoveTree(staging.Folder());
}

}  // namespace

void ExtractZipArchive(std::u16string_view archive, std::u16string_view targetDirectory) {
  std::u16string reason;
  try {
    Unpack(std::u16string(archive), std::u16string(targetDirectory));
    return;
  } catch (const EZipError& error) {
    reason = error.Message();
  } catch (const std::bad_alloc&) {
    reason = u"out of memory";
  }
  throw EZipError(FormatText(kCannotUnpack, {archive, reason}));
}

}  // namespace cvl
