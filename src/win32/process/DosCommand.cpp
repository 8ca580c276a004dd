#include "win32/process/DosCommand.h"

#include "core/Text.h"
#include "win32/files/AnsiCodePageWin32.h"
#include "win32/files/Paths.h"
#include "win32/process/DosCommandThread.h"
#include "win32/process/ProcessTimer.h"
#include "win32/window/WindowErrorBox.h"

namespace cvl {

namespace {

constexpr DWORD kStopWaitMilliseconds = 100;

}  // namespace

void ShowExecuteError(const Exception& AE) {
  ShowErrorBox(nullptr, Utf8ToUtf16(AE.ClassName()) + u"\r\n" + AE.Message(), ProgramFileName(), MB_TASKMODAL);
}

TDosCommand::TDosCommand() = default;

TDosCommand::~TDosCommand() {
  try {
    Stop();
  } catch (...) {
    // The end of the run has been reported; nothing may leave a destructor.
  }
}

void TDosCommand::Execute() {
  if (FThread) throw EDosCommand(SDosCommandStillRunning);
  if (CommandLine.empty()) throw EDosCommand(SNoCommandLine);
  if (!FTimer) FTimer = std::make_unique<TProcessTimer>();
  FLines.clear();
  FTimer->Beginning();
  TDosRunSettings settings;
  settings.ApplicationName = ApplicationName;
  settings.CommandLine = CommandLine;
  settings.CurrentDir = CurrentDir;
  settings.Environment = FEnvironment;
  settings.OutputLines = OutputLines;
  settings.MaxTimeAfterBeginning = MaxTimeAfterBeginning;
  settings.MaxTimeAfterLastOutput = MaxTimeAfterLastOutput;
  settings.OnNewLine = OnNewLine;
  settings.OnNewChar = OnNewChar;
  settings.OnTerminateProcess = OnTerminateProcess;
  settings.Priority = Priority;
  settings.InputToOutput = InputToOutput;
  try {
    FThread = std::make_unique<TDosThread>(*this, std::move(settings), *FTimer);
  } catch (...) {
    FTimer->Ending();
    throw;
  }
}

void TDosCommand::Stop() {
  if (!FThread) return;
  FThread->Terminate();
  // Inside OnTerminateProcess the worker waits for this very handler: asking is all
  // that can be done, the run ends right after it.
  if (FInTerminateProcess) return;
  // The end report clears FThread; until then the worker's notifications keep coming.
  while (FThread) {
    FQueue.Deliver();
    if (FThread) ::WaitForSingleObject(FQueue.Event(), kStopWaitMilliseconds);
  }
}

void TDosCommand::SendLine(const std::u16string& AValue, bool AEol) {
  if (!FThread) throw EDosCommand(SDosCommandNotRunning);
  FThread->InputLines().Add(MakeInputEntry(AValue, AEol));
}

void TDosCommand::SetOnCharDecoding(TCharDecoding AValue) {
  if (FThread) throw EDosCommand(SDosCommandStillRunning);
  FOnCharDecoding = std::move(AValue);
}

void TDosCommand::SetOnCharEncoding(TCharEncoding AValue) {
  if (FThread) throw EDosCommand(SDosCommandStillRunning);
  FOnCharEncoding = std::move(AValue);
}

std::u16string TDosCommand::DecodeOutput(std::string_view ABuf) {
  if (FOnCharDecoding) return FOnCharDecoding(*this, ABuf);
  return TWin32AnsiCodePage().Decode(ABuf);
}

void TDosCommand::EncodeInput(std::u16string_view AChars, std::string& AOutBuf) {
  if (FOnCharEncoding) {
    FOnCharEncoding(*this, AChars, AOutBuf);
  } else if (!AChars.empty()) {
    AOutBuf += TWin32AnsiCodePage().Encode(AChars);
  }
}

void TDosCommand::ReportError(const Exception& AError) {
  bool handled = false;
  if (OnExecuteError) {
    try {
      OnExecuteError(*this, AError, handled);
    } catch (const Exception& e) {
      ShowExecuteError(e);
      return;
    }
  }
  if (!handled) ShowExecuteError(AError);
}

void TDosCommand::HandleThreadEnd() {
  // The worker has posted this as its last act; it is released when this handler ends.
  std::unique_ptr<TDosThread> worker = std::move(FThread);
  FExitCode = worker->ExitCode();
  try {
    FTimer->Ending();
  } catch (const Exception& e) {
    ShowExecuteError(e);
  }
  if (const Exception* error = worker->Error()) ReportError(*error);
  if (OnTerminated) OnTerminated(*this);
}

}  // namespace cvl
