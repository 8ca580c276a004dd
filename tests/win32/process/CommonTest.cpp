#include <gtest/gtest.h>

#include "ProcessTestSupport.h"
#include "core/Text.h"
#include "win32/base/WinText.h"
#include "win32/process/Common.h"

namespace cvl {
namespace {

using test::ChildCommand;
using test::FileExists;

constexpr UINT kPing = WM_APP + 7;
int gPings = 0;

LRESULT CALLBACK PingProc(HWND window, UINT message, WPARAM w, LPARAM l) {
  if (message == kPing) {
    ++gPings;
    return 0;
  }
  return ::DefWindowProcW(window, message, w, l);
}

TEST(RunAndWait, KeepsTheWindowAnsweringWhileTheChildRuns) {
  WNDCLASSW wc{};
  wc.lpfnWndProc = PingProc;
  wc.hInstance = ::GetModuleHandleW(nullptr);
  wc.lpszClassName = L"CvlPingWindow";
  ::RegisterClassW(&wc);
  HWND window = ::CreateWindowExW(0, wc.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance, nullptr);
  ASSERT_NE(window, nullptr);
  gPings = 0;
  ::PostMessageW(window, kPing, 0, 0);
  const std::u16string marker = test::TempFolder() + u"slept";
  // The child sleeps one second, then leaves a file: RunAndWait returns only after it.
  RunAndWait(ChildCommand(u"emit +1000"));
  RunAndWait(ChildCommand(u"touch \"" + marker + u"\""));
  EXPECT_EQ(gPings, 1);  // handled inside the wait, nobody else processes messages here
  EXPECT_TRUE(FileExists(marker));
  ::DestroyWindow(window);
}

TEST(RunAndWait, TrimsBlanksAndControlCharacters) {
  const std::u16string marker = test::TempFolder() + u"trimmed";
  RunAndWait(u" \r\n\t " + ChildCommand(u"touch \"" + marker + u"\"") + u" \r\n");
  EXPECT_TRUE(FileExists(marker));
}

TEST(RunAndWait, RaisesTheSystemErrorWhenTheStartFails) {
  for (const std::u16string commandLine : {u"no_such_program_cvl.exe", u" \r\n\t "}) {
    try {
      RunAndWait(commandLine);
      ADD_FAILURE() << "no error for " << Utf16ToUtf8(commandLine);
    } catch (const EOSError& e) {
      EXPECT_EQ(e.ClassName(), "EOSError");
      EXPECT_NE(e.ErrorCode(), 0u);
      const std::u16string expected = u"System Error.  Code: " + IntToText(e.ErrorCode()) + u".\r\n";
      EXPECT_EQ(e.Message().substr(0, expected.size()), expected) << e.what();
      EXPECT_GT(e.Message().size(), expected.size());  // the system's own text follows
    }
  }
  EXPECT_EQ(EOSError(0).Message(), u"A call to an OS function failed");
}

TEST(RunProgram, ReturnsAtOnceAndKeepsNoHandle) {
  const std::u16string folder = test::TempFolder();
  const std::u16string started = folder + u"started", release = folder + u"release", done = folder + u"done";
  const DWORD handlesBefore = test::HandleCount();
  ASSERT_TRUE(RunProgram(ChildCommand(u"startwait \"" + started + u"\" \"" + release + u"\" \"" + done + u"\"")));
  EXPECT_EQ(test::HandleCount(), handlesBefore);
  // The child is running and waits for us: RunProgram did not wait for it.
  ASSERT_TRUE(test::PumpUntil([&] { return FileExists(started); }));
  EXPECT_FALSE(FileExists(done));
  test::TouchFile(release);
  EXPECT_TRUE(test::PumpUntil([&] { return FileExists(done); }));
}

TEST(RunProgram, AnswersFalseForAFailedStart) {
  EXPECT_FALSE(RunProgram(u"no_such_program_cvl.exe"));
  EXPECT_FALSE(RunProgram(u"  \r\n"));
}

}  // namespace
}  // namespace cvl
