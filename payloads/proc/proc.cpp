// Stand-in client launcher: a window of class "VezezuRovedazez0.9.DNC" that shows the
// arguments it got, and a log "Proc.log" beside itself with one line per start:
// the command line and the current directory, in UTF-8.
#include <windows.h>

#include <string>

#include "win32/base/ScopedHandle.h"

namespace {

constexpr wchar_t kClassName[] = L"VezezuRovedazez0.9.DNC";
constexpr wchar_t kTitle[] = L"Client launcher (stand-in)";

std::wstring OwnPath() {
  wchar_t path[MAX_PATH] = {};
  const DWORD length = ::GetModuleFileNameW(nullptr, path, MAX_PATH);
  return std::wstring(path, length);
}

std::string Utf8(const std::wstring& text) {
  if (text.empty()) return {};
  const int size = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<std::size_t>(size), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), size, nullptr, nullptr);
  return out;
}

void AppendStartToLog(const std::wstring& commandLine, const std::wstring& currentDir) {
  std::wstring logPath = OwnPath();
  const auto dot = logPath.find_last_of(L'.');
  logPath = (dot == std::wstring::npos ? logPath : logPath.substr(0, dot)) + L".log";
  const cvl::TScopedHandle file(::CreateFileW(logPath.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                             nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return;
  const std::string line = "start\tcmdline=" + Utf8(commandLine) + "\tcwd=" + Utf8(currentDir) + "\r\n";
  DWORD written = 0;
  ::WriteFile(file.Get(), line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
}

std::wstring gArguments;

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_PAINT: {
      PAINTSTRUCT paint;
      HDC dc = ::BeginPaint(window, &paint);
      RECT rect;
      ::GetClientRect(window, &rect);
      const std::wstring text = L"Arguments: " + gArguments;
      ::DrawTextW(dc, text.c_str(), -1, &rect, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
      ::EndPaint(window, &paint);
      return 0;
    }
    case WM_DESTROY:
      ::PostQuitMessage(0);
      return 0;
    default:
      return ::DefWindowProcW(window, message, wParam, lParam);
  }
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, LPWSTR arguments, int show) {
  wchar_t current[MAX_PATH] = {};
  ::GetCurrentDirectoryW(MAX_PATH, current);
  AppendStartToLog(::GetCommandLineW(), current);
  gArguments = arguments != nullptr ? arguments : L"";

  WNDCLASSW windowClass = {};
  windowClass.lpfnWndProc = WindowProc;
  windowClass.hInstance = instance;
  windowClass.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  windowClass.lpszClassName = kClassName;
  ::RegisterClassW(&windowClass);
  HWND window = ::CreateWindowExW(0, kClassName, kTitle, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT, 480, 160,
                                  nullptr, nullptr, instance, nullptr);
  ::ShowWindow(window, show);
  MSG msg;
  while (::GetMessageW(&msg, nullptr, 0, 0) > 0) {
    ::TranslateMessage(&msg);
    ::DispatchMessageW(&msg);
  }
  return 0;
}
