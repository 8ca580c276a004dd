// Writes one log line through the launcher's own log function, so the tests can run it
// from a folder of their choosing with another current directory. Exit code 1 and the
// error's message on standard error when the write fails.
#include <cstdio>

#include "core/Exception.h"
#include "win32/base/WinText.h"
#include "win32/files/LogFile.h"

int wmain(int argc, wchar_t** argv) {
  if (argc != 2) return 2;
  try {
    cvl::WriteLog(cvl::FromWide(argv[1]));
  } catch (const cvl::Exception& e) {
    std::fprintf(stderr, "%s\n", e.what());
    return 1;
  }
  return 0;
}
