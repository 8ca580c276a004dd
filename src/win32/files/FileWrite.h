// Whole-file writes that never leave a truncated or empty file behind: the new content
// goes into a file beside the old one, which is then replaced in one step.
#pragma once

#include <string>
#include <string_view>

namespace cvl {

// Creates or replaces the file with exactly these bytes. On any failure (no access, a
// read-only file or folder, a full disk) the old file stays as it was, the file beside
// it is removed, and EFCreateError names the path and the system's reason.
void WriteFileAtomically(const std::u16string& path, std::string_view bytes);

}  // namespace cvl
