// Process entry of cvlctl: turns the platform's arguments and streams into TToolIo.
#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#include "CvlCtl.h"
#include "core/Text.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

namespace {

std::optional<std::string> ReadStdinLine() {
  std::string line;
  int c = 0;
  bool any = false;
  while ((c = std::fgetc(stdin)) != EOF) {
    any = true;
    if (c == '\n') break;
    line.push_back(static_cast<char>(c));
  }
  if (!any) return std::nullopt;
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return line;
}

void Write(std::FILE* stream, const std::string& bytes) {
  std::fwrite(bytes.data(), 1, bytes.size(), stream);
  std::fflush(stream);
}

cvl::TToolIo MakeIo() {
#ifdef _WIN32
  // Bytes in, bytes out: no Ctrl-Z end of file, no newline translation.
  _setmode(_fileno(stdin), _O_BINARY);
  _setmode(_fileno(stdout), _O_BINARY);
  _setmode(_fileno(stderr), _O_BINARY);
#endif
  return cvl::TToolIo{ReadStdinLine, [](const std::string& s) { Write(stdout, s); },
                      [](const std::string& s) { Write(stderr, s); }};
}

}  // namespace

#ifdef _WIN32
int wmain(int argc, wchar_t** argv) {
  std::vector<std::u16string> args;
  for (int i = 1; i < argc; ++i) {
    args.emplace_back(reinterpret_cast<const char16_t*>(argv[i]));
  }
  return cvl::RunCvlCtl(args, MakeIo());
}
#else
int main(int argc, char** argv) {
  std::vector<std::u16string> args;
  for (int i = 1; i < argc; ++i) {
    args.push_back(cvl::WidenLatin1(argv[i]));
  }
  return cvl::RunCvlCtl(args, MakeIo());
}
#endif
