// A client folder as the launcher would receive it: every file's path relative to the
// folder (UTF-8, "/" between folders, sorted by its bytes, the archive's order) and its
// size, and everything that would keep the launcher from applying it whole.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace cvl {

struct TClientFile {
  std::string Path;
  std::uint64_t Size = 0;
};

struct TClientFolder {
  std::vector<TClientFile> Files;
  // One line for each thing the release refuses: a link or junction, something that is
  // neither file nor folder, a name that is no valid text, that the launcher's extractor
  // refuses or that Windows would change, two names that are one on Windows, and a path
  // too long for Windows once the player's client folder stands in front of it.
  std::vector<std::u16string> Refusals;
};

// Windows' limit for a path (MAX_PATH without its terminating zero), and the room left
// for the player's client folder in front of a path of the release ("C:\Program Files
// (x86)\...\" and the like): a path of the client folder may be this long at most.
inline constexpr std::size_t kWindowsMaxPath = 259;
inline constexpr std::size_t kClientFolderRoom = 60;
inline constexpr std::size_t kMaxReleasePath = kWindowsMaxPath - kClientFolderRoom;

// Raises EBadInput when `folder` is no folder or cannot be read.
TClientFolder ScanClientFolder(const std::string& folder);

}  // namespace cvl
