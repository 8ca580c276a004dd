#include "win32/process/ProcessTimer.h"

#include <cassert>
#include <utility>
#include <vector>

#include "win32/process/DosCommandSync.h"
#include "win32/process/DosCommandTypes.h"

namespace cvl {

namespace {

constexpr UINT kTickMilliseconds = 1000;

// The platform's timer callback knows only the timer id; this list finds its object.
class TTimerRegistry {
 public:
  ~TTimerRegistry() { assert(FEntries.empty() && "a time-limit timer outlived the program"); }

  void Add(UINT_PTR id, TProcessTimer* timer) {
    std::lock_guard lock(FLock);
    FEntries.emplace_back(id, timer);
  }
  void Remove(UINT_PTR id) {
    std::lock_guard lock(FLock);
    for (auto it = FEntries.begin(); it != FEntries.end(); ++it) {
      if (it->first == id) {
        FEntries.erase(it);
        return;
      }
    }
  }
  TProcessTimer* Find(UINT_PTR id) {
    std::lock_guard lock(FLock);
    for (const auto& entry : FEntries) {
      if (entry.first == id) return entry.second;
    }
    return nullptr;
  }

 private:
  std::mutex FLock;
  std::vector<std::pair<UINT_PTR, TProcessTimer*>> FEntries;
};

TTimerRegistry& Registry() {
  static TTimerRegistry registry;
  return registry;
}

}  // namespace

TProcessTimer::TProcessTimer() : FEvent(MakeAutoResetEvent()) {}

TProcessTimer::~TProcessTimer() {
  try {
    SetEnabled(false);
  } catch (const Exception&) {
    // KillTimer failed; the entry must not point at a freed object.
    Registry().Remove(FID);
  }
}

void TProcessTimer::Beginning() {
  FSinceBeginning = 0;
  FSinceLastOutput = 0;
  SetEnabled(true);
}

void TProcessTimer::Ending() { SetEnabled(false); }

void TProcessTimer::NewOutput() {
  std::lock_guard lock(FCriticalSection);
  ::InterlockedExchange(&FSinceLastOutput, 0);
}

void TProcessTimer::SetEnabled(bool AValue) {
  if (AValue == FEnabled) return;
  FEnabled = AValue;
  if (AValue) {
    FID = ::SetTimer(nullptr, 0, kTickMilliseconds, &TProcessTimer::TimerProc);
    if (FID == 0) {
      FEnabled = false;
      throw EProcessTimer(SCouldNotStartTimer);
    }
    Registry().Add(FID, this);
  } else {
    if (!::KillTimer(nullptr, FID)) throw EProcessTimer(SCouldNotKillTimer);
    Registry().Remove(FID);
  }
}

long TProcessTimer::SinceBeginning() {
  std::lock_guard lock(FCriticalSection);
  return FSinceBeginning;
}

long TProcessTimer::SinceLastOutput() {
  std::lock_guard lock(FCriticalSection);
  return FSinceLastOutput;
}

void CALLBACK TProcessTimer::TimerProc(HWND, UINT, UINT_PTR AId, DWORD) {
  TProcessTimer* timer = Registry().Find(AId);
  if (timer == nullptr) return;
  ::InterlockedIncrement(&timer->FSinceBeginning);
  ::InterlockedIncrement(&timer->FSinceLastOutput);
  ::SetEvent(timer->FEvent.Get());
}

}  // namespace cvl
