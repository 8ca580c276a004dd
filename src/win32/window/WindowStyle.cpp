#include "win32/window/WindowStyle.h"

#include <string_view>

#include "core/Text.h"
#include "win32/base/WinText.h"
#include "win32/files/Resources.h"

namespace cvl {

namespace {

TVisualStyle& ActiveStyle() {
  static TVisualStyle style{u"Windows", ::GetSysColor(COLOR_BTNFACE), ::GetSysColor(COLOR_WINDOWTEXT),
                            ::GetSysColor(COLOR_WINDOW),  ::GetSysColor(COLOR_WINDOWTEXT),
                            ::GetSysColor(COLOR_BTNFACE), ::GetSysColor(COLOR_BTNTEXT)};
  return style;
}

std::optional<COLORREF> ParseColour(std::string_view value) {
  if (value.size() != 7 || value[0] != '#') return std::nullopt;
  unsigned rgb = 0;
  for (std::size_t i = 1; i < value.size(); ++i) {
    const char c = value[i];
    const int digit = c >= '0' && c <= '9' ? c - '0' : c >= 'A' && c <= 'F' ? c - 'A' + 10
                      : c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
    if (digit < 0) return std::nullopt;
    rgb = rgb * 16 + static_cast<unsigned>(digit);
  }
  return RGB((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF);
}

std::string_view Trim(std::string_view text) {
  const auto first = text.find_first_not_of(" \t\r");
  const auto last = text.find_last_not_of(" \t\r");
  return first == std::string_view::npos ? std::string_view() : text.substr(first, last - first + 1);
}

}  // namespace

TVisualStyle ParseVisualStyle(const std::string& text) {
  TVisualStyle style;
  std::string_view rest = text;
  while (!rest.empty()) {
    const auto end = rest.find('\n');
    const std::string_view line = rest.substr(0, end);
    rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
    const auto equals = line.find('=');
    if (Trim(line).starts_with(';') || equals == std::string_view::npos) continue;
    const std::string_view key = Trim(line.substr(0, equals));
    const std::string_view value = Trim(line.substr(equals + 1));
    if (key == "Name") {
      style.Name = WidenLatin1(value);
      continue;
    }
    const auto colour = ParseColour(value);
    if (!colour) continue;
    if (key == "Window") style.Window = *colour;
    else if (key == "WindowText") style.WindowText = *colour;
    else if (key == "Edit") style.Edit = *colour;
    else if (key == "EditText") style.EditText = *colour;
    else if (key == "Button") style.Button = *colour;
    else if (key == "ButtonText") style.ButtonText = *colour;
  }
  return style;
}

std::optional<TVisualStyle> FindVisualStyle(const std::u16string& name) {
  const std::wstring wideName = ToWide(name);
  if (name.empty() || !ResourceExists(wideName.c_str(), ResourceTypeStyle)) return std::nullopt;
  return ParseVisualStyle(LoadResourceBytes(wideName.c_str(), ResourceTypeStyle));
}

bool TrySetVisualStyle(const std::u16string& name) {
  auto style = FindVisualStyle(name);
  if (!style) return false;
  ActiveStyle() = std::move(*style);
  return true;
}

const TVisualStyle& ActiveVisualStyle() { return ActiveStyle(); }

}  // namespace cvl
