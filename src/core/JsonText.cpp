#include "JsonText.h"

#include "Text.h"

namespace cvl {
namespace {

constexpr std::u16string_view kValueNotFound = u"Value '%s' not found";
constexpr std::u16string_view kConversionNotSupported = u"Conversion from %0:s to %1:s is not supported";

}  // namespace

std::optional<nlohmann::json> ParseJsonText(std::u16string_view text) {
  nlohmann::json value = nlohmann::json::parse(Utf16ToUtf8(text), nullptr, false);
  if (value.is_discarded()) return std::nullopt;
  return value;
}

std::u16string GetJsonString(const nlohmann::json& value, std::u16string_view name) {
  const std::string key = Utf16ToUtf8(name);
  const auto member = value.is_object() ? value.find(key) : value.end();
  if (!value.is_object() || member == value.end()) {
    throw EJSONException(FormatText(kValueNotFound, {name}));
  }
  switch (member->type()) {
    case nlohmann::json::value_t::string:
      return Utf8ToUtf16(member->get_ref<const std::string&>());
    case nlohmann::json::value_t::boolean:
      return member->get<bool>() ? u"true" : u"false";
    case nlohmann::json::value_t::null:
      return u"";
    case nlohmann::json::value_t::number_integer:
    case nlohmann::json::value_t::number_unsigned:
    case nlohmann::json::value_t::number_float:
      return Utf8ToUtf16(member->dump());
    default:
      throw EJSONException(FormatText(kConversionNotSupported,
                                      {member->is_array() ? u"array" : u"object", u"string"}));
  }
}

}  // namespace cvl
