// The one owner template: every handle closed exactly once, on every path, and a
// failed close reported.
#include <gtest/gtest.h>

#include <stdexcept>
#include <utility>

#include "win32/base/ScopedHandle.h"

namespace cvl {
namespace {

// Whether the handle still names an object of this process. Wine reports no handle
// count, so each handle is asked about, right after the step that should close it and
// before any new handle could take its value.
bool IsOpen(HANDLE handle) {
  DWORD flags = 0;
  return ::GetHandleInformation(handle, &flags) != FALSE;
}

HANDLE NewEvent() { return ::CreateEventW(nullptr, TRUE, FALSE, nullptr); }

TEST(ScopedHandle, EveryPathClosesOnce) {
  HANDLE dropped = nullptr, moved = nullptr;
  {
    const TScopedHandle first(NewEvent());
    dropped = first.Get();
    TScopedHandle second(NewEvent());
    moved = second.Get();
    const TScopedHandle target(std::move(second));
    EXPECT_FALSE(second);
    EXPECT_EQ(target.Get(), moved);

    TScopedHandle reset(NewEvent());
    const HANDLE replaced = reset.Get();
    reset.Reset(NewEvent());  // made before the old one is closed: it cannot take its value
    EXPECT_FALSE(IsOpen(replaced));

    TScopedHandle received;
    ASSERT_TRUE(::DuplicateHandle(::GetCurrentProcess(), target.Get(), ::GetCurrentProcess(), received.Receive(), 0,
                                  FALSE, DUPLICATE_SAME_ACCESS));
    const HANDLE duplicate = received.Get();
    EXPECT_TRUE(received.Close());
    EXPECT_FALSE(IsOpen(duplicate));
    EXPECT_TRUE(received.Close());  // holding nothing is no failure
    EXPECT_TRUE(IsOpen(dropped) && IsOpen(moved));
  }
  EXPECT_FALSE(IsOpen(dropped));
  EXPECT_FALSE(IsOpen(moved));

  // Released, the handle is the caller's to close.
  const HANDLE released = TScopedHandle(NewEvent()).Release();
  EXPECT_TRUE(IsOpen(released));
  EXPECT_TRUE(TScopedHandle(released).Close());
  EXPECT_FALSE(IsOpen(released));
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
