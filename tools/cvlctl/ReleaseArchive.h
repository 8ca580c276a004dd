// The archive of a release: the changed files of the client folder, deflated on every
// core, written in the order given, and hashed on the way.
//
// Each file is cut into blocks of 1 MiB that the threads deflate independently, each
// block primed with the 32 KiB before it and ended on a byte boundary, so that the blocks
// of a file join into one deflate stream (the way pigz works). The block size and the
// compression level are fixed, so the archive's bytes do not depend on the number of
// threads. A bounded window of blocks is in flight: memory does not grow with a file's
// size.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "Sha256Text.h"
#include "ZipWriter.h"

namespace cvl {

struct TArchiveSource {
  std::string Name;     // in the archive: UTF-8, "/" between folders
  std::string Path;     // on disk
  std::uint64_t Size = 0;  // as listed; a file that reads otherwise is refused
};

// Writes every source as one entry, in order, and returns their SHA-256 digests in the
// same order. Raises EBadInput when a file cannot be read or changes while it is read.
std::vector<TSha256Digest> WriteReleaseArchive(const std::vector<TArchiveSource>& sources, TZipWriter& zip);

// The SHA-256 digests of the files, read on every core, in the order given; each file
// must still have its listed size.
std::vector<TSha256Digest> HashFiles(const std::vector<TArchiveSource>& files);

// The threads the release's work is spread over.
unsigned WorkerThreads();

}  // namespace cvl
