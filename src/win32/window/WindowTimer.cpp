#include "win32/window/WindowTimer.h"

namespace cvl {

void TWindowTimer::SetEnabled(bool enabled) {
  if (FOwner == nullptr || !::IsWindow(FOwner)) {
    FEnabled = false;
    return;
  }
  if (enabled) {
    FEnabled = ::SetTimer(FOwner, FId, FInterval, nullptr) != 0;
  } else if (FEnabled) {
    ::KillTimer(FOwner, FId);
    FEnabled = false;
  }
}

void TWindowTimer::SetInterval(UINT interval) {
  FInterval = interval;
  if (FEnabled) SetEnabled(true);
}

}  // namespace cvl
