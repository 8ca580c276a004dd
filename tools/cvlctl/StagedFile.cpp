#include "StagedFile.h"

#include <cstdlib>
#include <mutex>

#include "ToolSupport.h"
#include "core/Text.h"

namespace cvl {
namespace {

constexpr std::string_view kTemporarySuffix = ".cvlctl-tmp";
constexpr std::size_t kBufferSize = 1 << 20;

// For the tests only: CVLCTL_TEST_WRITE_FAULT=fail:N makes the write that would pass the
// N-th byte written by this process fail after writing up to it, as a full disk does;
// kill:N ends the process right there, as a power cut or a kill does. Nothing else reads
// the variable, and nothing happens without it.
class TWriteFault {
 public:
  TWriteFault() {
    const char* setting = std::getenv("CVLCTL_TEST_WRITE_FAULT");
    if (setting == nullptr) return;
    const std::string text = setting;
    const std::size_t colon = text.find(':');
    if (colon == std::string::npos) return;
    FKill = text.substr(0, colon) == "kill";
    FLimit = std::strtoull(text.c_str() + colon + 1, nullptr, 10);
    FActive = true;
  }

  // How many of `size` bytes may be written now.
  std::size_t Allowed(std::size_t size) {
    const std::lock_guard<std::mutex> lock(FLock);
    if (!FActive) return size;
    const std::uint64_t left = FLimit - FWritten;
    const std::size_t allowed = left < size ? static_cast<std::size_t>(left) : size;
    FWritten += allowed;
    return allowed;
  }

  [[noreturn]] void Strike(const std::string& path) const {
    if (FKill) std::_Exit(137);
    throw EBadInput(u"cannot write " + ShownPath(path) + u": no space left (a fault set by CVLCTL_TEST_WRITE_FAULT)");
  }

 private:
  std::mutex FLock;
  bool FActive = false;
  bool FKill = false;
  std::uint64_t FLimit = 0;
  std::uint64_t FWritten = 0;
};

TWriteFault& WriteFault() {
  static TWriteFault fault;
  return fault;
}

}  // namespace

std::string StagedFileSuffix() { return std::string(kTemporarySuffix); }

std::string TStagedFile::TemporaryPathOf(const std::string& target) { return target + std::string(kTemporarySuffix); }

TStagedFile::TStagedFile(std::string target)
    : FTarget(std::move(target)), FTemporary(TemporaryPathOf(FTarget)), FFile(TOsFile::Create(FTemporary)) {
  FBuffer.reserve(kBufferSize);
}

TStagedFile::~TStagedFile() {
  if (FInPlace) return;
  FFile.Close();
  RemoveFile(FTemporary);
}

void TStagedFile::Put(std::uint64_t offset, std::string_view bytes) {
  const std::size_t allowed = WriteFault().Allowed(bytes.size());
  FFile.WriteAt(offset, bytes.data(), allowed);
  if (allowed < bytes.size()) WriteFault().Strike(FTemporary);
}

void TStagedFile::Flush() {
  if (FBuffer.empty()) return;
  Put(FBufferStart, FBuffer);
  FBufferStart += FBuffer.size();
  FBuffer.clear();
}

void TStagedFile::Write(std::string_view bytes) {
  if (FBuffer.size() + bytes.size() > kBufferSize) Flush();
  if (bytes.size() >= kBufferSize) {
    Put(FBufferStart, bytes);
    FBufferStart += bytes.size();
  } else {
    FBuffer.append(bytes);
  }
  FPosition += bytes.size();
}

void TStagedFile::WriteAt(std::uint64_t offset, std::string_view bytes) {
  if (offset >= FBufferStart && offset - FBufferStart + bytes.size() <= FBuffer.size()) {
    // Still in the buffer.
    FBuffer.replace(static_cast<std::size_t>(offset - FBufferStart), bytes.size(), bytes);
    return;
  }
  Flush();
  Put(offset, bytes);
}

void TStagedFile::Finish() {
  Flush();
  FFile.SyncAndClose();
  FFinished = true;
}

void TStagedFile::PutInPlace() {
  if (!FFinished) Finish();
  MoveIntoPlace(FTemporary, FTarget);
  FInPlace = true;
}

void ReplaceFileContent(const std::string& target, std::string_view bytes) {
  TStagedFile file(target);
  file.Write(bytes);
  file.PutInPlace();
}

}  // namespace cvl
