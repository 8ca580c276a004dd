#include <gtest/gtest.h>

#include "core/Text.h"

namespace cvl {
namespace {

TEST(Text, Latin1NarrowingKeepsTheLowByte) {
  EXPECT_EQ(NarrowLatin1(u"A\u00e9\u0141"), std::string("A\xE9\x41"));
  EXPECT_EQ(WidenLatin1("\xE9\xFF"), u"\u00e9\u00ff");
}

TEST(Text, Utf8RoundTripAndReplacement) {
  const std::u16string text = u"a\u00e9\u20ac\U0001F600";
  EXPECT_EQ(Utf8ToUtf16(Utf16ToUtf8(text)), text);
  EXPECT_EQ(Utf8ToUtf16("a\xFF" "b"), u"a\uFFFDb");
  EXPECT_EQ(Utf8ToUtf16("\xE2\x82"), u"\uFFFD");  // cut short
  EXPECT_EQ(Utf8ToUtf16("\xC0\xAF"), u"\uFFFD");  // overlong
  EXPECT_EQ(Utf16ToUtf8(std::u16string(1, 0xD800)), "\xEF\xBF\xBD");
}

TEST(Text, FormatText) {
  const std::tuple<std::u16string, std::u16string> cases[] = {
      {FormatText(u"Cannot open file \"%s\". %s", {u"C:\\a.cfg", u"Access denied."}),
       u"Cannot open file \"C:\\a.cfg\". Access denied."},
      {FormatText(u"Conversion from %0:s to %1:s is not supported", {u"Object", u"string"}),
       u"Conversion from Object to string is not supported"},
      {FormatText(u"Code: %d. 100%%", {u"5"}), u"Code: 5. 100%"},
      {FormatText(u"%s and %s", {u"one"}), u"one and %s"},
  };
  for (const auto& [got, expected] : cases) EXPECT_EQ(got, expected);
}

TEST(Text, UpperAsciiOnly) { EXPECT_EQ(UpperAscii(u"/autolaunch\u00e9z"), u"/AUTOLAUNCH\u00e9Z"); }

}  // namespace
}  // namespace cvl
