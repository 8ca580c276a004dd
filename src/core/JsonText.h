// Reading members of the server's JSON answers as text.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

#include "Exception.h"

namespace cvl {

// A JSON member that is missing or cannot be read as text.
class EJSONException : public Exception {
 public:
  explicit EJSONException(std::u16string message) : Exception("EJSONException", std::move(message)) {}
};

// Parses text that holds exactly one JSON value, white space around it allowed; nullopt
// for anything else (nothing, two values, trailing garbage, invalid JSON).
std::optional<nlohmann::json> ParseJsonText(std::u16string_view text);

// The member `name` of `value` as text: a string's text, a number's digits, "true" or
// "false", "" for null. Raises EJSONException when the member is missing (or `value` is
// no object) and when it is an object or an array.
std::u16string GetJsonString(const nlohmann::json& value, std::u16string_view name);

}  // namespace cvl
