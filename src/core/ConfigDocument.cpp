#include "ConfigDocument.h"

#include <algorithm>

#include "IntegerText.h"
#include "Text.h"
#include "TextEncoding.h"

namespace cvl {
namespace {

bool SameText(std::u16string_view a, std::u16string_view b) {
  return a.size() == b.size() && UpperAscii(a) == UpperAscii(b);
}

bool IsSectionHeader(std::u16string_view line) {
  return line.size() >= 2 && line.front() == u'[' && line.back() == u']';
}

// "key = value" becomes "key=value"; a line without "=" stays as it is.
std::u16string StoredLine(std::u16string_view line) {
  const std::size_t equals = line.find(u'=');
  if (equals == std::u16string_view::npos) return std::u16string(line);
  std::u16string stored(TrimControls(line.substr(0, equals)));
  stored += u'=';
  stored += TrimControls(line.substr(equals + 1));
  return stored;
}

}  // namespace

std::u16string_view TrimControls(std::u16string_view text) {
  std::size_t begin = 0;
  std::size_t end = text.size();
  while (begin < end && text[begin] <= 32) ++begin;
  while (end > begin && text[end - 1] <= 32) --end;
  return text.substr(begin, end - begin);
}

std::optional<std::int32_t> ConfigInteger(std::u16string_view text) {
  if (text.size() > 2 && text[0] == u'0' && (text[1] == u'x' || text[1] == u'X')) {
    return TryStrToInt(u"$" + std::u16string(text.substr(2)));
  }
  return TryStrToInt(text);
}

TConfigDocument TConfigDocument::Parse(std::u16string_view text) {
  TConfigDocument document;
  TSection* current = nullptr;
  for (const std::u16string& rawLine : SplitLines(text)) {
    const std::u16string_view line = TrimControls(rawLine);
    if (line.empty() || line.front() == u';') continue;
    if (IsSectionHeader(line)) {
      current = &document.FindOrAddSection(TrimControls(line.substr(1, line.size() - 2)));
    } else if (current != nullptr) {
      current->Lines.push_back(StoredLine(line));
    }
  }
  return document;
}

std::optional<std::u16string> TConfigDocument::ReadString(std::u16string_view section,
                                                          std::u16string_view key) const {
  const TSection* found = FindSection(section);
  if (found == nullptr) return std::nullopt;
  for (const std::u16string& line : found->Lines) {
    const std::size_t equals = line.find(u'=');
    if (equals != std::u16string::npos && SameText(std::u16string_view(line).substr(0, equals), key)) {
      return line.substr(equals + 1);
    }
  }
  return std::nullopt;
}

std::u16string TConfigDocument::ReadString(std::u16string_view section, std::u16string_view key,
                                           std::u16string_view defaultValue) const {
  return ReadString(section, key).value_or(std::u16string(defaultValue));
}

std::int32_t TConfigDocument::ReadInteger(std::u16string_view section, std::u16string_view key,
                                          std::int32_t defaultValue) const {
  const auto text = ReadString(section, key);
  if (!text) return defaultValue;
  return ConfigInteger(*text).value_or(defaultValue);
}

bool TConfigDocument::ReadBool(std::u16string_view section, std::u16string_view key, bool defaultValue) const {
  return ReadInteger(section, key, defaultValue ? 1 : 0) != 0;
}

std::vector<std::u16string> TConfigDocument::SectionLines(std::u16string_view section) const {
  const TSection* found = FindSection(section);
  return found == nullptr ? std::vector<std::u16string>() : found->Lines;
}

void TConfigDocument::EraseSection(std::u16string_view section) {
  std::erase_if(FSections, [&](const TSection& s) { return SameText(s.Name, section); });
}

std::u16string TConfigDocument::ToText() const {
  std::u16string text;
  for (const TSection& section : FSections) {
    text += u"[" + section.Name + u"]\r\n";
    for (const std::u16string& line : section.Lines) text += line + u"\r\n";
    text += u"\r\n";
  }
  return text;
}

const TConfigDocument::TSection* TConfigDocument::FindSection(std::u16string_view name) const {
  const auto found =
      std::find_if(FSections.begin(), FSections.end(), [&](const TSection& s) { return SameText(s.Name, name); });
  return found == FSections.end() ? nullptr : &*found;
}

TConfigDocument::TSection& TConfigDocument::FindOrAddSection(std::u16string_view name) {
  for (TSection& section : FSections) {
    if (SameText(section.Name, name)) return section;
  }
  FSections.push_back({std::u16string(name), {}});
  return FSections.back();
}

}  // namespace cvl
