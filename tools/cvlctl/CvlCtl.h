// The operator's command-line kit, independent of how the process gets its arguments
// and streams.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace cvl {

class IByteStream;

enum class TCreateResult { Created, Exists, Failed };

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
  // The file for reading front to back in pieces; nullptr when it cannot be opened.
  std::function<std::unique_ptr<IByteStream>(const std::u16string& path)> OpenRead;
  // Creates a file that must not exist yet; ownerOnly makes it readable by its owner
  // alone where the platform's file modes say so (mode 0600). On failure nothing is left.
  std::function<TCreateResult(const std::u16string& path, const std::string& bytes, bool ownerOnly)> CreateNewFile;
  std::function<void(const std::u16string& path)> RemoveFile;  // best effort
  // Makes the folder and its parents; false when it is no folder afterwards.
  std::function<bool(const std::u16string& path)> MakeFolder;
};

// Runs one command; args excludes the program name. Arguments are text: on Windows the
// wide command line, elsewhere each byte one code unit. Returns the exit status.
int RunCvlCtl(const std::vector<std::u16string>& args, const TToolIo& io);

}  // namespace cvl
