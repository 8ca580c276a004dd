// Where a ZIP entry may be written: its stored name made into a path below the target
// folder, or a refusal. An archive from the network decides nothing outside that folder.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace cvl {

// The entry name's folders and file name, "\" and "/" both taken as separators, "."
// dropped and ".." resolved. Raises EZipError for a name that is absolute, has a drive
// or a stream (":"), climbs above the target, holds control characters or characters
// Windows cannot store, or names a device (CON, NUL, COM1...). Empty for a name that
// is the target folder itself ("./").
std::vector<std::u16string> SafeEntryPath(std::u16string_view name);

}  // namespace cvl
