#include "win32/process/DosCommandQueue.h"

#include "core/Exception.h"
#include "core/Text.h"
#include "win32/base/SystemError.h"
#include "win32/process/DosCommandSync.h"
#include "win32/process/DosCommandTypes.h"

namespace cvl {

namespace {

constexpr wchar_t kWindowClass[] = L"CVLauncherRunnerQueue";
constexpr UINT kWorkWaiting = WM_APP + 1;

}  // namespace

void TMainThreadQueue::RegisterQueueClass() {
  static const bool registered = [] {
    WNDCLASSW wc{};
    wc.lpfnWndProc = &TMainThreadQueue::WindowProc;
    wc.hInstance = ::GetModuleHandleW(nullptr);
    wc.lpszClassName = kWindowClass;
    return ::RegisterClassW(&wc) != 0;
  }();
  (void)registered;
}

TMainThreadQueue::TMainThreadQueue() : FEvent(::CreateEventW(nullptr, FALSE, FALSE, nullptr)) {
  if (!FEvent) RaiseLastOSError();
  RegisterQueueClass();
  FWindow.Reset(::CreateWindowExW(0, kWindowClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                  ::GetModuleHandleW(nullptr), nullptr));
  if (!FWindow) RaiseLastOSError();
  ::SetWindowLongPtrW(FWindow.Get(), GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
}

// Work posted from now on finds no queue behind the window; the window goes with it.
TMainThreadQueue::~TMainThreadQueue() { ::SetWindowLongPtrW(FWindow.Get(), GWLP_USERDATA, 0); }

void TMainThreadQueue::Wake() {
  // One message stands for all the work posted until Deliver takes it.
  if (!FMessagePending) {
    FMessagePending = true;
    ::PostMessageW(FWindow.Get(), kWorkWaiting, 0, 0);
  }
}

void TMainThreadQueue::Post(TWork AWork) {
  {
    std::lock_guard lock(FLock);
    FWork.push_back(std::move(AWork));
    Wake();
  }
  ::SetEvent(FEvent.Get());
}

void TMainThreadQueue::PostAll(std::deque<TWork>& AWork) {
  if (AWork.empty()) return;
  {
    std::lock_guard lock(FLock);
    for (auto& work : AWork) FWork.push_back(std::move(work));
    Wake();
  }
  AWork.clear();
  ::SetEvent(FEvent.Get());
}

void TMainThreadQueue::PostAndWait(TWork AWork) {
  TScopedHandle done(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  if (!done) RaiseLastOSError();
  HANDLE doneHandle = done.Get();
  Post([&AWork, doneHandle] {
    const TScopedSignal signal(doneHandle);  // however the work ends
    AWork();
  });
  ::WaitForSingleObject(doneHandle, INFINITE);
}

void TMainThreadQueue::Deliver() {
  for (;;) {
    TWork work;
    {
      std::lock_guard lock(FLock);
      FMessagePending = false;
      if (FWork.empty()) return;
      work = std::move(FWork.front());
      FWork.pop_front();
    }
    try {
      work();
    } catch (const Exception& e) {
      // An event handler's error is shown and the program goes on.
      ShowExecuteError(e);
    } catch (const std::exception& e) {
      ShowExecuteError(Exception("Exception", Utf8ToUtf16(e.what())));
    }
  }
}

LRESULT CALLBACK TMainThreadQueue::WindowProc(HWND AWindow, UINT AMessage, WPARAM AWParam, LPARAM ALParam) {
  if (AMessage == kWorkWaiting) {
    auto* queue = reinterpret_cast<TMainThreadQueue*>(::GetWindowLongPtrW(AWindow, GWLP_USERDATA));
    if (queue != nullptr) queue->Deliver();
    return 0;
  }
  return ::DefWindowProcW(AWindow, AMessage, AWParam, ALParam);
}

}  // namespace cvl
