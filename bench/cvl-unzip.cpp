// The core's ZIP extractor as a command-line program, so that it can be timed against
// other unpackers and any archive can be tried against the platform's file layer (under
// Wine too, as cvl-unzip.exe):
//   cvl-unzip ARCHIVE TARGET-FOLDER   unpacks, whole or not at all
//   cvl-unzip --list ARCHIVE          the entries as the reader sees them: size, name
//   cvl-unzip --recover FOLDER        puts right what an interrupted unpack left there
#include <cstdio>
#include <string>
#include <vector>

#include "core/Text.h"
#include "core/ZipExtract.h"
#include "core/ZipReader.h"

namespace {

int Usage() {
  std::fprintf(stderr, "usage: cvl-unzip ARCHIVE TARGET-FOLDER | --list ARCHIVE | --recover FOLDER\n");
  return 2;
}

int Run(const std::vector<std::u16string>& args) {
  try {
    if (args.size() == 2 && args[0] == u"--list") {
      const cvl::TZipReader reader(args[1]);
      for (const cvl::TZipEntry& entry : reader.Entries()) {
        std::printf("%llu\t%s%s\n", static_cast<unsigned long long>(entry.UncompressedSize),
                    cvl::Utf16ToUtf8(entry.Name).c_str(), entry.IsDirectory && !entry.Name.ends_with(u'/') ? "/" : "");
      }
    } else if (args.size() == 2 && args[0] == u"--recover") {
      cvl::RecoverInterruptedUnpack(args[1]);
    } else if (args.size() == 2 && !args[0].starts_with(u"--")) {
      cvl::ExtractZipArchive(args[0], args[1]);
    } else {
      return Usage();
    }
  } catch (const cvl::Exception& error) {
    std::fprintf(stderr, "%s\n", cvl::Utf16ToUtf8(error.Message()).c_str());
    return 1;
  }
  return 0;
}

}  // namespace

#ifdef _WIN32
int wmain(int argc, wchar_t** argv) {
  std::vector<std::u16string> args;
  for (int i = 1; i < argc; ++i) args.emplace_back(reinterpret_cast<const char16_t*>(argv[i]));
  return Run(args);
}
#else
int main(int argc, char** argv) {
  std::vector<std::u16string> args;
  for (int i = 1; i < argc; ++i) args.push_back(cvl::Utf8ToUtf16(argv[i]));
  return Run(args);
}
#endif
