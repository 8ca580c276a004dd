// The system's ANSI code page (CP_ACP) for text files without a byte-order mark.
#pragma once

#include "core/AnsiCodePage.h"

namespace cvl {

// Characters the code page lacks are written as its default character ("?").
class TWin32AnsiCodePage : public IAnsiCodePage {
 public:
  std::u16string Decode(std::string_view bytes) const override;
  std::string Encode(std::u16string_view text) const override;
};

}  // namespace cvl
