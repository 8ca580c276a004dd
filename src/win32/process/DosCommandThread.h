// The worker of one run: makes the pipes, starts the child, then serves the child's
// output, queued input, the child's end, a stop request and the time-limit ticks until
// the run ends; hands the end to the runner on the main thread.
#pragma once

#include <windows.h>

#include <atomic>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/DosCommandLines.h"
#include "win32/base/ScopedHandle.h"
#include "win32/process/DosCommandReadPipe.h"
#include "win32/process/DosCommandSync.h"
#include "win32/process/DosCommandTypes.h"
#include "win32/process/ProcessTimer.h"

namespace cvl {

// The runner's settings as they stood at Execute.
struct TDosRunSettings {
  std::u16string ApplicationName;
  std::u16string CommandLine;
  std::u16string CurrentDir;
  std::vector<std::u16string> Environment;
  std::vector<std::u16string>* OutputLines = nullptr;  // shared, not owned
  int MaxTimeAfterBeginning = 0;
  int MaxTimeAfterLastOutput = 0;
  TNewLineEvent OnNewLine;
  TNewCharEvent OnNewChar;
  TTerminateProcessEvent OnTerminateProcess;
  int Priority = NORMAL_PRIORITY_CLASS;
  bool InputToOutput = false;
};

class TDosThread : private ILineEvents {
 public:
  // Starts at once; stores esStill_Active in the runner's EndStatus first.
  TDosThread(TDosCommand& AOwner, TDosRunSettings ASettings, TProcessTimer& ATimer);
  // Waits for the thread's end (the runner releases the worker after its end report).
  ~TDosThread() override;
  TDosThread(const TDosThread&) = delete;
  TDosThread& operator=(const TDosThread&) = delete;

  // Stop flag plus stop event: a sleeping worker wakes and ends the run.
  void Terminate();
  TInputLines& InputLines() { return FInputLines; }
  DWORD ExitCode() const { return FExitCode; }
  // The error the run ended with, if any.
  const Exception* Error() const { return FError.get(); }

 private:
  static DWORD WINAPI ThreadProc(LPVOID AParameter);
  void Execute();
  void CreatePipes();
  void StartChild();
  void RunLoop();
  bool LimitReached();
  void EndRun();
  void StopReader(bool ADrain);
  void Shutdown();
  void DoReadLine();
  void DoSendLine();
  void WriteInput();
  void DoTerminateProcess();
  void SetEndStatus(TEndStatus AStatus);
  void Post(std::function<void()> AWork) { FPosts.push_back(std::move(AWork)); }
  void FlushPosts();

  // ILineEvents: each becomes work for the main thread, posted in order.
  void NewChar(char16_t ANewChar) override;
  void LinesAdd(const std::u16string& ALine) override;
  void NewLine(const std::u16string& ANewLine, TOutputType AOutputType) override;
  void OutputAppend(const std::u16string& AText) override;
  void OutputReplaceLast(const std::u16string& AText) override;
  void NewOutput() override;

  TDosCommand& FOwner;
  TDosRunSettings FSettings;
  TProcessTimer& FTimer;
  TInputLines FInputLines;
  TScopedHandle FTerminateEvent;
  std::atomic<bool> FStop{false};
  DWORD FExitCode = 0;
  bool FChildEnded = false;
  bool FCanTerminate = false;
  std::unique_ptr<Exception> FError;
  TLineAssembler FAssembler;
  std::deque<std::function<void()>> FPosts;
  std::string FInputBacklog;  // encoded input the child's pipe has no room for yet

  // The pipe ends of a run; the child's three are closed once it has started.
  TScopedHandle FChildStdout, FChildStderr, FChildStdin;
  TScopedHandle FWakeWrite, FReaderRead, FInputWrite;
  TScopedHandle FProcess, FProcessThread;
  std::unique_ptr<TReadPipe> FReader;
  TScopedHandle FThread;
};

}  // namespace cvl
