// 200 runs in a row of a child that prints 1 MB: every byte must arrive as lines, and no
// handle or thread may be left behind.
#include <gtest/gtest.h>

#include <string>

#include "ProcessTestSupport.h"
#include "core/Text.h"
#include "win32/process/DosCommand.h"

namespace cvl {
namespace {

constexpr int kRuns = 200;
constexpr int kBytes = 1024 * 1024;
constexpr int kLines = kBytes / 64;  // the child's lines are 64 bytes with CR LF

// The child's line number n: eight digits, then 54 'x'.
bool IsLine(const std::u16string& line, int n) {
  static const std::u16string tail(54, u'x');
  const std::u16string digits = IntToText(100000000LL + n).substr(1);
  return line.size() == 62 && line.compare(0, 8, digits) == 0 && line.compare(8, 54, tail) == 0;
}

TEST(DosCommandStress, TwoHundredRunsOfOneMegabyte) {
  TDosCommand cmd;
  int terminated = 0;
  cmd.OnTerminated = [&](TDosCommand&) { ++terminated; };
  cmd.CommandLine = test::ChildCommand(u"flood " + IntToText(kBytes));

  // One run first: the runner's timer and message window are made once.
  cmd.Execute();
  ASSERT_TRUE(test::PumpUntil([&] { return terminated == 1; }));
  const DWORD handlesBefore = test::HandleCount();
  const int threadsBefore = test::ThreadCount();

  for (int run = 0; run < kRuns; ++run) {
    cmd.Execute();
    ASSERT_TRUE(test::PumpUntil([&] { return terminated == run + 2; }, 120000)) << "run " << run;
    ASSERT_EQ(cmd.EndStatus(), esProcess);
    const auto& lines = cmd.Lines();
    ASSERT_EQ(static_cast<int>(lines.size()), kLines) << "run " << run;
    for (int n = 0; n < kLines; ++n) {
      ASSERT_TRUE(IsLine(lines[static_cast<std::size_t>(n)], n)) << "run " << run << " line " << n;
    }
  }
  EXPECT_EQ(test::HandleCount(), handlesBefore);
  EXPECT_EQ(test::ThreadCount(), threadsBefore);
}

}  // namespace
}  // namespace cvl
