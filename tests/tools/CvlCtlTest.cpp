// cvlctl's section makers give what the launcher reads back, and refuse bad input.
#include <gtest/gtest.h>

#include <sstream>

#include "CvlCtl.h"
#include "core/StringCipher.h"
#include "core/Text.h"

namespace cvl {
namespace {

struct TRun {
  int Status;
  std::string Out;
  std::string Err;
};

TRun RunTool(std::vector<std::u16string> args) {
  TRun run{0, {}, {}};
  TToolIo io{[] { return std::optional<std::string>(); }, [&](const std::string& s) { run.Out += s; },
             [&](const std::string& s) { run.Err += s; }};
  run.Status = RunCvlCtl(args, io);
  return run;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

std::string Open(const std::string& sealed, std::string_view key) {
  return Utf16ToUtf8(DecryptString(WidenLatin1(sealed), key));
}

TEST(CvlCtl, MakePrePrintsTheFourProtectedEntries) {
  const TRun run = RunTool({u"make-pre", u"/connector/pre/", u"webview2.zip", u"vc2012.zip", u"vc2022.zip"});
  ASSERT_EQ(run.Status, 0) << run.Err;
  const auto lines = Lines(run.Out);
  ASSERT_EQ(lines.size(), 5u);
  EXPECT_EQ(lines[0], "[Pre]");
  EXPECT_EQ(Open(lines[1], ServerKeyText), "/connector/pre/");
  EXPECT_EQ(Open(lines[2], ServerKeyText), "webview2.zip");
  EXPECT_EQ(Open(lines[4], ServerKeyText), "vc2022.zip");
}

TEST(CvlCtl, MakeUserPrintsRecoveryAndEmailUnderTheUserKey) {
  const TRun run = RunTool({u"make-user", u"--address", u"play.example.net", u"--port", u"9000"});
  ASSERT_EQ(run.Status, 0) << run.Err;
  const auto lines = Lines(run.Out);
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0], "[User]");
  ASSERT_EQ(lines[1].rfind("recovery=", 0), 0u);
  ASSERT_EQ(lines[2].rfind("email=", 0), 0u);
  EXPECT_EQ(Open(lines[1].substr(9), UserKeyText), "play.example.net");
  EXPECT_EQ(Open(lines[2].substr(6), UserKeyText), "9000");
}

TEST(CvlCtl, BadInputGivesOneClearErrorAndStatusOne) {
  const std::vector<std::vector<std::u16string>> cases = {
      {u"make-pre", u"connector/pre/", u"a.zip", u"b.zip", u"c.zip"},  // folder without leading "/"
      {u"make-pre", u"/pre/", u"../a.zip", u"b.zip", u"c.zip"},
      {u"make-pre", u"/pre/", u"a.zip", u"b.zip"},
      {u"make-user", u"--address", u"h"},
      {u"make-user", u"--address", u"h", u"--port", u"0"},
      {u"make-user", u"--address", u"h", u"--port", u"65536"},
      {u"make-user", u"--address", u"h", u"--port", u"08080"},
      {u"make-user", u"--address", u"http://h", u"--port", u"80"},
      {u"encrypt", u"--key", u"admin", u"x"},
      {u"encrypt", u"\u0141"},
      {u"frobnicate"},
  };
  for (const auto& args : cases) {
    const TRun run = RunTool(args);
    EXPECT_EQ(run.Status, 1) << Utf16ToUtf8(args[0] + u" " + args[1]);
    EXPECT_EQ(run.Out, "");
    EXPECT_EQ(run.Err.rfind("cvlctl: ", 0), 0u) << run.Err;
  }
}

TEST(CvlCtl, EveryCommandHasHelp) {
  for (const char16_t* command : {u"encrypt", u"decrypt", u"make-pre", u"make-user"}) {
    const TRun run = RunTool({command, u"--help"});
    EXPECT_EQ(run.Status, 0);
    EXPECT_NE(run.Out.find("usage: cvlctl"), std::string::npos) << Utf16ToUtf8(command);
  }
}

}  // namespace
}  // namespace cvl
