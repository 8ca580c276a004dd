// Stand-in for a prerequisite installer: appends its name and arguments to
// "installers.log" beside itself and ends with exit code 0. With "<name>.hold" beside it,
// it first waits while that file exists (two minutes at the most) and then leaves
// "<name>.finished", so a test can close the launcher while an installer runs.
#include <windows.h>

#include <string>

#include "win32/base/ScopedHandle.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR arguments, int) {
  wchar_t path[MAX_PATH] = {};
  const DWORD length = ::GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring self(path, length);
  const auto slash = self.find_last_of(L'\\');
  const std::wstring folder = self.substr(0, slash + 1);
  const std::wstring line = self.substr(slash + 1) + L" " + (arguments != nullptr ? arguments : L"") + L"\r\n";

  const int size = ::WideCharToMultiByte(CP_UTF8, 0, line.c_str(), static_cast<int>(line.size()), nullptr, 0, nullptr, nullptr);
  std::string bytes(static_cast<std::size_t>(size), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, line.c_str(), static_cast<int>(line.size()), bytes.data(), size, nullptr, nullptr);

  {
    const cvl::TScopedHandle log(::CreateFileW((folder + L"installers.log").c_str(), FILE_APPEND_DATA, FILE_SHARE_READ,
                                               nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!log) return 1;
    DWORD written = 0;
    ::WriteFile(log.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  }

  const std::wstring stem = self.substr(0, self.find_last_of(L'.'));
  if (::GetFileAttributesW((stem + L".hold").c_str()) == INVALID_FILE_ATTRIBUTES) return 0;
  for (int i = 0; i < 1200 && ::GetFileAttributesW((stem + L".hold").c_str()) != INVALID_FILE_ATTRIBUTES; ++i) {
    ::Sleep(100);
  }
  const cvl::TScopedHandle finished(::CreateFileW((stem + L".finished").c_str(), GENERIC_WRITE, 0, nullptr,
                                                  CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  return 0;
}
