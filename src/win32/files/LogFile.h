// The log beside the running executable, for the Windows layer's callers.
#pragma once

#include <string>

namespace cvl {

// Appends one line to "CVLauncher.log" beside the executable (see core/LogFile.h);
// raises EFOpenError or EFCreateError, leaving the file as it was.
void WriteLog(const std::u16string& line);

}  // namespace cvl
