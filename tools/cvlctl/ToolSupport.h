// What every cvlctl command shares: the usage error, argument checks and sealing.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "core/Exception.h"

namespace cvl {

// A bad command line; the dispatcher prints it with a pointer to the usage and exits
// with status 1.
class EUsage : public Exception {
 public:
  explicit EUsage(std::u16string message) : Exception("EUsage", std::move(message)) {}
};

// Bad content in a file the command reads, or a file it cannot read or write; the
// dispatcher prints it as one line and exits with status 1.
class EBadInput : public Exception {
 public:
  explicit EBadInput(std::u16string message) : Exception("EBadInput", std::move(message)) {}
};

// "--help" or "-h" among the command's arguments (args[0] is the command).
bool WantsHelp(const std::vector<std::u16string>& args);

// Raises EBadInput naming `what` when the text holds a character outside ISO 8859-1,
// which a protected value cannot carry.
void RequireLatin1(std::u16string_view text, std::u16string_view what);

// The protected form of text, as bytes for output.
std::string Sealed(std::u16string_view text, std::string_view keyText);

// Text for a message, quoted.
std::u16string Quoted(std::u16string_view text);

// "[Section]", the line that opens a section of CVLauncher.cfg.
std::u16string SectionHeader(std::u16string_view section);

// A file argument's last part, the name without its folders.
std::u16string BaseName(std::u16string_view path);
// A name from the command line as UTF-8 bytes: on Windows the argument is UTF-16 text,
// elsewhere it holds the bytes as given.
std::string ArgumentUtf8(std::u16string_view argument);

}  // namespace cvl
