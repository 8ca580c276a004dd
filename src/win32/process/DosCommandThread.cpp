#include "win32/process/DosCommandThread.h"

#include <algorithm>

#include "core/Text.h"
#include "win32/base/SystemError.h"
#include "win32/base/WinText.h"
#include "win32/process/DosCommand.h"

namespace cvl {

namespace {

// While input waits for room in the child's pipe, the worker looks again this often.
constexpr DWORD kInputRetryMilliseconds = 50;
constexpr DWORD kInputChunk = 512;
// How long a terminated child is given to go.
constexpr DWORD kTerminateWaitMilliseconds = 1000;
// How long the output of an ended child may take to arrive; longer means a process the
// child left behind still holds the pipe.
constexpr DWORD kDrainWaitMilliseconds = 5000;

std::u16string LastErrorText() { return SystemErrorMessage(::GetLastError()); }

void CheckPipe(BOOL AResult) {
  if (!AResult) throw ECreatePipeError(LastErrorText());
}

void DuplicateWithin(HANDLE ASource, TScopedHandle& ATarget, bool AInheritable) {
  HANDLE self = ::GetCurrentProcess();
  CheckPipe(::DuplicateHandle(self, ASource, self, ATarget.Receive(), 0, AInheritable ? TRUE : FALSE,
                              DUPLICATE_SAME_ACCESS));
}

void CloseChecked(TScopedHandle& AHandle) { CheckPipe(AHandle.Close()); }

// The launcher's own environment block, then the extra entries, each NUL-terminated,
// then one more NUL.
std::wstring EnvironmentBlock(const std::vector<std::u16string>& AExtra) {
  std::wstring block;
  if (const TScopedEnvironmentStrings own(::GetEnvironmentStringsW()); own) {
    for (const wchar_t* entry = own.Get(); *entry != L'\0'; entry += wcslen(entry) + 1) {
      block.append(entry);
      block.push_back(L'\0');
    }
  }
  for (const auto& entry : AExtra) {
    block += ToWide(entry);
    block.push_back(L'\0');
  }
  block.push_back(L'\0');
  return block;
}

}  // namespace

ECreatePipeError::ECreatePipeError(std::u16string_view systemText)
    : Exception("ECreatePipeError", FormatText(SCreatePipeError, {systemText})) {}

ECreateProcessError::ECreateProcessError(std::u16string_view commandLine, std::u16string_view systemText)
    : Exception("ECreateProcessError", FormatText(SCreateProcessError, {commandLine, systemText})) {}

TDosThread::TDosThread(TDosCommand& AOwner, TDosRunSettings ASettings, TProcessTimer& ATimer)
    : FOwner(AOwner),
      FSettings(std::move(ASettings)),
      FTimer(ATimer),
      FTerminateEvent(::CreateEventW(nullptr, TRUE, FALSE, nullptr)),
      FAssembler(*this, FSettings.OutputLines != nullptr, static_cast<bool>(FSettings.OnNewChar)) {
  if (!FTerminateEvent) RaiseLastOSError();
  SetEndStatus(esStill_Active);
  FThread.Reset(::CreateThread(nullptr, 0, &TDosThread::ThreadProc, this, 0, nullptr));
  if (!FThread) RaiseLastOSError();
}

TDosThread::~TDosThread() { ::WaitForSingleObject(FThread.Get(), INFINITE); }

void TDosThread::Terminate() {
  FStop = true;
  ::SetEvent(FTerminateEvent.Get());
}

void TDosThread::SetEndStatus(TEndStatus AStatus) { FOwner.FEndStatus.exchange(AStatus); }

DWORD WINAPI TDosThread::ThreadProc(LPVOID AParameter) {
  auto* self = static_cast<TDosThread*>(AParameter);
  try {
    self->Execute();
  } catch (const Exception& e) {
    self->FError = std::make_unique<Exception>(e);
  } catch (const std::exception& e) {
    self->FError = std::make_unique<Exception>("Exception", Utf8ToUtf16(e.what()));
  }
  if (self->FError) self->SetEndStatus(esError);
  // The end report comes after every notification of the run.
  self->FlushPosts();
  TDosCommand& owner = self->FOwner;
  owner.FQueue.Post([&owner] { owner.HandleThreadEnd(); });
  return 0;
}

void TDosThread::Execute() {
  try {
    CreatePipes();
    StartChild();
    FReader = std::make_unique<TReadPipe>(FReaderRead.Get(), FWakeWrite.Get(),
                                          [this](std::string_view bytes) { return FOwner.DecodeOutput(bytes); });
    if (!::GetExitCodeProcess(FProcess.Get(), &FExitCode)) FExitCode = STILL_ACTIVE;
    RunLoop();
    EndRun();
  } catch (...) {
    Shutdown();
    throw;
  }
  Shutdown();
}

void TDosThread::CreatePipes() {
  // Everyone may use the pipes: a present but empty access list.
  SECURITY_DESCRIPTOR descriptor;
  ::InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION);
  ::SetSecurityDescriptorDacl(&descriptor, TRUE, nullptr, FALSE);
  SECURITY_ATTRIBUTES attributes{sizeof(attributes), &descriptor, TRUE};

  TScopedHandle outputRead, inputWrite;
  CheckPipe(::CreatePipe(outputRead.Receive(), FChildStdout.Receive(), &attributes, 0));
  DuplicateWithin(FChildStdout.Get(), FChildStderr, true);
  DuplicateWithin(FChildStdout.Get(), FWakeWrite, false);
  CheckPipe(::CreatePipe(FChildStdin.Receive(), inputWrite.Receive(), &attributes, 0));
  DuplicateWithin(outputRead.Get(), FReaderRead, false);
  DuplicateWithin(inputWrite.Get(), FInputWrite, false);
  CloseChecked(outputRead);
  CloseChecked(inputWrite);
  // Input never blocks the worker: what does not fit waits for the next pass.
  DWORD mode = PIPE_NOWAIT;
  ::SetNamedPipeHandleState(FInputWrite.Get(), &mode, nullptr, nullptr);
}

void TDosThread::StartChild() {
  STARTUPINFOW startup{};
  ::GetStartupInfoW(&startup);
  startup.dwFlags = STARTF_USESHOWWINDOW | STARTF_USESTDHANDLES;
  startup.wShowWindow = SW_HIDE;
  startup.hStdInput = FChildStdin.Get();
  startup.hStdOutput = FChildStdout.Get();
  startup.hStdError = FChildStderr.Get();

  std::wstring environment;
  if (!FSettings.Environment.empty()) environment = EnvironmentBlock(FSettings.Environment);
  const std::wstring currentDir = ToWide(FSettings.CurrentDir);
  const std::wstring applicationName = ToWide(FSettings.ApplicationName);
  std::wstring commandLine = ToWide(FSettings.CommandLine);
  commandLine.push_back(L'\0');

  PROCESS_INFORMATION info{};
  const DWORD flags = static_cast<DWORD>(FSettings.Priority) | CREATE_NEW_CONSOLE | CREATE_UNICODE_ENVIRONMENT;
  if (!::CreateProcessW(applicationName.empty() ? nullptr : applicationName.c_str(), commandLine.data(), nullptr, nullptr, TRUE, flags,
                        environment.empty() ? nullptr : environment.data(),
                        currentDir.empty() ? nullptr : currentDir.c_str(), &startup, &info)) {
    throw ECreateProcessError(FSettings.CommandLine, LastErrorText());
  }
  FProcess.Reset(info.hProcess);
  FProcessThread.Reset(info.hThread);
  TDosCommand& owner = FOwner;
  Post([&owner, info] { owner.FProcessInformation = info; });
  FlushPosts();
  CloseChecked(FChildStdout);
  CloseChecked(FChildStderr);
  CloseChecked(FChildStdin);
}

bool TDosThread::LimitReached() {
  if (FSettings.MaxTimeAfterBeginning > 0 && FTimer.SinceBeginning() > FSettings.MaxTimeAfterBeginning) return true;
  return FSettings.MaxTimeAfterLastOutput > 0 && FTimer.SinceLastOutput() > FSettings.MaxTimeAfterLastOutput;
}

void TDosThread::RunLoop() {
  const HANDLE waits[] = {FReader->Event(), FInputLines.Event(), FProcess.Get(), FTerminateEvent.Get(),
                          FTimer.Event()};
  for (;;) {
    const DWORD timeout = FInputBacklog.empty() ? INFINITE : kInputRetryMilliseconds;
    const DWORD woken = ::WaitForMultipleObjects(5, waits, FALSE, timeout);
    if (woken == WAIT_OBJECT_0) {
      while (FReader->ReadString().Length() > 0 && !FStop) DoReadLine();
    } else if (woken == WAIT_OBJECT_0 + 1) {
      if (FInputLines.Count() > 0 && !FStop) DoSendLine();
      if (FInputLines.Count() > 0) ::SetEvent(FInputLines.Event());
    } else if (woken == WAIT_OBJECT_0 + 2) {
      // The signalled handle tells the end, also for a child whose exit code is 259.
      FChildEnded = true;
      ::GetExitCodeProcess(FProcess.Get(), &FExitCode);
    } else if (woken == WAIT_FAILED) {
      throw EAssertionFailed();
    }
    if (!FStop) WriteInput();
    FlushPosts();
    if (FStop || FChildEnded || LimitReached()) return;
  }
}

void TDosThread::EndRun() {
  if (!FChildEnded) {
    FCanTerminate = true;
    SetEndStatus(FStop ? esStop : esTime);
    DoTerminateProcess();
    StopReader(false);
  } else {
    SetEndStatus(esProcess);
    FCanTerminate = false;
    // The child's last output may still be in the pipe: collect it before the end.
    StopReader(true);
    while (FReader->ReadString().Length() > 0 && !FStop) DoReadLine();
  }
  FAssembler.FinishPending();
  FlushPosts();
}

void TDosThread::StopReader(bool ADrain) {
  if (!FReader) return;
  FReader->Terminate(ADrain);
  if (ADrain) {
    const HANDLE waits[] = {FReader->ThreadHandle(), FTerminateEvent.Get()};
    if (::WaitForMultipleObjects(2, waits, FALSE, kDrainWaitMilliseconds) != WAIT_OBJECT_0) FReader->Abandon();
  }
  ::WaitForSingleObject(FReader->ThreadHandle(), INFINITE);
}

void TDosThread::Shutdown() {
  try {
    if (FReader) {
      FReader->Terminate(false);
      FReader.reset();
    }
  } catch (...) {
    FReader.reset();
    throw;
  }
  if (FProcess) {
    if (FCanTerminate) ::WaitForSingleObject(FProcess.Get(), kTerminateWaitMilliseconds);
    ::GetExitCodeProcess(FProcess.Get(), &FExitCode);
  }
  // Nothing reads the child's handles after its run: release them.
  FProcess.Close();
  FProcessThread.Close();
  FReaderRead.Close();
  FInputWrite.Close();
  FWakeWrite.Close();
}

void TDosThread::DoReadLine() {
  TSyncString& shared = FReader->ReadString();
  const std::u16string piece = shared.Value();
  if (piece.empty()) return;
  shared.Delete(1, piece.size());
  FAssembler.DoReadLine(piece, [this] { return FStop.load(); });
}

void TDosThread::DoSendLine() {
  const std::u16string text = InputEntryText(FInputLines.Strings(0));
  if (!text.empty()) {
    std::string bytes;
    FOwner.EncodeInput(text, bytes);
    FInputBacklog += bytes;
    WriteInput();
    if (FSettings.InputToOutput) FAssembler.EchoInput(text);
  }
  FInputLines.Delete(0);
}

void TDosThread::WriteInput() {
  while (!FInputBacklog.empty()) {
    const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(FInputBacklog.size(), kInputChunk));
    DWORD written = 0;
    if (!::WriteFile(FInputWrite.Get(), FInputBacklog.data(), chunk, &written, nullptr)) {
      // A child that has ended takes no more input; that is no failure of the run.
      if (::WaitForSingleObject(FProcess.Get(), 0) == WAIT_OBJECT_0) {
        FInputBacklog.clear();
        return;
      }
      throw EAssertionFailed();
    }
    if (written == 0) return;  // the pipe is full: the next pass tries again
    FInputBacklog.erase(0, written);
  }
}

void TDosThread::DoTerminateProcess() {
  FCanTerminate = true;
  if (FSettings.OnTerminateProcess) {
    FlushPosts();
    bool canTerminate = true;
    TDosCommand& owner = FOwner;
    const TTerminateProcessEvent& handler = FSettings.OnTerminateProcess;
    owner.FQueue.PostAndWait([&] {
      const TScopedFlag inHandler(owner.FInTerminateProcess);
      handler(owner, canTerminate);
    });
    FCanTerminate = canTerminate;
  }
  if (FCanTerminate) ::TerminateProcess(FProcess.Get(), 0);
}

void TDosThread::FlushPosts() { FOwner.FQueue.PostAll(FPosts); }

void TDosThread::NewChar(char16_t ANewChar) {
  Post([this, ANewChar] { FSettings.OnNewChar(FOwner, ANewChar); });
}

void TDosThread::LinesAdd(const std::u16string& ALine) {
  TDosCommand& owner = FOwner;
  Post([&owner, ALine] { owner.FLines.push_back(ALine); });
}

void TDosThread::NewLine(const std::u16string& ANewLine, TOutputType AOutputType) {
  if (!FSettings.OnNewLine) return;
  Post([this, ANewLine, AOutputType] { FSettings.OnNewLine(FOwner, ANewLine, AOutputType); });
}

void TDosThread::OutputAppend(const std::u16string& AText) {
  auto* list = FSettings.OutputLines;
  Post([list, AText] { list->push_back(AText); });
}

void TDosThread::OutputReplaceLast(const std::u16string& AText) {
  // The owner may have emptied the list meanwhile: the text then starts it again.
  auto* list = FSettings.OutputLines;
  Post([list, AText] {
    if (list->empty()) {
      list->push_back(AText);
    } else {
      list->back() = AText;
    }
  });
}

void TDosThread::NewOutput() { FTimer.NewOutput(); }

}  // namespace cvl
