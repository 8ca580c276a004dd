#include "UpdateSignature.h"

#include <algorithm>
#include <array>
#include <condition_variable>
#include <deque>
#include <exception>
#include <mutex>
#include <thread>

#include "DerCoding.h"
#include "Exception.h"

namespace cvl {
namespace {

// One INTEGER of a signature, as 32 bytes, when it lies in 1 .. n-1.
bool ReadSignatureHalf(TDerReader& reader, std::uint8_t* out) {
  const auto content = reader.Read(der::kInteger);
  if (!content) return false;
  const auto magnitude = DerUnsignedValue(*content);
  if (!magnitude || magnitude->size() > 32) return false;
  std::array<std::uint8_t, 32> value{};
  std::copy(magnitude->begin(), magnitude->end(), value.end() - static_cast<std::ptrdiff_t>(magnitude->size()));
  if (!InOpenRange(value.data(), kP256Order)) return false;
  std::copy(value.begin(), value.end(), out);
  return true;
}

}  // namespace

std::string SignedMessagePrefix(std::string_view fileName) {
  std::string prefix(kSignatureFormatLine);
  prefix += '\n';
  prefix += fileName;
  prefix += '\n';
  return prefix;
}

std::optional<TP256Signature> ParseDerSignature(std::string_view der) {
  TDerReader outer(der);
  const auto body = outer.Read(der::kSequence);
  if (!body || !outer.AtEnd()) return std::nullopt;
  TDerReader inner(*body);
  TP256Signature signature{};
  if (!ReadSignatureHalf(inner, signature.data()) || !ReadSignatureHalf(inner, signature.data() + 32) ||
      !inner.AtEnd()) {
    return std::nullopt;
  }
  return signature;
}

std::string EncodeDerSignature(const TP256Signature& signature) {
  const auto* bytes = reinterpret_cast<const char*>(signature.data());
  return DerElement(der::kSequence, DerUnsignedInteger(std::string_view(bytes, 32)) +
                                        DerUnsignedInteger(std::string_view(bytes + 32, 32)));
}

TSignedMessageDigest::TSignedMessageDigest(std::string_view fileName) : FHash(CreateSha256()) {
  const std::string prefix = SignedMessagePrefix(fileName);
  Update(reinterpret_cast<const std::uint8_t*>(prefix.data()), prefix.size());
}

void TSignedMessageDigest::Update(const std::uint8_t* data, std::size_t size) { FHash->Update(data, size); }

TSha256Digest TSignedMessageDigest::Finish() { return FHash->Finish(); }

struct TBackgroundSignedDigest::TState {
  explicit TState(std::string_view fileName) : Digest(fileName) {}

  TSignedMessageDigest Digest;
  std::mutex Lock;
  std::condition_variable Changed;
  std::deque<std::vector<std::uint8_t>> Waiting;  // full blocks, oldest first
  std::size_t WaitingBytes = 0;
  bool Hashing = false;  // the thread holds a block outside the queue
  bool Stopping = false;
  std::exception_ptr Error;
  std::vector<std::uint8_t> Filling;  // the feeder's block, not yet handed over
  std::thread Worker;

  void Run() {
    std::unique_lock<std::mutex> lock(Lock);
    for (;;) {
      Changed.wait(lock, [this] { return Stopping || !Waiting.empty(); });
      if (Waiting.empty()) return;
      std::vector<std::uint8_t> block = std::move(Waiting.front());
      Waiting.pop_front();
      Hashing = true;
      lock.unlock();
      std::exception_ptr error;
      try {
        Digest.Update(block.data(), block.size());
      } catch (...) {
        error = std::current_exception();
      }
      lock.lock();
      Hashing = false;
      WaitingBytes -= block.size();
      if (error) {
        // Nothing further can make the digest right: what waits is dropped, and the
        // error waits for Finish.
        Error = error;
        DropWaiting();
      }
      Changed.notify_all();
    }
  }

  // Called with the lock held.
  void DropWaiting() {
    for (const auto& left : Waiting) WaitingBytes -= left.size();
    Waiting.clear();
  }

  // Hands the feeder's block to the thread, waiting while the queue is full.
  void HandOver() {
    if (Filling.empty()) return;
    std::unique_lock<std::mutex> lock(Lock);
    Changed.wait(lock, [this] { return Error || WaitingBytes + Filling.size() <= kBackgroundDigestQueue; });
    if (!Error) {
      WaitingBytes += Filling.size();
      Waiting.push_back(std::move(Filling));
      Changed.notify_all();
    }
    Filling = std::vector<std::uint8_t>();
  }

  void Stop() {
    {
      const std::lock_guard<std::mutex> lock(Lock);
      Stopping = true;
      Changed.notify_all();
    }
    if (Worker.joinable()) Worker.join();
  }
};

TBackgroundSignedDigest::TBackgroundSignedDigest(std::string_view fileName)
    : FState(std::make_unique<TState>(fileName)) {
  FState->Worker = std::thread([state = FState.get()] { state->Run(); });
}

TBackgroundSignedDigest::~TBackgroundSignedDigest() {
  {
    // What waits is not hashed any more: the thread ends after the block it holds.
    const std::lock_guard<std::mutex> lock(FState->Lock);
    FState->DropWaiting();
  }
  FState->Stop();
}

void TBackgroundSignedDigest::Update(const std::uint8_t* data, std::size_t size) {
  while (size > 0) {
    if (FState->Filling.capacity() < kBackgroundDigestBlock) FState->Filling.reserve(kBackgroundDigestBlock);
    const std::size_t room = kBackgroundDigestBlock - FState->Filling.size();
    const std::size_t take = std::min(room, size);
    FState->Filling.insert(FState->Filling.end(), data, data + take);
    data += take;
    size -= take;
    if (FState->Filling.size() == kBackgroundDigestBlock) FState->HandOver();
  }
}

TSha256Digest TBackgroundSignedDigest::Finish() {
  FState->HandOver();
  {
    std::unique_lock<std::mutex> lock(FState->Lock);
    FState->Changed.wait(lock, [this] { return FState->Waiting.empty() && !FState->Hashing; });
  }
  FState->Stop();
  if (FState->Error) std::rethrow_exception(FState->Error);
  return FState->Digest.Finish();
}

TSha256Digest SignedMessageDigest(std::string_view fileName, IByteStream& file) {
  TSignedMessageDigest digest(fileName);
  std::vector<std::uint8_t> piece(kSignatureReadPiece);
  for (std::size_t got; (got = file.Read(piece.data(), piece.size())) > 0;) {
    digest.Update(piece.data(), got);
  }
  return digest.Finish();
}

TSignatureCheck VerifyDigestSignature(const std::vector<TP256Point>& keys, const TSha256Digest& messageDigest,
                                      std::string_view signatureDer) {
  const auto signature = ParseDerSignature(signatureDer);
  if (!signature) return TSignatureCheck::Malformed;
  for (const TP256Point& point : keys) {
    try {
      if (CreateEcdsaP256PublicKey(point)->Verify(messageDigest, *signature)) return TSignatureCheck::Verified;
    } catch (const Exception&) {
      // A key the platform refuses verifies nothing; the other keys still may.
    }
  }
  return TSignatureCheck::NotVerified;
}

TSignatureCheck VerifyFileSignature(const std::vector<TP256Point>& keys, std::string_view fileName,
                                    IByteStream& file, std::string_view signatureDer) {
  if (!ParseDerSignature(signatureDer)) return TSignatureCheck::Malformed;
  return VerifyDigestSignature(keys, SignedMessageDigest(fileName, file), signatureDer);
}

}  // namespace cvl
