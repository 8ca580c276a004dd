// The info answer of a settings file, as `make-info` writes it; `release` and
// `check-server` go through the same code.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace cvl {

// The answer's text (a JSON object of protected values, ending in a line feed) for the
// plain values in `settingsBytes`. Every value is judged by the launcher's own decoding;
// raises EBadInput naming `settingsName` or the key the launcher would stumble on.
std::string InfoAnswerOf(const std::string& settingsBytes, std::u16string_view settingsName);

// `settingsBytes` with the value of its top-level member "patchVersion" replaced by
// `level`, everything else byte for byte as it was (a string stays a string). Raises
// EBadInput when the member is not there exactly once.
std::string WithPatchVersion(const std::string& settingsBytes, std::int32_t level, std::u16string_view settingsName);

}  // namespace cvl
