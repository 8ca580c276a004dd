// Base64 of RFC 4648 (standard alphabet, "=" padding, no line breaks), with the
// launcher's lenient decoder.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace cvl {

std::string Base64Encode(std::string_view bytes);

// Never fails. Only whole groups of four characters are decoded; trailing 1 to 3
// characters are ignored. "=" is a marker that shortens its own group only, wherever the
// group stands. A character outside the alphabet is neither skipped nor rejected: it
// keeps its place and counts as 0.
std::string Base64Decode(std::string_view text);

// The strict reading, for key files: whole groups of four, "=" only as the padding of
// the last group, unused bits zero, nothing outside the alphabet; nullopt otherwise.
std::optional<std::string> Base64DecodeStrict(std::string_view text);

}  // namespace cvl
