// The one owner template: every handle closed exactly once, on every path, and a
// failed close reported.
#include <gtest/gtest.h>

#include <stdexcept>
#include <utility>

#include "win32/base/ScopedHandle.h"

namespace cvl {
namespace {

DWORD HandleCount() {
  DWORD count = 0;
  ::GetProcessHandleCount(::GetCurrentProcess(), &count);
  return count;
}

HANDLE NewEvent() { return ::CreateEventW(nullptr, TRUE, FALSE, nullptr); }

TEST(ScopedHandle, EveryPathClosesOnce) {
  const DWORD before = HandleCount();
  {
    TScopedHandle dropped(NewEvent());
    TScopedHandle moved(NewEvent());
    TScopedHandle target(std::move(moved));
    EXPECT_FALSE(moved);
    TScopedHandle reset(NewEvent());
    reset.Reset(NewEvent());  // the first is closed here
    TScopedHandle received;
    ::DuplicateHandle(::GetCurrentProcess(), target.Get(), ::GetCurrentProcess(), received.Receive(), 0, FALSE,
                      DUPLICATE_SAME_ACCESS);
    EXPECT_TRUE(received);
    EXPECT_EQ(HandleCount(), before + 4);
    EXPECT_TRUE(received.Close());
    EXPECT_TRUE(received.Close());  // holding nothing is no failure
    EXPECT_EQ(HandleCount(), before + 3);
  }
  EXPECT_EQ(HandleCount(), before);

  // Released, the handle is the caller's to close.
  HANDLE released = TScopedHandle(NewEvent()).Release();
  EXPECT_EQ(HandleCount(), before + 1);
  EXPECT_TRUE(TScopedHandle(released).Close());
  EXPECT_EQ(HandleCount(), before);
}

TEST(ScopedHandle, FailedCloseIsReported) {
  // A value no handle of this process has: the system refuses to close it.
  TScopedHandle bogus(reinterpret_cast<HANDLE>(static_cast<INT_PTR>(0x7FFFFFF0)));
  EXPECT_FALSE(bogus.Close());
  EXPECT_FALSE(bogus);
}

TEST(ScopedHandle, GuardsActWhenTheScopeIsLeftByAnError) {
  bool inside = false;
  TScopedHandle done(NewEvent());
  try {
    const TScopedFlag flag(inside);
    const TScopedSignal signal(done.Get());
    EXPECT_TRUE(inside);
    EXPECT_EQ(::WaitForSingleObject(done.Get(), 0), static_cast<DWORD>(WAIT_TIMEOUT));
    throw std::runtime_error("work failed");
  } catch (const std::runtime_error&) {
  }
  EXPECT_FALSE(inside);
  EXPECT_EQ(::WaitForSingleObject(done.Get(), 0), WAIT_OBJECT_0);
}

}  // namespace
}  // namespace cvl
