#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/DosCommandLines.h"
#include "core/Text.h"

namespace cvl {
namespace {

// Writes every reported event as one short text, in order.
class TRecorder : public ILineEvents {
 public:
  std::vector<std::string> Log;
  std::vector<std::u16string> Lines;
  std::vector<std::u16string> Output;  // the live mirror, as the runner keeps it
  std::u16string Chars;
  int NewOutputs = 0;

  void NewChar(char16_t c) override { Chars.push_back(c); }
  void LinesAdd(const std::u16string& line) override { Lines.push_back(line); }
  void NewLine(const std::u16string& text, TOutputType type) override {
    Log.push_back((type == otEntireLine ? "E:" : "B:") + Utf16ToUtf8(text));
  }
  void OutputAppend(const std::u16string& text) override { Output.push_back(text); }
  void OutputReplaceLast(const std::u16string& text) override { Output.back() = text; }
  void NewOutput() override { ++NewOutputs; }
};

struct TPiecesCase {
  const char* name;
  std::vector<std::u16string> pieces;
  std::vector<std::u16string> lines;  // Lines after the end of the run
  std::vector<std::string> log;       // OnNewLine, in order
};

TEST(DosCommandLines, AssemblesPiecesIntoLines) {
  const TPiecesCase cases[] = {
      {"three pieces", {u"ab", u"c\r", u"\nd"}, {u"abc", u"d"}, {"B:ab", "E:abc", "B:d", "E:d"}},
      {"two then two with CR LF", {u"ab", u"cd\r\n"}, {u"abcd"}, {"B:ab", "E:abcd"}},
      {"CR alone", {u"a\rb\r"}, {u"a", u"b"}, {"E:a", "E:b"}},
      {"LF alone", {u"a\nb\n"}, {u"a", u"b"}, {"E:a", "E:b"}},
      {"CR LF", {u"a\r\nb\r\n"}, {u"a", u"b"}, {"E:a", "E:b"}},
      {"LF CR ends two lines", {u"a\n\rb\n"}, {u"a", u"", u"b"}, {"E:a", "E:", "E:b"}},
      {"two breaks give an empty line", {u"a\n\nb"}, {u"a", u"", u"b"}, {"E:a", "E:", "B:b", "E:b"}},
      {"CR LF across pieces", {u"a\r", u"\nb\r", u"\n"}, {u"a", u"b"}, {"E:a", "E:b"}},
      {"NUL is never part of a line", {std::u16string(u"a\0b\r\n", 5), std::u16string(1, u'\0')}, {u"ab"}, {"E:ab"}},
      {"no final line break", {u"x\r\nlast"}, {u"x", u"last"}, {"E:x", "B:last", "E:last"}},
      {"empty piece", {u"", u"a"}, {u"a"}, {"B:a", "E:a"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TRecorder rec;
    TLineAssembler assembler(rec, true, true);
    for (const auto& piece : c.pieces) assembler.DoReadLine(piece, nullptr);
    assembler.FinishPending();
    EXPECT_EQ(rec.Lines, c.lines);
    EXPECT_EQ(rec.Log, c.log);
    // The live mirror ends up holding exactly the lines; every character was reported.
    EXPECT_EQ(rec.Output, c.lines);
    std::u16string all;
    for (const auto& piece : c.pieces) all += piece;
    EXPECT_EQ(rec.Chars, all);
  }
}

TEST(DosCommandLines, OnlyLineBreaksCountAsOutput) {
  TRecorder rec;
  TLineAssembler assembler(rec, false, false);
  assembler.DoReadLine(u"no break yet", nullptr);
  EXPECT_EQ(rec.NewOutputs, 0);
  assembler.DoReadLine(u"\r\n\r\n", nullptr);
  EXPECT_EQ(rec.NewOutputs, 2);
  EXPECT_TRUE(rec.Output.empty());  // no OutputLines in this run
  EXPECT_TRUE(rec.Chars.empty());   // OnNewChar not bound
}

TEST(DosCommandLines, StopDropsTheRestOfThePiece) {
  TRecorder rec;
  TLineAssembler assembler(rec, false, false);
  assembler.DoReadLine(u"ab", nullptr);
  int asked = 0;
  assembler.DoReadLine(u"c\rdef", [&] { return ++asked > 2; });  // stop before 'd'
  EXPECT_EQ(rec.Lines, std::vector<std::u16string>{u"abc"});
  // The unfinished line keeps its value from before the piece.
  EXPECT_EQ(assembler.Pending(), u"ab");
}

struct TEchoCase {
  const char* name;
  std::u16string outputBefore;
  std::u16string written;
  std::vector<std::u16string> output;
  std::string echo;
};

TEST(DosCommandLines, InputEchoJoinsTheUnfinishedLine) {
  const TEchoCase cases[] = {
      {"prompt shown", u"Name: ", u"Bob\r\n", {u"Name: Bob\r\n"}, "E:Name: Bob\r\n"},
      {"no prompt", u"", u"Bob\r\n", {u"Bob\r\n"}, "E:Bob\r\n"},
      {"after a whole line", u"hello\r\n", u"x", {u"hello", u"x"}, "E:x"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TRecorder rec;
    TLineAssembler assembler(rec, true, false);
    assembler.DoReadLine(c.outputBefore, nullptr);
    const auto linesBefore = rec.Lines;
    assembler.EchoInput(c.written);
    EXPECT_EQ(rec.Output, c.output);
    EXPECT_EQ(rec.Log.back(), c.echo);
    EXPECT_EQ(rec.Lines, linesBefore);  // echo never goes into Lines
    EXPECT_TRUE(assembler.Pending().empty());
    // Output after the echo starts a new entry.
    assembler.DoReadLine(u"more", nullptr);
    EXPECT_EQ(rec.Output.back(), u"more");
    EXPECT_EQ(rec.Output.size(), c.output.size() + 1);
  }
}

TEST(DosCommandLines, InputEntries) {
  const struct {
    std::u16string value;
    bool eol;
    std::u16string written;
  } cases[] = {
      {u"Bob", true, u"Bob\r\n"},
      {u"Bob", false, u"Bob"},
      {u"", true, u"\r\n"},
      {u"", false, u""},  // nothing is written
      {u"_x", false, u"_x"},
      {u" lead", true, u" lead\r\n"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(InputEntryText(MakeInputEntry(c.value, c.eol)), c.written) << Utf16ToUtf8(c.value) << c.eol;
  }
  EXPECT_EQ(InputEntryText(u""), u"");
}

TEST(DosCommandLines, IncompleteMultiByteTail) {
  // Shift-JIS style lead bytes: 0x81-0x9F and 0xE0-0xFC.
  const auto sjisLead = [](unsigned char b) { return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC); };
  const struct {
    std::string bytes;
    std::size_t utf8;
  } cases[] = {
      {"", 0},
      {"abc", 0},
      {"a\xc3", 1},              // a two-byte sequence cut after one
      {"a\xc3\xa9", 0},          // complete
      {"\xa9", 0},               // a stray continuation byte starts nothing
      {"x\xe2\x82", 2},          // the euro sign cut after two bytes
      {"x\xe2\x82\xac", 0},      // the euro sign, complete
      {"\xf0\x9f\x98", 3},       // a four-byte sequence cut after three
      {"\xf0\x9f\x98\x80", 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.bytes));
    EXPECT_EQ(IncompleteUtf8Tail(c.bytes), c.utf8);
  }
  EXPECT_EQ(IncompleteDbcsTail("a\x82", sjisLead), 1u);
  EXPECT_EQ(IncompleteDbcsTail("a\x82\xa0", sjisLead), 0u);
  EXPECT_EQ(IncompleteDbcsTail("\x82\x82\x82", sjisLead), 1u);
  EXPECT_EQ(IncompleteDbcsTail("\x82\x82", sjisLead), 0u);
  EXPECT_EQ(IncompleteDbcsTail("abc", sjisLead), 0u);
}

}  // namespace
}  // namespace cvl
