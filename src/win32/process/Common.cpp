#include "win32/process/Common.h"

#include <vector>

#include "win32/base/MessagePump.h"
#include "win32/base/ScopedHandle.h"
#include "win32/base/WinText.h"

namespace cvl {

namespace {

// Blanks and control characters (codes 0 to 32) go from both ends.
std::u16string_view TrimControl(std::u16string_view text) {
  while (!text.empty() && text.front() <= u' ') text.remove_prefix(1);
  while (!text.empty() && text.back() <= u' ') text.remove_suffix(1);
  return text;
}

// Members close in reverse order: the process handle first, then the thread's.
struct TStarted {
  TScopedHandle Thread;
  TScopedHandle Process;
};

// The start both helpers share. On failure the last error code is returned in error.
bool StartHidden(std::u16string_view commandLine, TStarted& started, DWORD& error) {
  std::wstring buffer = ToWide(TrimControl(commandLine));
  std::vector<wchar_t> writable(buffer.begin(), buffer.end());
  writable.push_back(L'\0');
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  startup.wShowWindow = SW_HIDE;  // not applied (no STARTF_USESHOWWINDOW): no window comes from the flag
  PROCESS_INFORMATION info{};
  if (!::CreateProcessW(nullptr, writable.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr, nullptr,
                        &startup, &info)) {
    error = ::GetLastError();
    return false;
  }
  started.Process.Reset(info.hProcess);
  started.Thread.Reset(info.hThread);
  return true;
}

}  // namespace

void RunAndWait(std::u16string_view commandLine, const std::function<bool()>& cancelled) {
  TStarted started;
  DWORD error = 0;
  if (!StartHidden(commandLine, started, error)) throw EOSError(error);
  while (::WaitForSingleObject(started.Process.Get(), 10) != WAIT_OBJECT_0) {
    ProcessMessages();
    if (cancelled && cancelled()) return;
  }
}

bool RunProgram(std::u16string_view commandLine) {
  // Nothing reads the started program's handles: they are released right away.
  TStarted started;
  DWORD error = 0;
  return StartHidden(commandLine, started, error);
}

}  // namespace cvl
