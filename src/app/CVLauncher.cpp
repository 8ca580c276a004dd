// The program's entry: the single-instance gate, then the status window until it closes.
// The process ends with exit code 0 on every path.
#include <windows.h>

#include "app/Application.h"
#include "app/LauncherGate.h"
#include "app/LauncherRun.h"
#include "win32/window/WindowErrorBox.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  const bool autolaunch = cvl::HasAutolaunchSwitch(cvl::CommandLineParameters(::GetCommandLineW()));
  if (!autolaunch && cvl::OtherLauncherRunning()) return 0;
  try {
    cvl::TLauncherRun run;
    cvl::RunApplication(run.Hooks());
  } catch (...) {
    // The window could not be made at all: say why rather than vanish.
    cvl::ShowCurrentExceptionBox(nullptr);
  }
  return 0;
}
