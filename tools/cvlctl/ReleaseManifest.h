// The manifest of the last release: every file of the client folder as it was
// published, with its size and SHA-256, and the patch level it was published as. The
// release keeps it beside the settings file ("<settings>.manifest") and compares the
// next client folder against it.
//
// It is a text file, one file per line, sorted by path:
//   cvlctl release manifest 1
//   level 3
//   <sha256 hex> <size> <path>
// The path is UTF-8 with "/" between folders and runs to the end of the line (it may
// hold blanks; the names the release accepts hold no line breaks).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "Sha256Text.h"

namespace cvl {

struct TManifestFile {
  std::string Path;
  std::uint64_t Size = 0;
  TSha256Digest Sha256{};
};

struct TReleaseManifest {
  std::int32_t Level = 0;
  std::vector<TManifestFile> Files;  // sorted by Path's bytes

  const TManifestFile* Find(std::string_view path) const;
};

std::string FormatManifest(const TReleaseManifest& manifest);

// Raises EBadInput naming `name` for text that is not a manifest.
TReleaseManifest ParseManifest(std::string_view text, std::u16string_view name);

// The manifest's name for a settings file, and the one a release writes before it
// publishes (the finished release's manifest, put in place as its last step).
std::string ManifestPathFor(const std::string& settingsPath);
std::string PendingManifestPathFor(const std::string& settingsPath);

}  // namespace cvl
