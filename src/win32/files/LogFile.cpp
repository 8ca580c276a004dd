#include "win32/files/LogFile.h"

#include "core/LogFile.h"
#include "win32/files/Win32LocalFiles.h"

namespace cvl {

void WriteLog(const std::u16string& line) {
  TWin32LocalFiles files;
  WriteLog(files, line);
}

}  // namespace cvl
