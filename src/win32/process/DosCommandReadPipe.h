// The thread that drains the child's output pipe: each read of at most 1024 bytes is
// decoded to text and collected for the worker, which is woken by the event.
#pragma once

#include <windows.h>

#include <atomic>
#include <functional>
#include <string>
#include <string_view>

#include "win32/base/ScopedHandle.h"
#include "win32/process/DosCommandSync.h"

namespace cvl {

class TReadPipe {
 public:
  using TDecode = std::function<std::u16string(std::string_view ABytes)>;

  // Starts reading at once. The handles stay the caller's and must outlive the reader.
  TReadPipe(HANDLE AReadStdout, HANDLE AWriteStdout, TDecode AOnCharDecoding);
  // Waits for the thread's end: call Terminate first.
  ~TReadPipe();
  TReadPipe(const TReadPipe&) = delete;
  TReadPipe& operator=(const TReadPipe&) = delete;

  // Asks the reader to end and wakes it with a write of the wake-up bytes. Without
  // ADrain, a read that returns afterwards is dropped. With ADrain (the child has ended,
  // nobody else writes) everything written before the wake-up bytes is still collected.
  // Raises EAssertionFailed when the wake-up write fails.
  void Terminate(bool ADrain = false);
  // A drain that does not finish (an inherited copy of the pipe still writes): drop the
  // rest and end.
  void Abandon();

  HANDLE Event() const { return FEvent.Get(); }
  TSyncString& ReadString() { return FSyncString; }
  HANDLE ThreadHandle() const { return FThread.Get(); }
  bool Ended() const;

 private:
  static DWORD WINAPI ThreadProc(LPVOID AParameter);
  void Execute();
  void Collect(std::string_view ABytes, bool AFlush);
  bool DrainComplete(const std::string& ATail);
  void WriteWakeUp();

  TScopedHandle FEvent;
  TDecode FOnCharDecoding;
  HANDLE Fread_stdout;
  HANDLE Fwrite_stdout;
  TSyncString FSyncString;
  std::string FCarry;  // the start of a character that the next read completes
  std::atomic<bool> FStop{false};
  std::atomic<bool> FDrain{false};
  std::atomic<bool> FWakeUpWritten{false};
  TScopedHandle FThread;
};

}  // namespace cvl
