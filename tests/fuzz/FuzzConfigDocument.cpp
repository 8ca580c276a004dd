// Any bytes read as "CVLauncher.cfg": the tidy rewrite reads back to itself, so a file
// the launcher rewrote is never changed again by the next start, and it survives its
// own encoding.
#include <cstddef>
#include <cstdint>
#include <string>

#include "core/AnsiCodePage.h"
#include "core/ConfigDocument.h"
#include "core/TextEncoding.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const cvl::TWindows1252CodePage ansi;
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  const cvl::TDecodedText decoded = cvl::DecodeText(bytes, ansi);
  cvl::TConfigDocument config = cvl::TConfigDocument::Parse(decoded.Text);
  config.ReadInteger(u"Options", u"PatchVersion", 0);
  config.EraseSection(u"Pre");
  const std::u16string tidy = config.ToText();
  if (cvl::TConfigDocument::Parse(tidy).ToText() != tidy) __builtin_trap();
  // UTF-8 turns broken sequences into U+FFFD once; the other encodings keep every unit.
  if (decoded.Encoding != cvl::TTextEncoding::Utf8) {
    const std::string written = cvl::EncodeText(tidy, decoded.Encoding, ansi);
    if (cvl::DecodeText(written, ansi).Text != tidy) __builtin_trap();
  }
  return 0;
}
