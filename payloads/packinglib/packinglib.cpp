// Stand-in packing library of the patch tool.
#include <windows.h>

extern "C" __declspec(dllexport) const char* __cdecl PackingLibraryVersion() { return "stand-in 1.0"; }

BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }
