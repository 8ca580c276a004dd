// Where the launcher's requests land in the folder a web server serves (SERVER_ROOT):
// the path of a request below the server is the path of the file below the root.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace cvl {

// The file answering the info query.
std::string InfoAnswerPath(const std::string& root);

// The folder of the language patches, and the patch's name for English or Korean.
std::string LanguagePatchFolder(const std::string& root);
std::string LanguagePatchName(bool english);

// "patch_<level>.zip", as the launcher asks for it.
std::string PatchArchiveName(std::int64_t level);

// The folder that a folder of URLs (a patch list's "download_path", the folder of [Pre])
// names below `root`. Raises EBadInput, naming the value as `what`, when it is no plain
// folder path there: it must begin and end with "/", and hold only ASCII names without
// "." or "..", escapes ("%"), queries or drive letters.
std::string ServedFolderOf(const std::string& root, std::u16string_view urlFolder, std::u16string_view what);

// The same for a patch list's "download_path".
std::string PatchFolderOf(const std::string& root, std::u16string_view downloadPath);

}  // namespace cvl
