#include "ToolSupport.h"

#include <algorithm>

#include "core/StringCipher.h"
#include "core/ZipFiles.h"
#include "core/Text.h"

namespace cvl {

bool WantsHelp(const std::vector<std::u16string>& args) {
  return std::any_of(args.begin() + (args.empty() ? 0 : 1), args.end(),
                     [](const std::u16string& a) { return a == u"--help" || a == u"-h"; });
}

void RequireLatin1(std::u16string_view text, std::u16string_view what) {
  if (std::any_of(text.begin(), text.end(), [](char16_t c) { return c > 0xFF; })) {
    throw EBadInput(std::u16string(what) + u" holds a character outside ISO 8859-1; protected values cannot carry it");
  }
}

std::string Sealed(std::u16string_view text, std::string_view keyText) {
  return NarrowLatin1(EncryptString(text, keyText));
}

std::u16string Quoted(std::u16string_view text) { return u"'" + std::u16string(text) + u"'"; }

std::u16string SectionHeader(std::u16string_view section) { return u"[" + std::u16string(section) + u"]"; }

std::u16string BaseName(std::u16string_view path) {
  const auto last = std::find_if(path.rbegin(), path.rend(), [](char16_t c) { return IsPathSeparator(c); });
  return std::u16string(last.base(), path.end());
}

std::string ArgumentUtf8(std::u16string_view argument) {
#ifdef _WIN32
  return Utf16ToUtf8(argument);
#else
  return NarrowLatin1(argument);
#endif
}

}  // namespace cvl
