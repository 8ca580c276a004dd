// The operator's command-line kit, independent of how the process gets its arguments
// and streams.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace cvl {

// The process's streams and files, as bytes.
struct TToolIo {
  // One line of standard input without its line end; nullopt at end of input.
  std::function<std::optional<std::string>()> ReadLine;
  std::function<void(const std::string&)> Out;
  std::function<void(const std::string&)> Err;
  // The whole file; nullopt when it is missing or cannot be read.
  std::function<std::optional<std::string>(const std::u16string& path)> ReadFile;
  // Creates or replaces the file in one step; false (and the old file kept) on failure.
  std::function<bool(const std::u16string& path, const std::string& bytes)> WriteFile;
};

// Runs one command; args excludes the program name. Arguments are text: on Windows the
// wide command line, elsewhere each byte one code unit. Returns the exit status.
int RunCvlCtl(const std::vector<std::u16string>& args, const TToolIo& io);

}  // namespace cvl
