// The single-instance gate: a new copy does not start beside an open launcher window
// unless it is told to auto-launch.
#pragma once

#include <string>
#include <vector>

namespace cvl {

inline constexpr char16_t AutolaunchSwitch[] = u"/AUTOLAUNCH";
// The main window of the client launcher that a finished run starts.
inline constexpr wchar_t ClientLauncherClassName[] = L"VezezuRovedazez0.9.DNC";

// The parameters of a command line, split the system's usual way; the first is the
// program's own path.
std::vector<std::u16string> CommandLineParameters(const wchar_t* commandLine);

// Whether a parameter after the program's path is the switch, in any letter case.
bool HasAutolaunchSwitch(const std::vector<std::u16string>& parameters);

// Whether a top-level window of this program's class or the client launcher's class
// exists, whatever its title and visibility.
bool OtherLauncherRunning();

}  // namespace cvl
