#include "ServerFolders.h"

#include "ReleaseFiles.h"
#include "ToolSupport.h"
#include "core/LauncherTexts.h"
#include "core/ServerInfo.h"
#include "core/Text.h"

namespace cvl {
namespace {

// A URL path ("/a/b/") below the root.
std::string Served(const std::string& root, std::u16string_view urlPath) {
  std::string path = root;
  std::size_t start = 0;
  while (start < urlPath.size()) {
    std::size_t end = urlPath.find(u'/', start);
    if (end == std::u16string_view::npos) end = urlPath.size();
    if (end > start) path = JoinPath(path, Utf16ToUtf8(urlPath.substr(start, end - start)));
    start = end + 1;
  }
  return path;
}

bool IsPlainSegment(std::u16string_view segment) {
  if (segment.empty() || segment == u"." || segment == u"..") return false;
  for (const char16_t c : segment) {
    if (c <= 0x20 || c >= 0x7F || c == u'%' || c == u'?' || c == u'#' || c == u'\\' || c == u':' || c == u'"' ||
        c == u'<' || c == u'>' || c == u'|' || c == u'*') {
      return false;
    }
  }
  return true;
}

}  // namespace

std::string InfoAnswerPath(const std::string& root) { return Served(root, ServerInfoRequest(u"").Url); }

std::string LanguagePatchFolder(const std::string& root) { return Served(root, texts::kLanguagePatchFolder); }

std::string LanguagePatchName(bool english) {
  return Utf16ToUtf8(english ? texts::kEnglishPatchFile : texts::kKoreanPatchFile);
}

std::string PatchArchiveName(std::int64_t level) {
  return Utf16ToUtf8(texts::kPatchFilePrefix + IntToText(level) + texts::kPatchFileExtension);
}

std::string PatchFolderOf(const std::string& root, std::u16string_view downloadPath) {
  return ServedFolderOf(root, downloadPath, u"\"download_path\"");
}

std::string ServedFolderOf(const std::string& root, std::u16string_view downloadPath, std::u16string_view what) {
  const std::u16string shown = std::u16string(what) + u" " + Quoted(downloadPath);
  if (downloadPath.size() < 2 || downloadPath.front() != u'/' || downloadPath.back() != u'/') {
    throw EBadInput(shown + u" names no folder under SERVER_ROOT: it must begin and end with '/', e.g. /connector/patches/");
  }
  const std::u16string_view inner = downloadPath.substr(1, downloadPath.size() - 2);
  std::size_t start = 0;
  while (start <= inner.size()) {
    std::size_t end = inner.find(u'/', start);
    if (end == std::u16string_view::npos) end = inner.size();
    if (!IsPlainSegment(inner.substr(start, end - start))) {
      throw EBadInput(shown + u" names no folder under SERVER_ROOT: use plain ASCII folder names, "
                              u"without '.', '..', '//', '%', '?' or '#'");
    }
    start = end + 1;
  }
  return Served(root, downloadPath);
}

}  // namespace cvl
