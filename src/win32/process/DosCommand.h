// TDosCommand: runs one console program at a time, hidden, with its input and output on
// pipes, and reports its output lines and its end as events on the main thread.
// Execute returns at once; the end of the run arrives as OnTerminated, exactly once per
// run, a failed start included.
#pragma once

#include <windows.h>

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "win32/process/DosCommandQueue.h"
#include "win32/process/DosCommandTypes.h"

namespace cvl {

class TDosThread;
class TProcessTimer;

class TDosCommand {
 public:
  using TNotifyEvent = std::function<void(TDosCommand& ASender)>;

  // On the main thread.
  TDosCommand();
  // Ends a run under way as Stop does (OnTerminated is raised during the destruction).
  virtual ~TDosCommand();
  TDosCommand(const TDosCommand&) = delete;
  TDosCommand& operator=(const TDosCommand&) = delete;

  // Starts a run. Raises EDosCommand "DosCommand still running" or "No Commandline to
  // execute" (tested in that order before anything changes), EProcessTimer when the
  // timer cannot start.
  void Execute();
  // Ends the run under way and returns once its end has been reported (OnTerminated
  // included); delivers the run's pending notifications meanwhile.
  void Stop();
  // Queues AValue for the child's input, with CR LF when AEol. Raises "DosCommand not
  // running" when idle.
  void SendLine(const std::u16string& AValue, bool AEol);

  // Stored properties.
  std::u16string CommandLine;
  // The program to start, by its full path; empty takes it from CommandLine's first
  // token by the system's search rules. CommandLine is what the child sees either way.
  std::u16string ApplicationName;
  std::u16string CurrentDir;
  std::vector<std::u16string>& Environment() { return FEnvironment; }  // name=value entries
  bool InputToOutput = false;
  int MaxTimeAfterBeginning = 0;   // seconds; 0 or less = no limit
  int MaxTimeAfterLastOutput = 0;  // seconds without a new line; 0 or less = no limit
  TErrorEvent OnExecuteError;
  TNewCharEvent OnNewChar;
  TNewLineEvent OnNewLine;
  TNotifyEvent OnTerminated;
  TTerminateProcessEvent OnTerminateProcess;
  // Raise "DosCommand still running" during a run, keeping the old handler.
  const TCharDecoding& OnCharDecoding() const { return FOnCharDecoding; }
  void SetOnCharDecoding(TCharDecoding AValue);
  const TCharEncoding& OnCharEncoding() const { return FOnCharEncoding; }
  void SetOnCharEncoding(TCharEncoding AValue);

  // Run-time properties.
  TEndStatus EndStatus() const { return static_cast<TEndStatus>(FEndStatus.load()); }
  DWORD ExitCode() const { return FExitCode; }
  bool IsRunning() const { return FThread != nullptr; }
  const std::vector<std::u16string>& Lines() const { return FLines; }
  // A caller's list (not owned) that mirrors the output live; set before Execute.
  std::vector<std::u16string>* OutputLines = nullptr;
  int Priority = NORMAL_PRIORITY_CLASS;
  // The last child's ids and handles; the handles are valid only while the run lasts.
  const PROCESS_INFORMATION& ProcessInformation() const { return FProcessInformation; }

 protected:
  // Bytes of one read to text: OnCharDecoding, or the ANSI code page.
  virtual std::u16string DecodeOutput(std::string_view ABuf);
  // Input text to bytes: OnCharEncoding, or the ANSI code page.
  virtual void EncodeInput(std::u16string_view AChars, std::string& AOutBuf);

 private:
  friend class TDosThread;
  void HandleThreadEnd();
  void ReportError(const Exception& AError);

  std::vector<std::u16string> FEnvironment;
  DWORD FExitCode = 0;
  std::vector<std::u16string> FLines;
  TCharDecoding FOnCharDecoding;
  TCharEncoding FOnCharEncoding;
  std::atomic<int> FEndStatus{esNone};
  PROCESS_INFORMATION FProcessInformation{};
  bool FInTerminateProcess = false;
  TMainThreadQueue FQueue;
  std::unique_ptr<TProcessTimer> FTimer;
  std::unique_ptr<TDosThread> FThread;
};

}  // namespace cvl
