#include "ProcessTestSupport.h"

#include <tlhelp32.h>

#include "win32/base/MessagePump.h"
#include "win32/base/ScopedHandle.h"
#include "win32/base/WinText.h"
#include "win32/files/Paths.h"

namespace cvl::test {

std::u16string ChildCommand(const std::u16string& arguments) {
  return u"\"" + ExecutableDirectory() + u"ProcessChild.exe\" " + arguments;
}

std::u16string TempFolder() {
  wchar_t base[MAX_PATH] = {};
  ::GetTempPathW(MAX_PATH, base);
  static int counter = 0;
  const std::u16string folder = FromWide(base) + u"cvlproc" + FromWide(std::to_wstring(::GetCurrentProcessId())) +
                                u"_" + FromWide(std::to_wstring(++counter)) + u"\\";
  ::CreateDirectoryW(ToWide(folder).c_str(), nullptr);
  return folder;
}

bool FileExists(const std::u16string& path) {
  return ::GetFileAttributesW(ToWide(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

void TouchFile(const std::u16string& path) {
  const TScopedHandle file(
      ::CreateFileW(ToWide(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
}

bool PumpUntil(const std::function<bool()>& condition, DWORD deadlineMilliseconds) {
  const ULONGLONG deadline = ::GetTickCount64() + deadlineMilliseconds;
  for (;;) {
    ProcessMessages();
    if (condition()) return true;
    if (::GetTickCount64() > deadline) return false;
    ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
  }
}

DWORD HandleCount() {
  DWORD count = 0;
  ::GetProcessHandleCount(::GetCurrentProcess(), &count);
  return count;
}

int ThreadCount() {
  TScopedHandle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0));
  THREADENTRY32 entry{};
  entry.dwSize = sizeof(entry);
  int count = 0;
  for (BOOL more = ::Thread32First(snapshot.Get(), &entry); more; more = ::Thread32Next(snapshot.Get(), &entry)) {
    if (entry.th32OwnerProcessID == ::GetCurrentProcessId()) ++count;
  }
  return count;
}

}  // namespace cvl::test
