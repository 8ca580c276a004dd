// A file written beside its final name and moved over it only when complete, so a reader
// of the final name meets the old file or the whole new one, never a part.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "ReleaseFiles.h"

namespace cvl {

class TStagedFile {
 public:
  // Starts "<target>.cvlctl-tmp", replacing any left there by an interrupted run.
  explicit TStagedFile(std::string target);
  // Removes the temporary file unless it was put in place.
  ~TStagedFile();
  TStagedFile(const TStagedFile&) = delete;
  TStagedFile& operator=(const TStagedFile&) = delete;

  void Write(std::string_view bytes);
  // Overwrites bytes written before (an archive's headers once its sizes are known).
  void WriteAt(std::uint64_t offset, std::string_view bytes);
  std::uint64_t Position() const { return FPosition; }

  // Writes everything through to the disk and closes the file, still beside the target.
  void Finish();
  // Moves the finished file over the target.
  void PutInPlace();

  const std::string& Target() const { return FTarget; }
  const std::string& TemporaryPath() const { return FTemporary; }

  // The temporary name used for `target`: the target's with StagedFileSuffix().
  static std::string TemporaryPathOf(const std::string& target);

 private:
  void Flush();
  void Put(std::uint64_t offset, std::string_view bytes);

  std::string FTarget;
  std::string FTemporary;
  TOsFile FFile;
  std::string FBuffer;
  std::uint64_t FBufferStart = 0;
  std::uint64_t FPosition = 0;
  bool FFinished = false;
  bool FInPlace = false;
};

std::string StagedFileSuffix();

// Writes `bytes` to `target` through a staged file.
void ReplaceFileContent(const std::string& target, std::string_view bytes);

}  // namespace cvl
