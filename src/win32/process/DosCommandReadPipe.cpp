#include "win32/process/DosCommandReadPipe.h"

#include "core/DosCommandLines.h"
#include "win32/base/SystemError.h"
#include "win32/process/DosCommandTypes.h"

namespace cvl {

namespace {

constexpr DWORD kReadSize = 1024;
// The first three bytes of the UTF-16 text "fin".
constexpr char kWakeUp[] = {0x66, 0x00, 0x69};
constexpr std::string_view kWakeUpBytes(kWakeUp, sizeof(kWakeUp));

// Bytes at the end of a read that begin a character of the ANSI code page which the
// next read completes.
std::size_t AnsiIncompleteTail(std::string_view bytes) {
  const UINT acp = ::GetACP();
  if (acp == CP_UTF8) return IncompleteUtf8Tail(bytes);
  CPINFO info{};
  if (::GetCPInfo(acp, &info) && info.MaxCharSize == 2) {
    return IncompleteDbcsTail(bytes, [acp](unsigned char b) { return ::IsDBCSLeadByteEx(acp, b) != 0; });
  }
  return 0;
}

}  // namespace

TReadPipe::TReadPipe(HANDLE AReadStdout, HANDLE AWriteStdout, TDecode AOnCharDecoding)
    : FEvent(MakeAutoResetEvent()),
      FOnCharDecoding(std::move(AOnCharDecoding)),
      Fread_stdout(AReadStdout),
      Fwrite_stdout(AWriteStdout) {
  FThread.Reset(::CreateThread(nullptr, 0, &TReadPipe::ThreadProc, this, 0, nullptr));
  if (!FThread) RaiseLastOSError();
}

TReadPipe::~TReadPipe() { ::WaitForSingleObject(FThread.Get(), INFINITE); }

bool TReadPipe::Ended() const { return ::WaitForSingleObject(FThread.Get(), 0) == WAIT_OBJECT_0; }

DWORD WINAPI TReadPipe::ThreadProc(LPVOID AParameter) {
  try {
    static_cast<TReadPipe*>(AParameter)->Execute();
  } catch (...) {
    // A failed read ends the reader and the run goes on without further output, to end
    // as the child ends: its end and exit code reach the worker through the process
    // handle, not through this thread. Only two things get here: a read error other
    // than a broken pipe, which the platform does not give for a pipe whose write end
    // the worker holds open, and a decoding that raised (a bound OnCharDecoding's own
    // error, or no memory). Everything read before it has been handed over.
  }
  return 0;
}

void TReadPipe::Execute() {
  std::string tail;  // while draining: everything read since the stop was seen
  for (;;) {
    char buffer[kReadSize] = {};
    DWORD read = 0;
    bool broken = false;
    if (!::ReadFile(Fread_stdout, buffer, kReadSize, &read, nullptr)) {
      if (::GetLastError() != ERROR_BROKEN_PIPE) throw EAssertionFailed();
      broken = true;
    }
    if (FStop) {
      if (!FDrain) return;
      tail.append(buffer, read);
      if (broken || DrainComplete(tail)) {
        if (tail.size() >= kWakeUpBytes.size() && std::string_view(tail).substr(tail.size() - kWakeUpBytes.size()) == kWakeUpBytes) {
          tail.resize(tail.size() - kWakeUpBytes.size());
        }
        // Decoded in pieces no larger than one read, as every other output is.
        for (std::size_t offset = 0; offset < tail.size(); offset += kReadSize) {
          Collect(std::string_view(tail).substr(offset, kReadSize), offset + kReadSize >= tail.size());
        }
        if (tail.empty()) Collect({}, true);
        return;
      }
      continue;
    }
    Collect(std::string_view(buffer, read), broken);
    if (broken) return;
  }
}

// The wake-up bytes were written before the stop flag could be seen, so once they are
// written and the pipe is empty, the collected tail ends with them.
bool TReadPipe::DrainComplete(const std::string& ATail) {
  for (;;) {
    DWORD available = 0;
    if (!::PeekNamedPipe(Fread_stdout, nullptr, 0, nullptr, &available, nullptr)) return true;
    if (available > 0) return false;
    if (FWakeUpWritten) {
      return ATail.size() >= kWakeUpBytes.size() &&
             std::string_view(ATail).substr(ATail.size() - kWakeUpBytes.size()) == kWakeUpBytes;
    }
    ::Sleep(1);  // the worker is still in its wake-up write
  }
}

void TReadPipe::Collect(std::string_view ABytes, bool AFlush) {
  FCarry.append(ABytes);
  const std::size_t keep = AFlush ? 0 : AnsiIncompleteTail(FCarry);
  const std::string piece = FCarry.substr(0, FCarry.size() - keep);
  FCarry.erase(0, FCarry.size() - keep);
  FSyncString.Add(FOnCharDecoding(piece));
  ::SetEvent(FEvent.Get());
}

void TReadPipe::WriteWakeUp() {
  DWORD written = 0;
  if (!::WriteFile(Fwrite_stdout, kWakeUp, sizeof(kWakeUp), &written, nullptr)) throw EAssertionFailed();
}

void TReadPipe::Terminate(bool ADrain) {
  FDrain = ADrain;
  FStop = true;
  if (Ended()) {
    FWakeUpWritten = true;
    return;
  }
  if (!ADrain) {
    // Pending output wakes the reader by itself. Writing only into an empty pipe keeps
    // the write from waiting on a reader that has just ended and a child that fills it.
    DWORD available = 0;
    if (::PeekNamedPipe(Fread_stdout, nullptr, 0, nullptr, &available, nullptr) && available > 0) return;
  }
  WriteWakeUp();
  FWakeUpWritten = true;
}

void TReadPipe::Abandon() {
  FDrain = false;
  if (!Ended()) WriteWakeUp();
}

}  // namespace cvl
