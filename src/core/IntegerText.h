// The standard conversion of text to a signed 32-bit integer, used for configuration
// values and server answers alike.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace cvl {

// Leading blanks, an optional sign, then decimal digits, or hexadecimal digits after
// "$", "x" or "0x" (either case). Anything else, trailing blanks included, and any value
// outside the signed 32-bit range gives nullopt.
std::optional<std::int32_t> TryStrToInt(std::u16string_view text);

}  // namespace cvl
