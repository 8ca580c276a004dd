// The core's ZIP extractor as a command-line program, so it can be timed against other
// unpackers: cvl-unzip ARCHIVE TARGET-FOLDER
#include <cstdio>
#include <string>

#include "core/Text.h"
#include "core/ZipExtract.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: cvl-unzip ARCHIVE TARGET-FOLDER\n");
    return 2;
  }
  try {
    cvl::ExtractZipArchive(cvl::Utf8ToUtf16(argv[1]), cvl::Utf8ToUtf16(argv[2]));
  } catch (const cvl::Exception& error) {
    std::fprintf(stderr, "%s\n", cvl::Utf16ToUtf8(error.Message()).c_str());
    return 1;
  }
  return 0;
}
