// The text of an HTTP answer's body, read in the character set the answer declares.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace cvl {

// `contentType` is the Content-Type header as sent ("" when there was none). A declared
// charset decodes the body (UTF-8, UTF-16 with or without byte order, US-ASCII,
// ISO-8859-1, Windows-1252); without one, a text type (text/*, JSON, XML, JavaScript, or
// no type at all) is read as UTF-8 and any other type yields no text. An unknown
// charset yields no text too: a guess could turn the answer into something else.
std::optional<std::u16string> DecodeBodyText(std::string_view contentType, std::string_view body);

}  // namespace cvl
