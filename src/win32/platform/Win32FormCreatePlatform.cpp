#include "win32/platform/Win32FormCreatePlatform.h"

#include <windows.h>

#include "win32/base/WinText.h"
#include "win32/files/Registry.h"
#include "win32/window/WindowErrorBox.h"

namespace cvl {

bool TWin32FormCreatePlatform::IsDebuggerPresent() { return ::IsDebuggerPresent() != FALSE; }

void TWin32FormCreatePlatform::ShowMessage(const std::u16string& text) {
  ::MessageBoxW(nullptr, ToWide(text).c_str(), ToWide(ApplicationTitle()).c_str(), MB_OK | MB_TASKMODAL);
}

std::u16string TWin32FormCreatePlatform::ReadLocalMachineString(const std::u16string& keyPath,
                                                                const std::u16string& valueName) {
  return ReadRegistryString(HKEY_LOCAL_MACHINE, keyPath, valueName);
}

}  // namespace cvl
