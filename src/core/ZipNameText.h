// The text of a ZIP entry's stored name.
#pragma once

#include <string>
#include <string_view>

namespace cvl {

// UTF-8 when the entry says so, else the archive format's own code page 437.
std::u16string DecodeZipName(std::string_view raw, bool utf8);

}  // namespace cvl
