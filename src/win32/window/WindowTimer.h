// A window timer like a form's timer component: interval, enabled, one handler.
// Ticks arrive as WM_TIMER on the owner window, which passes them to Tick().
#pragma once

#include <windows.h>

#include <functional>

namespace cvl {

class TWindowTimer {
 public:
  TWindowTimer(UINT_PTR id, UINT interval) : FId(id), FInterval(interval) {}
  ~TWindowTimer() { SetEnabled(false); }
  TWindowTimer(const TWindowTimer&) = delete;
  TWindowTimer& operator=(const TWindowTimer&) = delete;

  void Attach(HWND owner) { FOwner = owner; }
  UINT_PTR Id() const { return FId; }
  void SetEnabled(bool enabled);
  // Changing the interval of a running timer restarts it.
  void SetInterval(UINT interval);
  // Called by the owner for WM_TIMER with this id.
  void Tick() const {
    if (FEnabled && OnTimer) OnTimer();
  }

  std::function<void()> OnTimer;

 private:
  HWND FOwner = nullptr;
  UINT_PTR FId;
  UINT FInterval;
  bool FEnabled = false;
};

}  // namespace cvl
