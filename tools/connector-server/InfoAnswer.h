// The information answer built from a file of plain values.
#pragma once

#include <filesystem>
#include <string>

namespace connector {

// One "key=value" per line (blank lines and lines starting with "#" are skipped); the
// answer is a JSON object in the file's order whose values are protected with the server
// key, all but "result_code", which stays plain. Raises std::runtime_error when the file
// cannot be read.
std::string InfoAnswerFromFile(const std::filesystem::path& file);

}  // namespace connector
