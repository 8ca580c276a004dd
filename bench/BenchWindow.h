// The window both start-up yardsticks open (barewindow.cpp, artworkwindow.cpp): one class
// registered, one window made and shown, the message loop run until it closes.
#pragma once

#include <windows.h>

// Returns the program's exit code: 1 when the window cannot be made.
inline int RunBenchWindow(HINSTANCE instance, const wchar_t* className, const wchar_t* caption,
                          WNDPROC windowProc, int show) {
  WNDCLASSEXW windowClass{};
  windowClass.cbSize = sizeof(windowClass);
  windowClass.lpfnWndProc = windowProc;
  windowClass.hInstance = instance;
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  windowClass.lpszClassName = className;
  if (::RegisterClassExW(&windowClass) == 0) return 1;
  HWND window = ::CreateWindowExW(0, className, caption, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT,
                                  400, 300, nullptr, nullptr, instance, nullptr);
  if (window == nullptr) return 1;
  ::ShowWindow(window, show);
  ::UpdateWindow(window);
  MSG message;
  while (::GetMessageW(&message, nullptr, 0, 0) > 0) {
    ::TranslateMessage(&message);
    ::DispatchMessageW(&message);
  }
  return 0;
}
