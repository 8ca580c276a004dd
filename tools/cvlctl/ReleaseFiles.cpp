#include "ReleaseFiles.h"

#include "core/Text.h"

namespace cvl {

std::string JoinPath(std::string_view folder, std::string_view name) {
  std::string path(folder);
  if (!path.empty() && path.back() != '/' && path.back() != '\\') path += '/';
  path += name;
  return path;
}

std::optional<std::string> ReadSmallFile(const std::string& path) {
  if (KindOfTarget(path) == TFileKind::Missing) return std::nullopt;
  const TOsFile file = TOsFile::OpenForReading(path);
  std::string bytes(static_cast<std::size_t>(file.Size()), '\0');
  bytes.resize(file.ReadAt(0, bytes.data(), bytes.size()));
  return bytes;
}

std::u16string ShownPath(std::string_view path) { return u"'" + Utf8ToUtf16(path) + u"'"; }

}  // namespace cvl
