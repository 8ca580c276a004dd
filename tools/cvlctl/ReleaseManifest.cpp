#include "ReleaseManifest.h"

#include <algorithm>
#include <charconv>

#include "ToolSupport.h"
#include "core/IntegerText.h"
#include "core/Text.h"

namespace cvl {
namespace {

constexpr std::string_view kHeader = "cvlctl release manifest 1";
constexpr std::string_view kLevel = "level ";

std::vector<std::string_view> Lines(std::string_view text) {
  std::vector<std::string_view> lines;
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    lines.push_back(text.substr(0, end));
    if (end == std::string_view::npos) break;
    text.remove_prefix(end + 1);
  }
  return lines;
}

}  // namespace

const TManifestFile* TReleaseManifest::Find(std::string_view path) const {
  const auto found = std::lower_bound(Files.begin(), Files.end(), path,
                                      [](const TManifestFile& file, std::string_view p) { return file.Path < p; });
  return found != Files.end() && found->Path == path ? &*found : nullptr;
}

std::string FormatManifest(const TReleaseManifest& manifest) {
  std::string text = std::string(kHeader) + "\n" + std::string(kLevel) + std::to_string(manifest.Level) + "\n";
  for (const TManifestFile& file : manifest.Files) {
    text += DigestHex(file.Sha256) + " " + std::to_string(file.Size) + " " + file.Path + "\n";
  }
  return text;
}

TReleaseManifest ParseManifest(std::string_view text, std::u16string_view name) {
  auto bad = [&](std::size_t line, std::u16string_view why) {
    return EBadInput(std::u16string(name) + u" line " + IntToText(static_cast<long long>(line)) + u": " +
                     std::u16string(why) + u" (it is the release manifest; restore it, or release with --from)");
  };
  const std::vector<std::string_view> lines = Lines(text);
  if (lines.empty() || lines[0] != kHeader) throw bad(1, u"not a release manifest");
  if (lines.size() < 2 || lines[1].substr(0, kLevel.size()) != kLevel) throw bad(2, u"no patch level");
  TReleaseManifest manifest;
  const auto level = TryStrToInt(WidenLatin1(lines[1].substr(kLevel.size())));
  if (!level || *level < 0) throw bad(2, u"no patch level");
  manifest.Level = *level;
  for (std::size_t i = 2; i < lines.size(); ++i) {
    const std::string_view line = lines[i];
    const std::size_t space1 = line.find(' ');
    const std::size_t space2 = space1 == std::string_view::npos ? space1 : line.find(' ', space1 + 1);
    if (space2 == std::string_view::npos) throw bad(i + 1, u"a line is not 'sha256 size path'");
    TManifestFile file;
    const auto digest = DigestFromHex(line.substr(0, space1));
    const std::string_view size = line.substr(space1 + 1, space2 - space1 - 1);
    const auto [end, error] = std::from_chars(size.data(), size.data() + size.size(), file.Size);
    file.Path = std::string(line.substr(space2 + 1));
    if (!digest || error != std::errc() || end != size.data() + size.size() || file.Path.empty()) {
      throw bad(i + 1, u"a line is not 'sha256 size path'");
    }
    file.Sha256 = *digest;
    if (!manifest.Files.empty() && !(manifest.Files.back().Path < file.Path)) throw bad(i + 1, u"paths out of order");
    manifest.Files.push_back(std::move(file));
  }
  return manifest;
}

std::string ManifestPathFor(const std::string& settingsPath) { return settingsPath + ".manifest"; }

std::string PendingManifestPathFor(const std::string& settingsPath) { return settingsPath + ".manifest-next"; }

}  // namespace cvl
