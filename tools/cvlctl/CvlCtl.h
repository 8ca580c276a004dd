// The operator's command-line kit, independent of how the process gets its arguments
// and streams.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace cvl {

// The process's streams, as bytes.
struct TToolIo {
  // One line of standard input without its line end; nullopt at end of input.
  std::function<std::optional<std::string>()> ReadLine;
  std::function<void(const std::string&)> Out;
  std::function<void(const std::string&)> Err;
};

// Runs one command; args excludes the program name. Arguments are text: on Windows the
// wide command line, elsewhere each byte one code unit. Returns the exit status.
int RunCvlCtl(const std::vector<std::u16string>& args, const TToolIo& io);

}  // namespace cvl
