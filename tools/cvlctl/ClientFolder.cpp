#include "ClientFolder.h"

#include <algorithm>
#include <map>

#include "ReleaseFiles.h"
#include "ToolSupport.h"
#include "core/Text.h"
#include "core/ZipPath.h"
#include "core/ZipReader.h"

namespace cvl {
namespace {

bool IsValidUtf8(const std::string& bytes) { return Utf16ToUtf8(Utf8ToUtf16(bytes)) == bytes; }

// Letter case as Windows' file systems ignore it, for the letters of ASCII and Latin-1
// (enough to catch the names a build tool makes; rarer scripts are left alone).
std::u16string FoldCase(std::u16string_view text) {
  std::u16string folded(text);
  for (char16_t& c : folded) {
    if ((c >= u'a' && c <= u'z') || (c >= 0xE0 && c <= 0xFE && c != 0xF7)) c = static_cast<char16_t>(c - 0x20);
  }
  return folded;
}

class TScan {
 public:
  explicit TScan(const std::string& root) : FRoot(root) {}

  TClientFolder Run() {
    const TFileKind kind = KindOfTarget(FRoot);
    if (kind != TFileKind::Folder) throw EBadInput(ShownPath(FRoot) + u" is no folder");
    std::vector<std::string> folders{""};
    while (!folders.empty()) {
      const std::string folder = std::move(folders.back());
      folders.pop_back();
      for (TFolderEntry& entry : ListFolder(folder.empty() ? FRoot : JoinPath(FRoot, folder))) {
        const std::string path = folder.empty() ? entry.Name : folder + "/" + entry.Name;
        if (!CheckName(entry, path)) continue;
        if (entry.Kind == TFileKind::Folder) {
          folders.push_back(path);
        } else {
          CheckPath(path);
          FResult.Files.push_back({path, entry.Size});
        }
      }
    }
    std::sort(FResult.Files.begin(), FResult.Files.end(),
              [](const TClientFile& a, const TClientFile& b) { return a.Path < b.Path; });
    CheckCaseCollisions();
    return std::move(FResult);
  }

 private:
  void Refuse(const std::string& path, std::u16string_view why) {
    FResult.Refusals.push_back(ShownPath(path) + u": " + std::u16string(why));
  }

  // False when the entry is not looked into further.
  bool CheckName(const TFolderEntry& entry, const std::string& path) {
    if (entry.Kind == TFileKind::Link) {
      Refuse(path, u"a symbolic link or junction; the launcher never writes through one (copy what it points to)");
      return false;
    }
    if (entry.Kind == TFileKind::Other) {
      Refuse(path, u"neither a file nor a folder");
      return false;
    }
    if (!entry.ValidText || !IsValidUtf8(entry.Name)) {
      Refuse(path, u"the name is no valid Unicode text");
      return false;
    }
    const std::u16string name = Utf8ToUtf16(entry.Name);
    try {
      if (SafeEntryPath(name) != std::vector<std::u16string>{name}) {
        Refuse(path, u"the launcher's extractor would read this name as another");
      }
    } catch (const EZipError& error) {
      Refuse(path, u"the launcher's extractor refuses the name: " + error.Message());
    }
    if (name.back() == u'.' || name.back() == u' ') {
      Refuse(path, u"the name ends in a dot or blank, which Windows drops");
    }
    return true;
  }

  void CheckPath(const std::string& path) {
    const std::size_t length = Utf8ToUtf16(path).size();
    if (length > kMaxReleasePath) {
      Refuse(path, u"the path is " + IntToText(static_cast<long long>(length)) + u" characters long; at most " +
                       IntToText(kMaxReleasePath) + u" leave room for the player's client folder within Windows' " +
                       IntToText(kWindowsMaxPath + 1) + u" (MAX_PATH)");
    }
  }

  // Two paths Windows takes for one, or a file where Windows needs a folder of the same name.
  void CheckCaseCollisions() {
    std::map<std::u16string, const std::string*> files;
    for (const TClientFile& file : FResult.Files) {
      const auto [found, added] = files.emplace(FoldCase(Utf8ToUtf16(file.Path)), &file.Path);
      if (!added) Refuse(file.Path, u"differs from " + ShownPath(*found->second) + u" only in letter case: one file on Windows");
    }
    for (const TClientFile& file : FResult.Files) {
      const std::u16string folded = FoldCase(Utf8ToUtf16(file.Path));
      for (std::size_t slash = folded.find(u'/'); slash != std::u16string::npos; slash = folded.find(u'/', slash + 1)) {
        const auto found = files.find(folded.substr(0, slash));
        if (found != files.end()) {
          Refuse(file.Path, u"needs a folder where Windows finds the file " + ShownPath(*found->second));
        }
      }
    }
  }

  std::string FRoot;
  TClientFolder FResult;
};

}  // namespace

TClientFolder ScanClientFolder(const std::string& folder) { return TScan(folder).Run(); }

}  // namespace cvl
