// encrypt and decrypt: one protected value at a time, with either key text.
#include <algorithm>
#include <optional>
#include <string_view>

#include "Commands.h"
#include "ToolSupport.h"
#include "core/StringCipher.h"
#include "core/Text.h"

namespace cvl {
namespace {

constexpr std::string_view kCipherUsage =
    "usage: cvlctl %s [--key server|user] TEXT\n"
    "\n"
    "  --key server   the key of server answers and [Pre] lines (default)\n"
    "  --key user     the key of the [User] entries 'recovery' and 'email'\n"
    "  TEXT           the text, or '-' to read one line from standard input\n";

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

}  // namespace

int RunEncrypt(const std::vector<std::u16string>& args, const TToolIo& io) { return RunCipher(args, io, true); }
int RunDecrypt(const std::vector<std::u16string>& args, const TToolIo& io) { return RunCipher(args, io, false); }

}  // namespace cvl
