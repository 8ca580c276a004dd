#include "V1PakConvert.h"

#include <algorithm>
#include <stdexcept>

#include "AesBlock.h"
#include "Exception.h"

namespace cvl {
namespace {

constexpr std::size_t kBlock = 16;

TAesBlockBytes First16(std::string_view text, const char* what) {
  if (text.size() < kBlock) {
    throw std::invalid_argument(std::string(what) + " must hold at least 16 bytes");
  }
  TAesBlockBytes out{};
  std::copy_n(reinterpret_cast<const std::uint8_t*>(text.data()), kBlock, out.begin());
  return out;
}

TAesBlockBytes Load(std::string_view data, std::size_t offset) {
  TAesBlockBytes out{};
  std::copy_n(reinterpret_cast<const std::uint8_t*>(data.data()) + offset, kBlock, out.begin());
  return out;
}

void XorInto(TAesBlockBytes& target, const TAesBlockBytes& with) {
  for (std::size_t i = 0; i < kBlock; ++i) target[i] ^= with[i];
}

void Append(std::string& out, const TAesBlockBytes& block, std::size_t count = kBlock) {
  out.append(reinterpret_cast<const char*>(block.data()), count);
}

}  // namespace

std::string AesEncryptCbc(std::string_view data, std::string_view keyText, std::string_view ivText) {
  const auto cipher = CreateAes128Block(First16(keyText, "key text"));
  TAesBlockBytes chain = First16(ivText, "IV text");

  std::string padded(data);
  const std::size_t pad = kBlock - data.size() % kBlock;  // 1 to 16
  padded.append(pad, static_cast<char>(pad));

  std::string out;
  out.reserve(padded.size());
  for (std::size_t offset = 0; offset < padded.size(); offset += kBlock) {
    TAesBlockBytes block = Load(padded, offset);
    XorInto(block, chain);
    chain = cipher->Encrypt(block);
    Append(out, chain);
  }
  return out;
}

std::string AesDecryptCbc(std::string_view data, std::string_view keyText, std::string_view ivText) {
  const auto cipher = CreateAes128Block(First16(keyText, "key text"));
  TAesBlockBytes chain = First16(ivText, "IV text");

  std::string out;
  out.reserve(data.size());
  const std::size_t whole = data.size() / kBlock * kBlock;
  for (std::size_t offset = 0; offset < whole; offset += kBlock) {
    const TAesBlockBytes block = Load(data, offset);
    TAesBlockBytes plain = cipher->Decrypt(block);
    XorInto(plain, chain);
    Append(out, plain);
    chain = block;
  }

  // The trailing partial block: XOR with the encryption of the last whole cipher block,
  // or of the IV when there is none (chain holds exactly that).
  const std::size_t rest = data.size() - whole;
  if (rest != 0) {
    const TAesBlockBytes stream = cipher->Encrypt(chain);
    for (std::size_t i = 0; i < rest; ++i) {
      out.push_back(static_cast<char>(static_cast<std::uint8_t>(data[whole + i]) ^ stream[i]));
    }
  }

  if (out.empty()) {
    throw EDecryptError(u"The protected value is empty");
  }
  const std::size_t pad = static_cast<std::uint8_t>(out.back());
  if (pad > out.size()) {
    throw EDecryptError(u"The protected value has an invalid padding");
  }
  out.resize(out.size() - pad);
  return out;
}

}  // namespace cvl
