#include "app/LauncherGate.h"

#include <windows.h>
#include <shellapi.h>

#include "app/FrmMain.h"
#include "core/Text.h"
#include "win32/base/ScopedHandle.h"
#include "win32/base/WinText.h"

namespace cvl {

std::vector<std::u16string> CommandLineParameters(const wchar_t* commandLine) {
  std::vector<std::u16string> parameters;
  int count = 0;
  const TScopedLocalMemory<wchar_t*> arguments(::CommandLineToArgvW(commandLine, &count));
  if (!arguments) return parameters;
  for (int i = 0; i < count; ++i) parameters.push_back(FromWide(arguments.Get()[i]));
  return parameters;
}

bool HasAutolaunchSwitch(const std::vector<std::u16string>& parameters) {
  for (std::size_t i = 1; i < parameters.size(); ++i) {
    if (UpperAscii(parameters[i]) == AutolaunchSwitch) return true;
  }
  return false;
}

bool OtherLauncherRunning() {
  // Both searches are always made.
  const bool ownWindow = ::FindWindowW(MainWindowClassName, nullptr) != nullptr;
  const bool clientLauncher = ::FindWindowW(ClientLauncherClassName, nullptr) != nullptr;
  return ownWindow || clientLauncher;
}

}  // namespace cvl
