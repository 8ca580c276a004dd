// The launcher's log: "CVLauncher.log" beside the executable (never beside the client),
// plain lines, oldest first, across all runs, every line ended by CR LF.
#pragma once

#include <string>
#include <string_view>

#include "LocalFiles.h"

namespace cvl {

inline constexpr std::u16string_view LogFileName = u"CVLauncher.log";

// Appends one line. The file keeps the encoding and mark it has; a new file is written
// in the ANSI code page without a mark. The whole file is replaced in one step, so a
// failed write leaves it as it was. Raises EFOpenError or EFCreateError.
void WriteLog(ILocalFiles& files, const std::u16string& line);

}  // namespace cvl
