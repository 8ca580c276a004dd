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
#include "UnpackStaging.h"
#include "ZipFiles.h"
#include "ZipPath.h"

namespace cvl {
namespace {

constexpr std::u16string_view kCannotUnpack = u"Cannot unpack %s: %s";

[[noreturn]] void Fail(std::u16string_view reason) { throw EZipError(std::u16string(reason)); }

constexpr std::size_t kNoFile = ~std::size_t{0};

// Only the target path is kept for each entry; staged paths follow from the file's number.
// With tens of thousands of entries, every further path would cost megabytes.
struct TPlannedEntry {
  const TZipEntry* Entry;
  std::u16string Target;       // below the target folder
  std::size_t File = kNoFile;  // the staged file's number; kNoFile for a folder entry
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
std::vector<TPlannedEntry> PlanEntries(IZipFiles& files, const TZipReader& reader, const std::u16string& target) {
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
      path = JoinPath(std::move(path), parts[i]);
      const bool folder = i + 1 < parts.size();
      if (folder && checkedFolders.count(path) != 0) continue;
      const TPathKind kind = files.PathKind(path);
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
  if (total > files.FreeSpace(target)) Fail(u"not enough free disk space");
  return plan;
}

TStaging MakeStagingFolder(IZipFiles& files, const std::u16string& target) {
  std::random_device random;
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::u16string folder = JoinPath(target, std::u16string(kStagingPrefix) + IntToText(random() & 0x7FFFFFFF));
    if (files.CreateFolder(folder)) return TStaging(folder);
  }
  Fail(u"no staging folder can be made");
}

void StopIfCancelled(const std::atomic<bool>* cancel) {
  if (cancel != nullptr && cancel->load()) Fail(u"the unpack was cancelled");
}

void StageEntry(IZipFiles& files, TZipReader& reader, const TStaging& staging, const TPlannedEntry& item,
                const std::atomic<bool>* cancel) {
  const std::unique_ptr<TZipOutput> out = files.NewFile(staging.StagedFile(item.File));
  reader.ReadEntry(*item.Entry, [&out, cancel](std::string_view data) {
    StopIfCancelled(cancel);
    out->Write(data);
  });
  out->Close();
}

// Inflating is CPU work and writing small files is mostly waiting on the file system, so
// entries are staged by up to one thread per core, each with its own handle on the
// archive; the first failure stops them all and is raised as if staging were serial.
unsigned StagingThreads(std::size_t count) {
  constexpr unsigned kMostThreads = 4;
  const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
  return static_cast<unsigned>(std::min<std::size_t>({count, cores, kMostThreads}));
}

void StageEntries(IZipFiles& files, TZipReader& reader, const std::u16string& archive,
                  std::vector<TPlannedEntry>& plan, const TStaging& staging, const std::atomic<bool>* cancel) {
  std::vector<const TPlannedEntry*> staged;
  for (TPlannedEntry& item : plan) {
    if (item.Entry->IsDirectory) continue;
    item.File = staged.size();
    if (item.File % TStaging::kFilesPerFolder == 0) files.CreateFolder(staging.Subfolder(item.File));
    staged.push_back(&item);
  }
  std::atomic<std::size_t> next{0};
  std::atomic<bool> failed{false};
  std::exception_ptr firstError;
  std::mutex errorLock;
  auto work = [&](TZipReader& own) {
    try {
      for (std::size_t i = next++; i < staged.size() && !failed; i = next++) {
        StopIfCancelled(cancel);
        StageEntry(files, own, staging, *staged[i], cancel);
      }
    } catch (...) {
      const std::lock_guard<std::mutex> lock(errorLock);
      if (!firstError) firstError = std::current_exception();
      failed = true;
    }
  };
  std::vector<std::thread> helpers;
  try {
    for (unsigned t = 1; t < StagingThreads(staged.size()); ++t) {
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

// What the move will do, relative to the target: the folders it makes, parents first,
// and every staged file's place. The plan's paths move into it.
TUnpackJournal PlanMove(IZipFiles& files, std::vector<TPlannedEntry>& plan, const std::u16string& target) {
  TUnpackJournal journal;
  journal.Phase = TUnpackPhase::Moving;
  const std::size_t prefix = JoinPath(target, u"").size();
  std::set<std::u16string> known;
  auto needFolder = [&](const std::u16string& folder) {
    std::vector<std::u16string> missing;
    for (std::u16string at = folder; at.size() > prefix && known.insert(at).second; at = ParentOf(at)) {
      if (files.PathKind(at) != TPathKind::None) break;
      missing.push_back(at.substr(prefix));
    }
    journal.Folders.insert(journal.Folders.end(), missing.rbegin(), missing.rend());
  };
  for (TPlannedEntry& item : plan) {
    needFolder(item.Entry->IsDirectory ? item.Target : ParentOf(item.Target));
    if (!item.Entry->IsDirectory) journal.Files.push_back({item.File, item.Target.substr(prefix)});
    std::u16string().swap(item.Target);
  }
  return journal;
}

void Unpack(IZipFiles& files, const std::u16string& archive, const std::u16string& target,
            const std::atomic<bool>* cancel) {
  TZipReader reader(archive);
  std::vector<TPlannedEntry> plan = PlanEntries(files, reader, target);
  const TStaging staging = MakeStagingFolder(files, target);
  TUnpackJournal journal;
  try {
    WriteJournal(files, staging, journal);
    StageEntries(files, reader, archive, plan, staging, cancel);
    journal = PlanMove(files, plan, target);
    plan = {};
    // The last moment a cancel is taken: once the move begins it is finished, quickly.
    StopIfCancelled(cancel);
    WriteJournal(files, staging, journal);
  } catch (...) {
    // Nothing in the target was touched yet.
    files.RemoveTree(staging.Folder());
    throw;
  }
  try {
    MoveIntoPlace(files, target, staging, journal);
  } catch (...) {
    // A file held open, a full disk: the older copies go back, as the next start would
    // put them back should this process die while doing it.
    journal.Phase = TUnpackPhase::Undoing;
    try {
      WriteJournal(files, staging, journal);
    } catch (...) {
      // Undone all the same; should that stop half-way, the next start finishes the move.
    }
    if (PutOlderCopiesBack(files, target, staging, journal)) RemoveStaging(files, staging);
    throw;
  }
  RemoveStaging(files, staging);
}

}  // namespace

void ExtractZipArchive(std::u16string_view archive, std::u16string_view targetDirectory,
                       const std::atomic<bool>* cancel) {
  ExtractZipArchive(archive, targetDirectory, PlatformZipFiles(), cancel);
}

void ExtractZipArchive(std::u16string_view archive, std::u16string_view targetDirectory, IZipFiles& files,
                       const std::atomic<bool>* cancel) {
  std::u16string reason;
  try {
    Unpack(files, std::u16string(archive), std::u16string(targetDirectory), cancel);
    return;
  } catch (const EZipError& error) {
    reason = error.Message();
  } catch (const std::bad_alloc&) {
    reason = u"out of memory";
  }
  throw EZipError(FormatText(kCannotUnpack, {archive, reason}));
}

}  // namespace cvl

namespace cvl {

void RecoverInterruptedUnpack(std::u16string_view targetDirectory) {
  RecoverInterruptedUnpack(targetDirectory, PlatformZipFiles());
}

void RecoverInterruptedUnpack(std::u16string_view targetDirectory, IZipFiles& files) {
  try {
    const std::u16string target(targetDirectory);
    for (const std::u16string& name : files.ListFolder(target)) {
      if (!name.starts_with(kStagingPrefix)) continue;
      const std::u16string folder = JoinPath(target, name);
      if (files.PathKind(folder) == TPathKind::Folder) RecoverStaging(files, target, TStaging(folder));
    }
  } catch (...) {
    // A folder that cannot be listed: nothing to put right in it now, the next start tries again.
  }
}

}  // namespace cvl
