// Work that the runner's worker hands to the main thread. Items run on the main thread in
// the order they were posted, from any message loop (the program's own, a message box's,
// the message processing of RunAndWait) or from Deliver, which a waiting Stop calls.
#pragma once

#include <windows.h>

#include <deque>
#include <functional>
#include <mutex>

#include "win32/base/ScopedHandle.h"

namespace cvl {

class TMainThreadQueue {
 public:
  using TWork = std::function<void()>;

  // On the main thread: makes the hidden message window that brings posted work there.
  TMainThreadQueue();
  ~TMainThreadQueue();
  TMainThreadQueue(const TMainThreadQueue&) = delete;
  TMainThreadQueue& operator=(const TMainThreadQueue&) = delete;

  // Any thread; never waits for the main thread.
  void Post(TWork AWork);
  void PostAll(std::deque<TWork>& AWork);  // moves the items, keeping their order
  // Any thread but the main one: posts and waits until the item has run.
  void PostAndWait(TWork AWork);

  // Main thread: runs every item that is waiting, one at a time, so a nested Deliver
  // (an item that processes messages) keeps the order.
  void Deliver();
  // Set whenever work is posted.
  HANDLE Event() const { return FEvent.Get(); }

 private:
  static void RegisterQueueClass();
  static LRESULT CALLBACK WindowProc(HWND, UINT, WPARAM, LPARAM);
  void Wake();

  std::mutex FLock;
  std::deque<TWork> FWork;
  bool FMessagePending = false;
  TScopedHandle FEvent;
  TScopedWindow FWindow;
};

}  // namespace cvl
