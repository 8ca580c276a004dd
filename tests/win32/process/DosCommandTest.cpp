#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "ProcessTestSupport.h"
#include "core/Text.h"
#include "win32/base/ScopedHandle.h"
#include "win32/process/DosCommand.h"

namespace cvl {
namespace {

using test::ChildCommand;
using test::PumpUntil;
using TLines = std::vector<std::u16string>;

// A runner set up as the launcher's patch run: no echo, no time limits, only
// OnTerminated bound; every end is counted, and worker errors are kept instead of boxed.
class DosCommandTest : public testing::Test {
 protected:
  void SetUp() override {
    cmd.OnTerminated = [this](TDosCommand& sender) {
      EXPECT_EQ(&sender, &cmd);
      EXPECT_FALSE(sender.IsRunning());
      ++terminated;
    };
  }
  void KeepErrors() {
    cmd.OnExecuteError = [this](TDosCommand&, const Exception& e, bool& handled) {
      errors.push_back(e.ClassName() + ": " + e.what());
      handled = true;
    };
  }
  void LogLines() {
    cmd.OnNewLine = [this](TDosCommand&, const std::u16string& line, TOutputType type) {
      log.push_back((type == otEntireLine ? "E:" : "B:") + Utf16ToUtf8(line));
    };
  }
  void Run(const std::u16string& arguments) {
    const int before = terminated;
    cmd.CommandLine = ChildCommand(arguments);
    cmd.Execute();
    ASSERT_TRUE(PumpUntil([&] { return terminated > before; }));
  }

  TDosCommand cmd;
  int terminated = 0;
  std::vector<std::string> errors;
  std::vector<std::string> log;
};

TEST_F(DosCommandTest, PatchRunCollectsLinesAndEndsOnce) {
  cmd.CurrentDir = test::TempFolder();
  EXPECT_EQ(cmd.EndStatus(), esNone);
  cmd.CommandLine = ChildCommand(u"emit first\\r\\n +200 second");
  cmd.Execute();
  EXPECT_TRUE(cmd.IsRunning());
  EXPECT_EQ(cmd.EndStatus(), esStill_Active);
  try {
    cmd.Execute();
    ADD_FAILURE() << "second Execute accepted";
  } catch (const EDosCommand& e) {
    EXPECT_EQ(e.Message(), u"DosCommand still running");
  }
  ASSERT_TRUE(PumpUntil([&] { return terminated == 1; }));
  EXPECT_EQ(cmd.Lines(), (TLines{u"first", u"second"}));  // the last line had no line break
  EXPECT_EQ(cmd.EndStatus(), esProcess);
  EXPECT_EQ(cmd.ExitCode(), 0u);
  EXPECT_NE(cmd.ProcessInformation().dwProcessId, 0u);
  PumpUntil([] { return false; }, 300);
  EXPECT_EQ(terminated, 1);
}

TEST_F(DosCommandTest, UsageErrors) {
  try {
    cmd.Execute();
    ADD_FAILURE();
  } catch (const EDosCommand& e) {
    EXPECT_EQ(e.Message(), u"No Commandline to execute");
  }
  try {
    cmd.SendLine(u"x", true);
    ADD_FAILURE();
  } catch (const EDosCommand& e) {
    EXPECT_EQ(e.Message(), u"DosCommand not running");
  }
  EXPECT_EQ(terminated, 0);
  EXPECT_EQ(cmd.EndStatus(), esNone);
}

TEST_F(DosCommandTest, ThreePiecesBecomeLinesAndPartialReports) {
  LogLines();
  Run(u"emit ab +400 c\\r +400 \\nd");
  EXPECT_EQ(cmd.Lines(), (TLines{u"abc", u"d"}));
  EXPECT_EQ(log, (std::vector<std::string>{"B:ab", "E:abc", "B:d", "E:d"}));
}

TEST_F(DosCommandTest, LineBreaksNulCharactersAndTheLiveMirror) {
  LogLines();
  std::u16string chars;
  cmd.OnNewChar = [&](TDosCommand&, char16_t c) { chars.push_back(c); };
  TLines output;
  cmd.OutputLines = &output;
  Run(u"emit 1\\r2\\n3\\r\\n4\\n\\r5\\0x\\r\\n\\r\\n");
  const TLines expected{u"1", u"2", u"3", u"4", u"", u"5x", u""};
  EXPECT_EQ(cmd.Lines(), expected);
  EXPECT_EQ(output, expected);
  EXPECT_EQ(chars, std::u16string(u"1\r2\n3\r\n4\n\r5\0x\r\n\r\n", 17));  // NUL included
  EXPECT_EQ(log.size(), expected.size());
}

TEST_F(DosCommandTest, ABurstIsReadInPiecesOfAtMost1024Bytes) {
  std::vector<std::size_t> reads;
  cmd.SetOnCharDecoding([&](TDosCommand&, std::string_view bytes) {
    reads.push_back(bytes.size());  // reader thread; read after the run only
    return WidenLatin1(bytes);
  });
  Run(u"burst 3000");
  std::size_t total = 0;
  for (std::size_t size : reads) {
    EXPECT_LE(size, 1024u);
    total += size;
  }
  EXPECT_EQ(total, 3000u);
  ASSERT_EQ(cmd.Lines().size(), 30u);
  for (std::size_t i = 0; i < 30; ++i) {
    EXPECT_EQ(cmd.Lines()[i].substr(0, 4), IntToText(10000 + static_cast<long long>(i)).substr(1));
  }
}

TEST_F(DosCommandTest, AChildThatCannotBeFoundEndsWithError) {
  KeepErrors();
  cmd.CommandLine = u"no_such_program_cvl.exe";
  cmd.Execute();  // returns normally: the worker finds out
  ASSERT_TRUE(PumpUntil([&] { return terminated == 1; }));
  EXPECT_EQ(cmd.EndStatus(), esError);
  EXPECT_EQ(cmd.ExitCode(), 0u);
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_EQ(errors[0].rfind("ECreateProcessError: Error creating Process: no_such_program_cvl.exe - (", 0), 0u)
      << errors[0];
}

struct TBoxWatch {
  std::atomic<bool> Seen{false};
  std::wstring Text;
};

DWORD WINAPI WatchForBox(LPVOID parameter) {
  auto* watch = static_cast<TBoxWatch*>(parameter);
  for (int i = 0; i < 3000; ++i) {
    if (HWND box = ::FindWindowW(L"#32770", nullptr)) {
      wchar_t text[512] = {};
      // The box may still be making its text.
      if (::GetDlgItemTextW(box, 0xFFFF, text, 512) == 0) {
        ::Sleep(20);
        continue;
      }
      watch->Text = text;
      watch->Seen = true;
      ::PostMessageW(box, WM_COMMAND, IDOK, 0);
      return 0;
    }
    ::Sleep(20);
  }
  return 0;
}

TEST_F(DosCommandTest, AnUnhandledWorkerErrorIsBoxedBeforeOnTerminated) {
  cmd.CommandLine = u"no_such_program_cvl.exe";
  TBoxWatch watch;
  // Another thread reads the box and presses its button, as a user would.
  const TScopedHandle watcher(::CreateThread(nullptr, 0, &WatchForBox, &watch, 0, nullptr));
  cmd.OnTerminated = [&](TDosCommand&) {
    EXPECT_TRUE(watch.Seen);  // the box came first and was dismissed
    ++terminated;
  };
  cmd.Execute();
  ASSERT_TRUE(PumpUntil([&] { return terminated == 1; }));
  ::WaitForSingleObject(watcher.Get(), INFINITE);
  EXPECT_EQ(watch.Text.rfind(L"ECreateProcessError\r\nError creating Process: no_such_program_cvl.exe - (", 0), 0u);
}

TEST_F(DosCommandTest, ExecuteFromOnTerminatedStartsAFreshRun) {
  std::vector<TLines> seen;
  cmd.OnTerminated = [&](TDosCommand& sender) {
    seen.push_back(sender.Lines());
    ++terminated;
    if (terminated == 1) {
      sender.CommandLine = ChildCommand(u"emit second\\r\\n");
      sender.Execute();
    }
  };
  cmd.CommandLine = ChildCommand(u"emit first\\r\\n");
  cmd.Execute();
  ASSERT_TRUE(PumpUntil([&] { return terminated == 2; }));
  EXPECT_EQ(seen, (std::vector<TLines>{{u"first"}, {u"second"}}));
}

TEST_F(DosCommandTest, ExitCode259EndsTheRun) {
  Run(u"exit 259");
  EXPECT_EQ(cmd.EndStatus(), esProcess);
  EXPECT_EQ(cmd.ExitCode(), 259u);
  EXPECT_EQ(cmd.Lines(), TLines{u"bye"});
  Run(u"exit 7");
  EXPECT_EQ(cmd.ExitCode(), 7u);
}

TEST_F(DosCommandTest, TimeLimits) {
  const struct {
    const char16_t* arguments;
    int afterBeginning;
    int afterLastOutput;
    TEndStatus status;
  } cases[] = {
      {u"sleep 60000", 3, 0, esTime},
      {u"ticks 5 1000 1", 0, 2, esProcess},  // a line every second keeps it alive
      {u"ticks 60 1000 0", 0, 2, esTime},    // output without line breaks does not
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(Utf16ToUtf8(c.arguments));
    cmd.MaxTimeAfterBeginning = c.afterBeginning;
    cmd.MaxTimeAfterLastOutput = c.afterLastOutput;
    Run(c.arguments);
    EXPECT_EQ(cmd.EndStatus(), c.status);
    if (c.status == esTime) {
      EXPECT_EQ(cmd.ExitCode(), 0u);  // terminated with 0
    }
  }
}

TEST_F(DosCommandTest, StopEndsTheRunBeforeReturning) {
  LogLines();
  cmd.CommandLine = ChildCommand(u"emit started\\r\\n +60000");
  cmd.Execute();
  ASSERT_TRUE(PumpUntil([&] { return !log.empty(); }));
  cmd.Stop();
  EXPECT_EQ(terminated, 1);
  EXPECT_FALSE(cmd.IsRunning());
  EXPECT_EQ(cmd.EndStatus(), esStop);
  EXPECT_EQ(cmd.Lines(), TLines{u"started"});
  cmd.Stop();  // idle: nothing happens
  EXPECT_EQ(terminated, 1);
}

TEST_F(DosCommandTest, OnTerminateProcessMayKeepTheChild) {
  cmd.OnTerminateProcess = [](TDosCommand&, bool& canTerminate) { canTerminate = false; };
  const std::u16string folder = test::TempFolder();
  cmd.CommandLine = ChildCommand(u"startwait \"" + folder + u"a\" \"" + folder + u"b\" \"" + folder + u"c\"");
  cmd.Execute();
  ASSERT_TRUE(PumpUntil([&] { return test::FileExists(folder + u"a"); }));
  cmd.Stop();
  EXPECT_EQ(cmd.EndStatus(), esStop);
  EXPECT_EQ(cmd.ExitCode(), 259u);  // left running
  test::TouchFile(folder + u"b");
  EXPECT_TRUE(PumpUntil([&] { return test::FileExists(folder + u"c"); }));
}

TEST(DosCommandLifetime, DestroyingTheRunnerStopsTheRun) {
  int terminated = 0;
  TEndStatus status = esNone;
  {
    TDosCommand cmd;
    cmd.OnTerminated = [&](TDosCommand& sender) {
      status = sender.EndStatus();
      ++terminated;
    };
    cmd.CommandLine = ChildCommand(u"sleep 60000");
    cmd.Execute();
    PumpUntil([&] { return cmd.ProcessInformation().dwProcessId != 0; });
  }
  EXPECT_EQ(terminated, 1);
  EXPECT_EQ(status, esStop);
}

TEST_F(DosCommandTest, SendLineWritesEntriesInOrder) {
  cmd.CommandLine = ChildCommand(u"echo");
  cmd.Execute();
  cmd.SendLine(u"hello", true);
  cmd.SendLine(u"", false);  // nothing is written
  cmd.SendLine(u"ab", false);
  cmd.SendLine(u"c", true);
  cmd.SendLine(u"", true);  // CR LF alone
  ASSERT_TRUE(PumpUntil([&] { return cmd.Lines().size() == 3; }));
  EXPECT_EQ(cmd.Lines(), (TLines{u"got:hello", u"got:abc", u"got:"}));
  try {
    cmd.SetOnCharDecoding(nullptr);
    ADD_FAILURE();
  } catch (const EDosCommand& e) {
    EXPECT_EQ(e.Message(), u"DosCommand still running");
  }
  cmd.Stop();
  EXPECT_EQ(terminated, 1);
}

TEST_F(DosCommandTest, InputEchoReplacesTheShownPrompt) {
  LogLines();
  TLines output;
  cmd.OutputLines = &output;
  cmd.InputToOutput = true;
  cmd.CommandLine = ChildCommand(u"prompt");
  cmd.Execute();
  ASSERT_TRUE(PumpUntil([&] { return output == TLines{u"Name: "}; }));
  cmd.SendLine(u"Bob", true);
  ASSERT_TRUE(PumpUntil([&] { return terminated == 1; }));
  EXPECT_EQ(output, (TLines{u"Name: Bob\r\n", u"Hello Bob"}));
  EXPECT_EQ(cmd.Lines(), TLines{u"Hello Bob"});  // the echo never goes into Lines
  EXPECT_EQ(log, (std::vector<std::string>{"B:Name: ", "E:Name: Bob\r\n", "E:Hello Bob"}));
}

TEST_F(DosCommandTest, AChildThatNeverReadsCannotHoldStop) {
  cmd.CommandLine = ChildCommand(u"sleep 60000");
  cmd.Execute();
  const std::u16string big(64 * 1024, u'x');
  for (int i = 0; i < 8; ++i) cmd.SendLine(big, true);  // far more than the pipe holds
  PumpUntil([] { return false; }, 500);
  cmd.Stop();
  EXPECT_EQ(terminated, 1);
  EXPECT_EQ(cmd.EndStatus(), esStop);
}

}  // namespace
}  // namespace cvl
