// The Windows test for ZIP extraction's "no writing through a link" rule.
#pragma once

#include <filesystem>

namespace cvl {

// True for a symbolic link, junction or any other reparse point; pass it to
// ExtractZipArchive (core/ZipExtract.h) so entries never pass through one.
bool IsReparsePoint(const std::filesystem::path& path);

}  // namespace cvl
