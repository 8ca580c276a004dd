// Process entry of cvlctl: turns the platform's arguments and streams into TToolIo.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <system_error>
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

// Arguments are text in both worlds: wide on Windows, one byte per unit elsewhere.
std::filesystem::path ToPath(const std::u16string& text) {
#ifdef _WIN32
  return std::filesystem::path(std::wstring(text.begin(), text.end()));
#else
  return std::filesystem::path(cvl::NarrowLatin1(text));
#endif
}

std::optional<std::string> ReadFile(const std::u16string& name) {
  std::ifstream in(ToPath(name), std::ios::binary);
  if (!in) return std::nullopt;
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) return std::nullopt;
  return bytes;
}

// Written beside the target first, then moved over it: no half-written file is left.
bool WriteFile(const std::u16string& name, const std::string& bytes) {
  const std::filesystem::path target = ToPath(name);
  std::filesystem::path temporary = target;
  temporary += ".tmp";
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    if (!out) return false;
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out) {
      std::error_code ignored;
      std::filesystem::remove(temporary, ignored);
      return false;
    }
  }
  std::error_code error;
  std::filesystem::rename(temporary, target, error);
  if (error) std::filesystem::remove(temporary, error);
  return !error;
}

cvl::TToolIo MakeIo() {
#ifdef _WIN32
  // Bytes in, bytes out: no Ctrl-Z end of file, no newline translation.
  _setmode(_fileno(stdin), _O_BINARY);
  _setmode(_fileno(stdout), _O_BINARY);
  _setmode(_fileno(stderr), _O_BINARY);
#endif
  return cvl::TToolIo{ReadStdinLine, [](const std::string& s) { Write(stdout, s); },
                      [](const std::string& s) { Write(stderr, s); }, ReadFile, WriteFile};
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
