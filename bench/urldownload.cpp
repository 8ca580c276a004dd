// The yardstick for the launcher's downloads: the system's URL moniker alone, fetching
// each URL to a file one after the other, with nothing else around it.
//   urldownload.exe URL FILE [URL FILE ...]
#include <windows.h>
#include <urlmon.h>

int wmain(int argc, wchar_t** argv) {
  for (int i = 1; i + 1 < argc; i += 2) {
    if (FAILED(::URLDownloadToFileW(nullptr, argv[i], argv[i + 1], 0, nullptr))) return 1;
  }
  return 0;
}
