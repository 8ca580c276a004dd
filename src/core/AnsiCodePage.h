// The system's ANSI code page, for text files written without a byte-order mark.
// On Windows it is the active code page (CP_ACP, see win32/files/AnsiCodePageWin32.h); the
// native tests use Windows-1252, the usual code page of Western systems.
#pragma once

#include <string>
#include <string_view>

namespace cvl {

class IAnsiCodePage {
 public:
  virtual ~IAnsiCodePage() = default;

  virtual std::u16string Decode(std::string_view bytes) const = 0;
  // A character the code page cannot represent is written as "?".
  virtual std::string Encode(std::u16string_view text) const = 0;
};

// Windows-1252. The five bytes the code page leaves undefined (81, 8D, 8F, 90, 9D) stand
// for the control characters of the same number, as on Windows, so every byte sequence
// reads back and writes out unchanged.
class TWindows1252CodePage : public IAnsiCodePage {
 public:
  std::u16string Decode(std::string_view bytes) const override;
  std::string Encode(std::u16string_view text) const override;
};

}  // namespace cvl
