// The string cipher: the AES block, CBC chaining with our partial block and padding
// rules, the lenient Base64, and the text operations on top.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "core/AesBlock.h"
#include "core/Base64.h"
#include "core/Exception.h"
#include "core/StringCipher.h"
#include "core/Text.h"
#include "core/V1PakConvert.h"

namespace cvl {
namespace {

TAesBlockBytes FromHex(std::string_view hex) {
  TAesBlockBytes out{};
  for (std::size_t i = 0; i < 16; ++i) {
    out[i] = static_cast<std::uint8_t>(std::stoi(std::string(hex.substr(i * 2, 2)), nullptr, 16));
  }
  return out;
}

std::string Bytes(const TAesBlockBytes& block) { return std::string(block.begin(), block.end()); }

TAesBlockBytes Block(std::string_view bytes) {
  TAesBlockBytes out{};
  std::copy_n(bytes.begin(), 16, out.begin());
  return out;
}

TEST(AesBlock, Fips197Vector) {
  const auto cipher = CreateAes128Block(FromHex("000102030405060708090a0b0c0d0e0f"));
  const auto plain = FromHex("00112233445566778899aabbccddeeff");
  const auto expected = FromHex("69c4e0d86a7b0430d8cdb78070b4c55a");
  EXPECT_EQ(cipher->Encrypt(plain), expected);
  EXPECT_EQ(cipher->Decrypt(expected), plain);
}

TEST(Base64, Rfc4648Vectors) {
  const std::pair<const char*, const char*> cases[] = {
      {"", ""},         {"f", "Zg=="},         {"fo", "Zm8="},         {"foo", "Zm9v"},
      {"foob", "Zm9vYg=="}, {"fooba", "Zm9vYmE="}, {"foobar", "Zm9vYmFy"},
  };
  for (const auto& [plain, encoded] : cases) {
    EXPECT_EQ(Base64Encode(plain), encoded) << plain;
    EXPECT_EQ(Base64Decode(encoded), plain) << encoded;
  }
  std::string all;
  for (int i = 0; i < 256; ++i) all.push_back(static_cast<char>(i));
  EXPECT_EQ(Base64Decode(Base64Encode(all)), all);
}

TEST(Base64, LenientDecoding) {
  const std::pair<const char*, std::string> cases[] = {
      {"Zm9vY", "foo"},          // one trailing character ignored
      {"Zm9vYmF", "foo"},        // three trailing characters ignored
      {"Zg=", ""},               // fewer than four characters: nothing
      {"Zg==Zm9v", "ffoo"},      // "=" does not end the decoding
      {"Zm=v", "f"},             // a marker in the third place ends the group after one byte
      {"A!A=", std::string("\0\0", 2)},  // outside the alphabet: keeps its place, counts as 0
      {"Zm 9", "f`="},            // a blank is not skipped: it counts as 0
  };
  for (const auto& [text, bytes] : cases) {
    EXPECT_EQ(Base64Decode(text), bytes) << text;
  }
}

TEST(StringCipher, KeyTexts) {
  EXPECT_EQ(ServerKeyText.size(), 44u);
  EXPECT_EQ(UserKeyText.size(), 44u);
  EXPECT_EQ(ServerKeyText.back(), '=');
  EXPECT_EQ(UserKeyText.back(), '=');
}

TEST(StringCipher, LengthOfTheProtectedForm) {
  const std::pair<std::size_t, std::size_t> cases[] = {{0, 24}, {1, 24}, {15, 24}, {16, 44}, {17, 44}, {31, 44}, {32, 64}};
  for (const auto& [plainLength, protectedLength] : cases) {
    const std::u16string text(plainLength, u'x');
    EXPECT_EQ(EncryptString(text, ServerKeyText).size(), protectedLength) << plainLength;
  }
}

TEST(StringCipher, RoundTripsEveryLatin1TextWithEitherKey) {
  std::mt19937 random(7);
  for (const auto key : {ServerKeyText, UserKeyText}) {
    for (std::size_t length = 0; length <= 70; ++length) {
      std::u16string text;
      for (std::size_t i = 0; i < length; ++i) text.push_back(static_cast<char16_t>(random() % 256));
      const std::u16string sealed = EncryptString(text, key);
      EXPECT_EQ(DecryptString(sealed, key), text) << length;
    }
  }
}

TEST(StringCipher, ServerAndUserKeysDiffer) {
  EXPECT_NE(EncryptString(u"127.0.0.1", ServerKeyText), EncryptString(u"127.0.0.1", UserKeyText));
}

TEST(StringCipher, CodeUnitAboveLatin1ComesBackAsItsLowByte) {
  EXPECT_EQ(DecryptString(EncryptString(u"\u0141", ServerKeyText), ServerKeyText), u"A");
  EXPECT_EQ(EncryptString(u"\u0141\u00e9", ServerKeyText), EncryptString(u"A\u00e9", ServerKeyText));
}

TEST(StringCipher, OnlyTheFirst16CharactersOfTheKeyCount) {
  const std::string other = std::string(ServerKeyText.substr(0, 16)) + std::string(28, 'Q');
  EXPECT_EQ(EncryptString(u"patch", ServerKeyText), EncryptString(u"patch", other));
  EXPECT_EQ(EncryptString(u"patch", ServerKeyText.substr(0, 16)), EncryptString(u"patch", ServerKeyText));
}

TEST(StringCipher, ShortOrEmptyTextFails) {
  for (const char16_t* text : {u"", u"Q", u"QU", u"QUJ"}) {
    EXPECT_THROW(DecryptString(text, ServerKeyText), EDecryptError) << NarrowLatin1(text);
  }
}

TEST(StringCipher, CharactersAfterTheLastWholeGroupAreIgnored) {
  const std::u16string sealed = EncryptString(u"hello", ServerKeyText);
  for (const char16_t* extra : {u"A", u"AB", u"A=!"}) {
    EXPECT_EQ(DecryptString(sealed + extra, ServerKeyText), u"hello");
  }
}

TEST(AesCbc, PaddingValueIsTakenUnchecked) {
  // The first two cipher blocks of a padded encryption decrypt to exactly the two
  // plain blocks, so the last plain byte chooses what is removed.
  std::string plain(32, 'p');
  plain[31] = 0;
  std::string cipher = AesEncryptCbc(plain, ServerKeyText, ServerKeyText).substr(0, 32);
  EXPECT_EQ(AesDecryptCbc(cipher, ServerKeyText, ServerKeyText), plain) << "a last byte of 0 removes nothing";

  plain[31] = 20;
  cipher = AesEncryptCbc(plain, ServerKeyText, ServerKeyText).substr(0, 32);
  EXPECT_EQ(AesDecryptCbc(cipher, ServerKeyText, ServerKeyText), plain.substr(0, 12)) << "20 removes 20 bytes";

  plain[31] = 33;
  cipher = AesEncryptCbc(plain, ServerKeyText, ServerKeyText).substr(0, 32);
  EXPECT_THROW(AesDecryptCbc(cipher, ServerKeyText, ServerKeyText), EDecryptError) << "more than the length";

  plain[31] = 32;
  cipher = AesEncryptCbc(plain, ServerKeyText, ServerKeyText).substr(0, 32);
  EXPECT_EQ(AesDecryptCbc(cipher, ServerKeyText, ServerKeyText), "") << "exactly the length";
}

TEST(AesCbc, TrailingPartialBlockIsXoredWithTheEncryptedLastBlock) {
  const auto block = CreateAes128Block(Block(ServerKeyText));
  const TAesBlockBytes iv = Block(ServerKeyText);

  // 20 bytes: one whole block, then 4 bytes XORed with E(C1).
  const std::string c1 = AesEncryptCbc("sixteen bytes!!!", ServerKeyText, ServerKeyText).substr(0, 16);
  const TAesBlockBytes stream = block->Encrypt(Block(c1));
  std::string tail = "\x11\x22\x33";
  tail.push_back(static_cast<char>(stream[3]));  // so the last output byte is 0: nothing removed
  const std::string out = AesDecryptCbc(c1 + tail, ServerKeyText, ServerKeyText);
  ASSERT_EQ(out.size(), 20u);
  EXPECT_EQ(out.substr(0, 16), "sixteen bytes!!!");
  for (std::size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(static_cast<std::uint8_t>(out[16 + i]), static_cast<std::uint8_t>(tail[i] ^ stream[i]));
  }

  // Fewer than 16 bytes: XORed with E(iv).
  const TAesBlockBytes ivStream = block->Encrypt(iv);
  std::string shortData = "ab";
  shortData.push_back(static_cast<char>(ivStream[2] ^ 1));  // last output byte 1
  const std::string shortOut = AesDecryptCbc(shortData, ServerKeyText, ServerKeyText);
  ASSERT_EQ(shortOut.size(), 2u);
  EXPECT_EQ(static_cast<std::uint8_t>(shortOut[0]), static_cast<std::uint8_t>('a' ^ ivStream[0]));
  EXPECT_EQ(static_cast<std::uint8_t>(shortOut[1]), static_cast<std::uint8_t>('b' ^ ivStream[1]));
}

TEST(AesCbc, EncryptionChainsBlocksWithTheKeyAsIv) {
  const auto block = CreateAes128Block(Block(ServerKeyText));
  TAesBlockBytes chain = Block(ServerKeyText);
  const std::string plain = "0123456789abcdef";
  std::string expected;
  std::string padded = plain + std::string(16, '\x10');
  for (std::size_t offset = 0; offset < padded.size(); offset += 16) {
    TAesBlockBytes b = Block(std::string_view(padded).substr(offset));
    for (std::size_t i = 0; i < 16; ++i) b[i] ^= chain[i];
    chain = block->Encrypt(b);
    expected += Bytes(chain);
  }
  EXPECT_EQ(AesEncryptCbc(plain, ServerKeyText, ServerKeyText), expected);
}

TEST(StringCipher, HostileInputRaisesOrDecodesButNeverCrashes) {
  std::mt19937 random(11);
  const std::u16string alphabet = u"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/= \r\n!\u00e9";
  int failures = 0;
  for (int round = 0; round < 2000; ++round) {
    std::u16string text;
    const std::size_t length = random() % 90;
    for (std::size_t i = 0; i < length; ++i) text.push_back(alphabet[random() % alphabet.size()]);
    try {
      const std::u16string plain = DecryptString(text, ServerKeyText);
      EXPECT_LE(plain.size(), text.size());
    } catch (const EDecryptError&) {
      ++failures;
    }
  }
  EXPECT_GT(failures, 0);
}

}  // namespace
}  // namespace cvl
