// Process entry of cvlctl: turns the platform's arguments and streams into TToolIo.
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <memory>
#include <system_error>
#include <string>
#include <vector>

#include "CvlCtl.h"
#include "core/Exception.h"
#include "core/Text.h"
#include "core/UpdateSignature.h"

#include <fcntl.h>
#include <sys/stat.h>
#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
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

class TFileStream final : public cvl::IByteStream {
 public:
  explicit TFileStream(const std::filesystem::path& path) : FIn(path, std::ios::binary) {}
  bool IsOpen() const { return FIn.is_open(); }

  std::size_t Read(std::uint8_t* buffer, std::size_t size) override {
    FIn.read(reinterpret_cast<char*>(buffer), static_cast<std::streamsize>(size));
    if (FIn.bad()) throw cvl::Exception("EInOutError", u"read error");
    return static_cast<std::size_t>(FIn.gcount());
  }

 private:
  std::ifstream FIn;
};

std::unique_ptr<cvl::IByteStream> OpenRead(const std::u16string& name) {
  auto stream = std::make_unique<TFileStream>(ToPath(name));
  if (!stream->IsOpen()) return nullptr;
  return stream;
}

// The file is made exclusively, so an existing one (a key above all) is never touched.
cvl::TCreateResult CreateNewFile(const std::u16string& name, const std::string& bytes, bool ownerOnly) {
  const std::filesystem::path path = ToPath(name);
#ifdef _WIN32
  // Windows gives the file its folder's permissions; the mode bits only say read-write.
  (void)ownerOnly;
  const int fd = _wopen(path.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY, _S_IREAD | _S_IWRITE);
#else
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, ownerOnly ? 0600 : 0644);
#endif
  if (fd < 0) return errno == EEXIST ? cvl::TCreateResult::Exists : cvl::TCreateResult::Failed;
  std::size_t done = 0;
  bool ok = true;
  while (ok && done < bytes.size()) {
#ifdef _WIN32
    const int wrote = _write(fd, bytes.data() + done, static_cast<unsigned>(bytes.size() - done));
#else
    const auto wrote = write(fd, bytes.data() + done, bytes.size() - done);
#endif
    ok = wrote > 0;
    if (ok) done += static_cast<std::size_t>(wrote);
  }
#ifdef _WIN32
  ok = _close(fd) == 0 && ok;
#else
  ok = close(fd) == 0 && ok;
#endif
  if (!ok) {
    std::error_code ignored;
    std::filesystem::remove(path, ignored);
    return cvl::TCreateResult::Failed;
  }
  return cvl::TCreateResult::Created;
}

void RemoveFile(const std::u16string& name) {
  std::error_code ignored;
  std::filesystem::remove(ToPath(name), ignored);
}

bool MakeFolder(const std::u16string& name) {
  std::error_code error;
  std::filesystem::create_directories(ToPath(name), error);
  return std::filesystem::is_directory(ToPath(name), error);
}

cvl::TToolIo MakeIo() {
#ifdef _WIN32
  // Bytes in, bytes out: no Ctrl-Z end of file, no newline translation.
  _setmode(_fileno(stdin), _O_BINARY);
  _setmode(_fileno(stdout), _O_BINARY);
  _setmode(_fileno(stderr), _O_BINARY);
#endif
  return cvl::TToolIo{ReadStdinLine, [](const std::string& s) { Write(stdout, s); },
                      [](const std::string& s) { Write(stderr, s); }, ReadFile, WriteFile,
                      OpenRead, CreateNewFile, RemoveFile, MakeFolder};
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
