// Stand-in locale emulator starter: "LEProc.exe "C:\path\Proc.exe"". Reads the target's
// profile "<target>.le.config" beside the target and starts the target with the
// profile's Parameter, without waiting. Exit code 0 when started, 1 otherwise.
#include <windows.h>
#include <shellapi.h>

#include <string>
#include <vector>

#include "win32/base/ScopedHandle.h"

namespace {

std::string ReadWholeFile(const std::wstring& path) {
  const cvl::TScopedHandle file(
      ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
  if (!file) return {};
  std::string bytes;
  char buffer[4096];
  DWORD got = 0;
  while (::ReadFile(file.Get(), buffer, sizeof(buffer), &got, nullptr) && got > 0) bytes.append(buffer, got);
  return bytes;
}

std::string ElementText(const std::string& xml, const std::string& name) {
  const std::string open = "<" + name + ">";
  const std::string close = "</" + name + ">";
  const auto start = xml.find(open);
  if (start == std::string::npos) return {};
  const auto end = xml.find(close, start);
  if (end == std::string::npos) return {};
  return xml.substr(start + open.size(), end - start - open.size());
}

std::wstring Wide(const std::string& utf8) {
  if (utf8.empty()) return {};
  const int size = ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  std::wstring out(static_cast<std::size_t>(size), L'\0');
  ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), out.data(), size);
  return out;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR, int) {
  int argc = 0;
  const cvl::TScopedLocalMemory<LPWSTR> argv(::CommandLineToArgvW(::GetCommandLineW(), &argc));
  if (!argv || argc < 2) return 1;
  const std::wstring target = argv.Get()[1];

  const std::string profile = ReadWholeFile(target + L".le.config");
  if (profile.empty()) return 1;
  const std::wstring parameter = Wide(ElementText(profile, "Parameter"));

  std::wstring commandLine = L"\"" + target + L"\"";
  if (!parameter.empty()) commandLine += L" " + parameter;
  std::vector<wchar_t> buffer(commandLine.begin(), commandLine.end());
  buffer.push_back(L'\0');

  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process = {};
  if (!::CreateProcessW(nullptr, buffer.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
    return 1;
  }
  const cvl::TScopedHandle thread(process.hThread), started(process.hProcess);
  return 0;
}
