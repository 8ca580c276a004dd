// The lock-guarded buffers the runner's threads share: the collected output text and the
// queue of input entries.
#pragma once

#include <windows.h>

#include <mutex>
#include <string>
#include <vector>

#include "win32/base/ScopedHandle.h"

namespace cvl {

// An auto-reset event, initially clear.
TScopedHandle MakeAutoResetEvent();

// Text that one thread appends to and another drains. Every operation holds the lock for
// its whole work, so text appended between a read and a delete survives the delete.
class TSyncString {
 public:
  void Add(const std::u16string& AValue);
  // Removes ACount characters from the 1-based position APos.
  void Delete(std::size_t APos, std::size_t ACount);
  std::size_t Length();
  std::u16string Value();
  void SetValue(const std::u16string& AValue);

 private:
  std::mutex FLock;
  std::u16string FValue;
};

// SendLine's entries, waiting for the worker. Add sets the event after releasing the
// lock; one wake-up may stand for several entries.
class TInputLines {
 public:
  TInputLines();
  int Add(const std::u16string& AValue);  // the new entry's index
  int Count();
  void Delete(int AIndex);
  std::u16string Strings(int AIndex);
  void SetStrings(int AIndex, const std::u16string& AValue);
  HANDLE Event() const { return FEvent.Get(); }
  // Takes the lock and hands out the list, until UnlockList.
  std::vector<std::u16string>& LockList();
  void UnlockList();

 private:
  std::mutex FLock;
  std::vector<std::u16string> FList;
  TScopedHandle FEvent;
};

}  // namespace cvl
