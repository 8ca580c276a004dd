// The file-system pieces of the client launch: the per-launch temporary folder and
// the check for an existing client launcher.
#pragma once

#include <string>

namespace cvl {

// The user's temporary folder in its long form, ending in a backslash; empty when the
// platform reports none.
std::u16string LongTempPath();

// A new GUID in registry form: "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}", upper case.
std::u16string NewGuidText();

// Creates a folder with its missing parents. The path is made absolute first; a drive
// that does not exist raises "The drive cannot be found". A folder that cannot be
// created raises nothing here: the first write into it fails instead.
void ForceDirectories(const std::u16string& path);

// A file exists at the path: a folder does not count, a link counts when its target exists.
bool FileExistsFollowingLinks(const std::u16string& path);

}  // namespace cvl
