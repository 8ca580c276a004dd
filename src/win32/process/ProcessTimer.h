// The runner's time-limit clock: one-second ticks since the start of a run and since its
// last output line, driven by a thread timer of the main thread. The ticks therefore
// advance only while the main thread processes its messages.
#pragma once

#include <windows.h>

#include <mutex>

#include "win32/base/ScopedHandle.h"

namespace cvl {

class TProcessTimer {
 public:
  TProcessTimer();
  ~TProcessTimer();
  TProcessTimer(const TProcessTimer&) = delete;
  TProcessTimer& operator=(const TProcessTimer&) = delete;

  // Both counters to 0, then enabled (an enabled timer keeps its platform timer).
  void Beginning();
  void Ending();
  // A new output line: the since-last-output count starts again.
  void NewOutput();

  bool Enabled() const { return FEnabled; }
  // Raises EProcessTimer when the platform timer cannot be started or killed.
  void SetEnabled(bool AValue);
  HANDLE Event() const { return FEvent.Get(); }  // set on every tick
  long SinceBeginning();
  long SinceLastOutput();

 private:
  static void CALLBACK TimerProc(HWND, UINT, UINT_PTR AId, DWORD);

  std::mutex FCriticalSection;
  bool FEnabled = false;
  TScopedHandle FEvent;
  UINT_PTR FID = 0;
  volatile LONG FSinceBeginning = 0;
  volatile LONG FSinceLastOutput = 0;
};

}  // namespace cvl
