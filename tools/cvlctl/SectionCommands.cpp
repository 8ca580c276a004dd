// make-pre and make-user: the protected sections an operator pastes into CVLauncher.cfg.
#include <optional>
#include <string_view>

#include "Commands.h"
#include "ToolSupport.h"
#include "core/ConfigNames.h"
#include "core/IntegerText.h"
#include "core/StringCipher.h"
#include "core/Text.h"

namespace cvl {
namespace {

constexpr std::string_view kMakePreUsage =
    "usage: cvlctl make-pre FOLDER WEBVIEW2 RUNTIME1 RUNTIME2\n"
    "\n"
    "Prints the [Pre] section of CVLauncher.cfg that makes the launcher install the\n"
    "prerequisites at its next start, each line protected with the server key.\n"
    "  FOLDER     the prerequisites folder on the connector server, e.g. /connector/pre/\n"
    "  WEBVIEW2   the WebView2 runtime archive in that folder, e.g. webview2.zip\n"
    "  RUNTIME1   the first runtime package archive\n"
    "  RUNTIME2   the second runtime package archive\n"
    "Each archive holds an installer of the same name with .exe, run with /silent /install.\n";

constexpr std::string_view kMakeUserUsage =
    "usage: cvlctl make-user --address A --port P\n"
    "\n"
    "Prints the [User] section of CVLauncher.cfg that points the launcher at another\n"
    "connector server than 127.0.0.1:8080, protected with the user key.\n"
    "  --address A   host name or IP address of the connector server\n"
    "  --port P      its HTTP port, 1 to 65535\n";

}  // namespace

int RunMakePre(const std::vector<std::u16string>& args, const TToolIo& io) {
  if (WantsHelp(args)) {
    io.Out(std::string(kMakePreUsage));
    return 0;
  }
  if (args.size() != 5) throw EUsage(u"make-pre takes FOLDER WEBVIEW2 RUNTIME1 RUNTIME2");
  const std::u16string& folder = args[1];
  if (folder.size() < 1 || folder.front() != u'/' || folder.back() != u'/') {
    throw EUsage(u"FOLDER must begin and end with '/', e.g. /connector/pre/");
  }
  RequireLatin1(folder, u"FOLDER");
  const char16_t* names[] = {u"WEBVIEW2", u"RUNTIME1", u"RUNTIME2"};
  for (std::size_t i = 2; i < 5; ++i) {
    const std::u16string& file = args[i];
    if (file.empty() || file.find_first_of(u"/\\") != std::u16string::npos || file.find(u"..") != std::u16string::npos) {
      throw EUsage(std::u16string(names[i - 2]) + u" must be a bare file name in FOLDER");
    }
    RequireLatin1(file, names[i - 2]);
  }
  std::string out = NarrowLatin1(SectionHeader(PreSection)) + "\n";
  for (std::size_t i = 1; i < 5; ++i) out += Sealed(args[i], ServerKeyText) + "\n";
  io.Out(out);
  return 0;
}

int RunMakeUser(const std::vector<std::u16string>& args, const TToolIo& io) {
  if (WantsHelp(args)) {
    io.Out(std::string(kMakeUserUsage));
    return 0;
  }
  std::optional<std::u16string> address;
  std::optional<std::u16string> port;
  for (std::size_t i = 1; i < args.size(); ++i) {
    if ((args[i] == u"--address" || args[i] == u"--port") && i + 1 < args.size()) {
      (args[i] == u"--address" ? address : port) = args[i + 1];
      ++i;
    } else {
      throw EUsage(u"unexpected argument '" + args[i] + u"'");
    }
  }
  if (!address || address->empty()) throw EUsage(u"--address is missing");
  if (!port) throw EUsage(u"--port is missing");
  RequireLatin1(*address, u"the address");
  if (address->find_first_of(u" /:") != std::u16string::npos) {
    throw EUsage(u"the address is a bare host name or IP address, without scheme, port or path");
  }
  const auto number = TryStrToInt(*port);
  if (!number || *number < 1 || *number > 65535 || IntToText(*number) != *port) {
    throw EUsage(u"--port must be a decimal number from 1 to 65535");
  }
  const std::string recovery = NarrowLatin1(RecoveryKey) + "=" + Sealed(*address, UserKeyText);
  const std::string email = NarrowLatin1(EmailKey) + "=" + Sealed(*port, UserKeyText);
  io.Out(NarrowLatin1(SectionHeader(UserSection)) + "\n" + recovery + "\n" + email + "\n");
  return 0;
}

}  // namespace cvl
