// Raising "patchVersion" in the operator's settings file without reformatting it: the
// file is the operator's, laid out and ordered as they like, so only the value's own
// bytes change.
#include <optional>
#include <utility>
#include <vector>

#include "MakeInfo.h"
#include "ToolSupport.h"
#include "core/Text.h"

namespace cvl {
namespace {

constexpr std::string_view kPatchVersion = "patchVersion";

// Just enough of JSON to find where each top-level member's value lies; the file has
// passed the strict parser (InfoAnswerOf) before.
class TMemberScanner {
 public:
  explicit TMemberScanner(std::string_view text) : FText(text) {}

  // The raw key (between its quotes) and the byte span of its value, for each member of
  // the top-level object; nullopt when the text is not laid out as expected.
  std::optional<std::vector<std::pair<std::string_view, std::pair<std::size_t, std::size_t>>>> Members() {
    std::vector<std::pair<std::string_view, std::pair<std::size_t, std::size_t>>> members;
    Blanks();
    if (!Take('{')) return std::nullopt;
    Blanks();
    if (Take('}')) return members;
    for (;;) {
      Blanks();
      const std::size_t keyStart = FAt + 1;
      if (!String()) return std::nullopt;
      const std::string_view key = FText.substr(keyStart, FAt - 1 - keyStart);
      Blanks();
      if (!Take(':')) return std::nullopt;
      Blanks();
      const std::size_t valueStart = FAt;
      if (!Value()) return std::nullopt;
      members.push_back({key, {valueStart, FAt}});
      Blanks();
      if (Take('}')) return members;
      if (!Take(',')) return std::nullopt;
    }
  }

 private:
  bool Take(char c) {
    if (FAt < FText.size() && FText[FAt] == c) {
      ++FAt;
      return true;
    }
    return false;
  }
  void Blanks() {
    while (FAt < FText.size() && (FText[FAt] == ' ' || FText[FAt] == '\t' || FText[FAt] == '\r' || FText[FAt] == '\n')) {
      ++FAt;
    }
  }
  bool String() {
    if (!Take('"')) return false;
    while (FAt < FText.size()) {
      const char c = FText[FAt++];
      if (c == '\\') {
        ++FAt;
      } else if (c == '"') {
        return true;
      }
    }
    return false;
  }
  bool Value() {
    if (FAt >= FText.size()) return false;
    if (FText[FAt] == '"') return String();
    if (FText[FAt] == '{' || FText[FAt] == '[') {
      int depth = 0;
      while (FAt < FText.size()) {
        const char c = FText[FAt];
        if (c == '"') {
          if (!String()) return false;
          continue;
        }
        ++FAt;
        if (c == '{' || c == '[') ++depth;
        if ((c == '}' || c == ']') && --depth == 0) return true;
      }
      return false;
    }
    const std::size_t start = FAt;
    while (FAt < FText.size() && FText[FAt] != ',' && FText[FAt] != '}' && FText[FAt] != ' ' && FText[FAt] != '\t' &&
           FText[FAt] != '\r' && FText[FAt] != '\n') {
      ++FAt;
    }
    return FAt > start;
  }

  std::string_view FText;
  std::size_t FAt = 0;
};

}  // namespace

std::string WithPatchVersion(const std::string& settingsBytes, std::int32_t level, std::u16string_view settingsName) {
  const auto members = TMemberScanner(settingsBytes).Members();
  if (!members) throw EBadInput(u"cannot find the members of " + std::u16string(settingsName));
  std::optional<std::pair<std::size_t, std::size_t>> span;
  for (const auto& [key, where] : *members) {
    if (key != kPatchVersion) continue;
    if (span) throw EBadInput(std::u16string(settingsName) + u" holds \"patchVersion\" twice; keep one");
    span = where;
  }
  if (!span) throw EBadInput(std::u16string(settingsName) + u" has no member written \"patchVersion\"");
  const bool text = settingsBytes[span->first] == '"';
  const std::string value = text ? "\"" + std::to_string(level) + "\"" : std::to_string(level);
  return settingsBytes.substr(0, span->first) + value + settingsBytes.substr(span->second);
}

}  // namespace cvl
