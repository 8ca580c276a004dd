// SHA-256 on Windows CNG (bcrypt), for cvlctl.exe.
#include <windows.h>
#include <bcrypt.h>

#include <vector>

#include "Sha256.h"
#include "ToolSupport.h"

namespace cvl {
namespace {

bool Succeeded(NTSTATUS status) { return status >= 0; }

[[noreturn]] void Fail() { throw EBadInput(u"SHA-256 is not available from CNG"); }

}  // namespace

struct TSha256::TState {
  BCRYPT_ALG_HANDLE Algorithm = nullptr;
  BCRYPT_HASH_HANDLE Hash = nullptr;
  // The hash object's size differs between Windows versions and Wine: asked, never assumed.
  std::vector<UCHAR> HashObject;
  ~TState() {
    if (Hash != nullptr) BCryptDestroyHash(Hash);
    if (Algorithm != nullptr) BCryptCloseAlgorithmProvider(Algorithm, 0);
  }
};

TSha256::TSha256() : FState(std::make_unique<TState>()) {
  if (!Succeeded(BCryptOpenAlgorithmProvider(&FState->Algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0))) {
    FState->Algorithm = nullptr;
    Fail();
  }
  DWORD objectLength = 0;
  ULONG got = 0;
  if (!Succeeded(BCryptGetProperty(FState->Algorithm, BCRYPT_OBJECT_LENGTH, reinterpret_cast<PUCHAR>(&objectLength),
                                   sizeof(objectLength), &got, 0))) {
    Fail();
  }
  FState->HashObject.resize(objectLength);
  if (!Succeeded(BCryptCreateHash(FState->Algorithm, &FState->Hash, FState->HashObject.data(), objectLength, nullptr,
                                  0, 0))) {
    FState->Hash = nullptr;
    Fail();
  }
}

TSha256::~TSha256() = default;

void TSha256::Update(std::string_view bytes) {
  // BCryptHashData takes a 32-bit length.
  constexpr std::size_t kMostAtOnce = 1u << 30;
  while (!bytes.empty()) {
    const std::size_t size = bytes.size() < kMostAtOnce ? bytes.size() : kMostAtOnce;
    if (!Succeeded(BCryptHashData(FState->Hash, reinterpret_cast<PUCHAR>(const_cast<char*>(bytes.data())),
                                  static_cast<ULONG>(size), 0))) {
      throw EBadInput(u"SHA-256 failed");
    }
    bytes.remove_prefix(size);
  }
}

TSha256Digest TSha256::Finish() {
  TSha256Digest digest{};
  if (!Succeeded(BCryptFinishHash(FState->Hash, digest.data(), static_cast<ULONG>(digest.size()), 0))) {
    throw EBadInput(u"SHA-256 failed");
  }
  return digest;
}

}  // namespace cvl
