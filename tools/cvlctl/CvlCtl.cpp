#include "CvlCtl.h"

#include <algorithm>
#include <map>
#include <string_view>

#include "core/Exception.h"
#include "core/IntegerText.h"
#include "core/StringCipher.h"
#include "core/Text.h"

namespace cvl {
namespace {

constexpr std::string_view kUsage =
    "usage: cvlctl COMMAND [ARGS]\n"
    "\n"
    "commands:\n"
    "  encrypt [--key server|user] TEXT   print the protected form of TEXT\n"
    "  decrypt [--key server|user] TEXT   print the text a protected value holds\n"
    "  make-pre FOLDER WEBVIEW2 RUNTIME1 RUNTIME2\n"
    "                                     print a ready [Pre] section\n"
    "  make-user --address A --port P     print a ready [User] section\n"
    "\n"
    "TEXT '-' reads one line from standard input. Texts are ISO 8859-1.\n"
    "Run 'cvlctl COMMAND --help' for one command.\n";

constexpr std::string_view kCipherUsage =
    "usage: cvlctl %s [--key server|user] TEXT\n"
    "\n"
    "  --key server   the key of server answers and [Pre] lines (default)\n"
    "  --key user     the key of the [User] entries 'recovery' and 'email'\n"
    "  TEXT           the text, or '-' to read one line from standard input\n";

class EUsage : public Exception {
 public:
  explicit EUsage(std::u16string message) : Exception("EUsage", std::move(message)) {}
};

std::string Ascii(std::u16string_view text) { return Utf16ToUtf8(text); }

struct TCipherArgs {
  std::string_view KeyText = ServerKeyText;
  std::u16string Text;
  bool Help = false;
};

TCipherArgs ParseCipherArgs(const std::vector<std::u16string>& args, const TToolIo& io) {
  TCipherArgs parsed;
  std::optional<std::u16string> text;
  for (std::size_t i = 1; i < args.size(); ++i) {
    const std::u16string& a = args[i];
    if (a == u"--help" || a == u"-h") {
      parsed.Help = true;
      return parsed;
    }
    if (a == u"--key") {
      if (i + 1 >= args.size()) throw EUsage(u"--key needs a value: server or user");
      const std::u16string& which = args[++i];
      if (which == u"server") {
        parsed.KeyText = ServerKeyText;
      } else if (which == u"user") {
        parsed.KeyText = UserKeyText;
      } else {
        throw EUsage(u"unknown key '" + which + u"': use server or user");
      }
      continue;
    }
    if (a.size() > 1 && a[0] == u'-' && a != u"-") {
      throw EUsage(u"unknown option '" + a + u"'");
    }
    if (text) throw EUsage(u"more than one TEXT given");
    text = a;
  }
  if (!text) throw EUsage(u"TEXT is missing");
  if (*text == u"-") {
    const auto line = io.ReadLine();
    if (!line) throw EUsage(u"no line on standard input");
    text = WidenLatin1(*line);
  }
  const auto outside = std::find_if(text->begin(), text->end(), [](char16_t c) { return c > 0xFF; });
  if (outside != text->end()) {
    throw EUsage(u"TEXT holds a character outside ISO 8859-1; protected values cannot carry it");
  }
  parsed.Text = std::move(*text);
  return parsed;
}

int RunCipher(const std::vector<std::u16string>& args, const TToolIo& io, bool encrypt) {
  const std::string name = encrypt ? "encrypt" : "decrypt";
  const TCipherArgs parsed = ParseCipherArgs(args, io);
  if (parsed.Help) {
    io.Out(Ascii(FormatText(Utf8ToUtf16(kCipherUsage), {Utf8ToUtf16(name)})));
    return 0;
  }
  if (encrypt) {
    io.Out(NarrowLatin1(EncryptString(parsed.Text, parsed.KeyText)) + "\n");
    return 0;
  }
  try {
    io.Out(NarrowLatin1(DecryptString(parsed.Text, parsed.KeyText)) + "\n");
  } catch (const EDecryptError& e) {
    const std::string key = parsed.KeyText == UserKeyText ? "user" : "server";
    io.Err("cvlctl: the text does not decrypt with the " + key + " key (" + e.what() + ")\n");
    return 1;
  }
  return 0;
}

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

bool WantsHelp(const std::vector<std::u16string>& args) {
  return std::any_of(args.begin() + 1, args.end(), [](const std::u16string& a) { return a == u"--help" || a == u"-h"; });
}

void RequireLatin1(const std::u16string& text, std::u16string_view what) {
  if (std::any_of(text.begin(), text.end(), [](char16_t c) { return c > 0xFF; })) {
    throw EUsage(std::u16string(what) + u" holds a character outside ISO 8859-1");
  }
}

std::string Sealed(const std::u16string& text, std::string_view key) { return NarrowLatin1(EncryptString(text, key)); }

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
  std::string out = "[Pre]\n";
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
  io.Out("[User]\nrecovery=" + Sealed(*address, UserKeyText) + "\nemail=" + Sealed(*port, UserKeyText) + "\n");
  return 0;
}

}  // namespace

int RunCvlCtl(const std::vector<std::u16string>& args, const TToolIo& io) {
  if (args.empty() || args[0] == u"--help" || args[0] == u"-h" || args[0] == u"help") {
    io.Out(std::string(kUsage));
    return args.empty() ? 1 : 0;
  }
  try {
    if (args[0] == u"encrypt") return RunCipher(args, io, true);
    if (args[0] == u"decrypt") return RunCipher(args, io, false);
    if (args[0] == u"make-pre") return RunMakePre(args, io);
    if (args[0] == u"make-user") return RunMakeUser(args, io);
    throw EUsage(u"unknown command '" + args[0] + u"'");
  } catch (const EUsage& e) {
    io.Err("cvlctl: " + std::string(e.what()) + "\n");
    io.Err("Run 'cvlctl --help' for usage.\n");
    return 1;
  }
}

}  // namespace cvl
