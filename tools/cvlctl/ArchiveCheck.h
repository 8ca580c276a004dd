// An archive on the server as the launcher's extractor meets it, checked without
// unpacking: the core's ZIP reader opens it and inflates every entry against its CRC-32,
// the core's name checks judge every entry's path, and what an operator's archiver adds
// by mistake is found too.
#pragma once

#include <string>
#include <vector>

namespace cvl {

struct TArchiveReport {
  // One line for each thing the launcher would refuse or get wrong.
  std::vector<std::u16string> Faults;
  // The files at the archive's top, as the extractor names them.
  std::vector<std::u16string> TopFiles;
};

TArchiveReport CheckArchive(const std::string& path);

}  // namespace cvl
