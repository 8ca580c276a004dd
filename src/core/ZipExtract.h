// Unpacking a downloaded ZIP archive into the client folder: the whole archive or
// nothing, even when the process dies half-way. Every entry is inflated and checked into
// a staging folder inside the target first; only when all are good are they moved into
// place, replacing older copies, and a failure while moving puts the older copies back.
// A journal in the staging folder lets the next start finish or undo a move that a
// killed process left half-done (see UnpackStaging.h).
#pragma once

#include <atomic>
#include <string_view>

#include "ZipFiles.h"
#include "ZipReader.h"

namespace cvl {

// Unpacks `archive` into `targetDirectory` ("/" or "\" as separators inside the archive,
// missing folders created, existing files replaced). Raises EZipError ("Cannot unpack
// <archive>: <reason>") for an archive that is damaged, hostile (see SafeEntryPath; also
// link entries and paths through links on disk: symbolic links, junctions and other
// reparse points), larger than the free space, or that cannot be written; the target is
// then as it was. Memory stays bounded whatever the archive's size: entries are streamed.
// `cancel`, when given, may be set from another thread: until the move into place begins
// the unpack then stops with EZipError and leaves the target as it was; a move already
// begun is finished.
void ExtractZipArchive(std::u16string_view archive, std::u16string_view targetDirectory,
                       const std::atomic<bool>* cancel = nullptr);
void ExtractZipArchive(std::u16string_view archive, std::u16string_view targetDirectory, IZipFiles& files,
                       const std::atomic<bool>* cancel = nullptr);

// Finds what interrupted unpacks left in `targetDirectory` (their staging folders) and
// puts it right: a fully staged archive is moved into place, anything less is undone,
// and the staging folders are removed. Runs before anything else touches the folder;
// never raises (what cannot be put right now stays for the next start, nothing lost).
void RecoverInterruptedUnpack(std::u16string_view targetDirectory);
void RecoverInterruptedUnpack(std::u16string_view targetDirectory, IZipFiles& files);

}  // namespace cvl
