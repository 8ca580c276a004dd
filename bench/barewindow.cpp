// The yardstick for start-up time: a Win32 program that only registers a class, opens
// one window and runs its message loop. Built by bench/run.sh with the same
// cross compiler and static runtimes as the launcher.
#include <windows.h>

#include "BenchWindow.h"

namespace {

constexpr wchar_t kClassName[] = L"CvlBareWindow";
constexpr wchar_t kCaption[] = L"CVL bare window";

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_DESTROY) {
    ::PostQuitMessage(0);
    return 0;
  }
  return ::DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int show) {
  return RunBenchWindow(instance, kClassName, kCaption, &WindowProc, show);
}
