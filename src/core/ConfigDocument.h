// The configuration file as the launcher reads it at start: sections of stored lines,
// looked up by section and key without regard to letter case, and written back whole.
//
// Reading keeps only what matters: lines are trimmed of codes 0 to 32, blank lines,
// ";" comments and lines before the first section are dropped, and an entry line is
// stored as trimmed key, "=", trimmed value. A line without "=" (a [Pre] entry, whose
// Base64 may end in "=" only after the first one) is stored whole.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace cvl {

class TConfigDocument {
 public:
  static TConfigDocument Parse(std::u16string_view text);

  // The text after the first "=" of the first line whose key matches; nullopt when the
  // section or key is missing. "Key=" gives an empty text.
  std::optional<std::u16string> ReadString(std::u16string_view section, std::u16string_view key) const;
  std::u16string ReadString(std::u16string_view section, std::u16string_view key,
                            std::u16string_view defaultValue) const;
  // See ConfigInteger; a missing key or a value that does not convert gives the default.
  std::int32_t ReadInteger(std::u16string_view section, std::u16string_view key, std::int32_t defaultValue) const;
  // An integer value: non-zero is true.
  bool ReadBool(std::u16string_view section, std::u16string_view key, bool defaultValue) const;

  // Every stored line of the section, in file order; empty when there is no section.
  std::vector<std::u16string> SectionLines(std::u16string_view section) const;
  void EraseSection(std::u16string_view section);

  // Each section in order of first appearance: "[name]", its lines, one empty line;
  // every line ends in CR LF. No sections give an empty text.
  std::u16string ToText() const;

 private:
  struct TSection {
    std::u16string Name;
    std::vector<std::u16string> Lines;
  };

  const TSection* FindSection(std::u16string_view name) const;
  TSection& FindOrAddSection(std::u16string_view name);

  std::vector<TSection> FSections;
};

// A configuration integer: a text longer than two characters starting with "0x" (either
// case) is hexadecimal; otherwise the standard conversion (TryStrToInt). nullopt when
// the text does not convert.
std::optional<std::int32_t> ConfigInteger(std::u16string_view text);

// Trims leading and trailing characters with codes 0 to 32.
std::u16string_view TrimControls(std::u16string_view text);

}  // namespace cvl
