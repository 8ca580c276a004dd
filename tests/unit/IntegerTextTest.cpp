#include <gtest/gtest.h>

#include "core/IntegerText.h"

namespace cvl {
namespace {

TEST(IntegerText, StandardConversion) {
  const std::pair<const char16_t*, std::optional<std::int32_t>> cases[] = {
      {u"0", 0},
      {u"42", 42},
      {u"-5", -5},
      {u"+7", 7},
      {u"  12", 12},
      {u"12 ", std::nullopt},
      {u"", std::nullopt},
      {u" ", std::nullopt},
      {u"-", std::nullopt},
      {u"true", std::nullopt},
      {u"1a", std::nullopt},
      {u"0x10", 16},
      {u"0X1f", 31},
      {u"$10", 16},
      {u"x10", 16},
      {u"-$10", -16},
      {u"0x", std::nullopt},
      {u"$", std::nullopt},
      {u"2147483647", 2147483647},
      {u"2147483648", std::nullopt},
      {u"-2147483648", -2147483647 - 1},
      {u"-2147483649", std::nullopt},
      {u"0x7FFFFFFF", 2147483647},
      {u"0x80000000", std::nullopt},
      {u"99999999999999999999", std::nullopt},
  };
  for (const auto& [text, expected] : cases) {
    EXPECT_EQ(TryStrToInt(text), expected) << std::string(text, text + std::char_traits<char16_t>::length(text));
  }
}

}  // namespace
}  // namespace cvl
