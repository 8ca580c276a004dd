// The paths the Windows layer works out: where the running program lies, and the full
// form of a relative path.
#pragma once

#include <string>

namespace cvl {

// The running executable's file name without the folder ("CVLauncher.exe").
std::u16string ProgramFileName();
// Its folder, ending in a backslash; the current directory does not matter.
std::u16string ExecutableDirectory();

// The path made absolute against the current directory; the path itself when the
// system cannot make it so.
std::wstring FullPathName(const std::wstring& path);

}  // namespace cvl
