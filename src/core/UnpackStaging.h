// The staging folder of an unpack and its journal: what lets the next start put right
// an unpack that was killed (or failed) half-way, so that the client folder holds either
// the older files or the whole archive, never a mix, and nothing is left behind.
//
// The extractor stages every entry in a folder ".cvl-unpack-N" inside the target, then
// moves the staged files into place, setting older copies aside beside them. The journal
// in the staging folder says which phase the unpack is in: "staging" (the target is not
// touched yet), "moving" (every entry staged: the move can be finished) or "undoing"
// (the move failed: older copies go back). It is written beside and renamed over, so it
// is always whole.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ZipFiles.h"

namespace cvl {

inline constexpr std::u16string_view kStagingPrefix = u".cvl-unpack-";

// A path below `base`.
std::u16string JoinPath(std::u16string base, std::u16string_view name);

// Where things lie in a staging folder. Staged files go a few hundred to a subfolder,
// since creating files in one folder holding tens of thousands is slow, and threads
// creating in the same folder wait on each other; an older copy set aside while its
// replacement is moved into place goes beside the staged file.
class TStaging {
 public:
  static constexpr std::size_t kFilesPerFolder = 256;

  explicit TStaging(std::u16string folder) : FFolder(std::move(folder)) {}
  const std::u16string& Folder() const { return FFolder; }
  std::u16string Subfolder(std::size_t file) const;
  std::u16string StagedFile(std::size_t file) const;
  std::u16string OlderCopy(std::size_t file) const;
  std::u16string Journal() const;

 private:
  std::u16string FFolder;
};

enum class TUnpackPhase { Staging, Moving, Undoing };

struct TStagedFile {
  std::size_t Number;  // the staged file's number in the staging folder
  std::u16string Path;  // its place, relative to the target folder
};

struct TUnpackJournal {
  TUnpackPhase Phase = TUnpackPhase::Staging;
  std::vector<std::u16string> Folders;  // made by the move, relative, parents first
  std::vector<TStagedFile> Files;       // in the order they are moved
};

// Writes the journal beside and renames it over the last one, flushed first: a crash
// leaves the old journal or the new one, whole. EZipError when it cannot be written.
void WriteJournal(IZipFiles& files, const TStaging& staging, const TUnpackJournal& journal);

// The journal; nullopt when there is none. EZipError when it is damaged.
std::optional<TUnpackJournal> ReadJournal(IZipFiles& files, const TStaging& staging);

// Makes the journal's folders and moves its staged files into place, setting each older
// copy aside; steps an earlier run already made are skipped. EZipError on the first
// step that fails.
void MoveIntoPlace(IZipFiles& files, const std::u16string& target, const TStaging& staging,
                   const TUnpackJournal& journal);

// Undoes whatever part of the move was made, in reverse: placed files go back to the
// staging folder, older copies back into place, folders the move made are removed when
// empty. Each step can be repeated after a crash. True when every file is as it was
// before the move; false when a step failed (the staging folder must stay).
bool PutOlderCopiesBack(IZipFiles& files, const std::u16string& target, const TStaging& staging,
                        const TUnpackJournal& journal) noexcept;

// Removes a staging folder, its journal first: a folder without a journal holds no
// older copy that is still needed.
void RemoveStaging(IZipFiles& files, const TStaging& staging) noexcept;

// Puts right what the unpack that left `staging` in `target` did: a fully staged
// archive is moved into place (its older copies put back if that fails), anything
// else is undone, and the folder removed. A damaged journal leaves the folder as it is.
// Never raises.
void RecoverStaging(IZipFiles& files, const std::u16string& target, const TStaging& staging) noexcept;

}  // namespace cvl
