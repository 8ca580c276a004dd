// Stand-in for a library the launcher only places on disk (the locale emulator's
// libraries, the WebView2 loader): loadable, and it says which one it is.
#include <windows.h>

#ifndef STUB_LIBRARY_NAME
#error "STUB_LIBRARY_NAME must name the library"
#endif

extern "C" __declspec(dllexport) const char* __cdecl StandInName() { return STUB_LIBRARY_NAME; }

BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }
