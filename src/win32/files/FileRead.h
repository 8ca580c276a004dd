// Whole-file reads for the files the launcher keeps beside itself.
#pragma once

#include <optional>
#include <string>

namespace cvl {

// The whole file, opened shared for reading only (a writer elsewhere makes it fail);
// nullopt when there is no such file or folder. Raises EFOpenError when the file exists
// but cannot be opened or read.
std::optional<std::string> ReadWholeFile(const std::u16string& path);

}  // namespace cvl
