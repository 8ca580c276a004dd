// The signature check of downloaded files and the key files, against keys and
// signatures made by openssl alone (tests/signing/make_signature_fixtures.py); natively
// on OpenSSL, under Wine on CNG.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "core/DerCoding.h"
#include "core/Text.h"
#include "core/UpdateKeyFiles.h"
#include "core/UpdateSignature.h"
#include "core/UpdateSignatures.h"

namespace cvl {
namespace {

// Relative to the tests' working folder, bin/ of the build.
const std::string kFixtures = CVL_SIGNATURE_FIXTURES;

std::string Fixture(const std::string& name) {
  std::ifstream in(kFixtures + name, std::ios::binary);
  if (!in) ADD_FAILURE() << "missing fixture " << kFixtures << name;
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

TP256Point Key(const std::string& name) { return ParsePublicKeyPem(Fixture(name + ".pub")); }

// Bytes served in pieces, recording the largest piece asked for.
class TMemoryStream final : public IByteStream {
 public:
  explicit TMemoryStream(std::string bytes) : FBytes(std::move(bytes)) {}
  std::size_t Read(std::uint8_t* buffer, std::size_t size) override {
    Largest = std::max(Largest, size);
    ++Reads;
    const std::size_t count = std::min(size, FBytes.size() - FOffset);
    std::copy_n(FBytes.data() + FOffset, count, buffer);
    FOffset += count;
    return count;
  }
  std::size_t Largest = 0;
  int Reads = 0;

 private:
  std::string FBytes;
  std::size_t FOffset = 0;
};

TSignatureCheck Check(const std::vector<TP256Point>& keys, const std::string& name, const std::string& file,
                      const std::string& signature) {
  TMemoryStream stream(file);
  return VerifyFileSignature(keys, name, stream, signature);
}

// A DER signature from the contents of its two INTEGERs, as given.
std::string DerSignature(const std::string& r, const std::string& s) {
  return DerElement(der::kSequence, DerElement(der::kInteger, r) + DerElement(der::kInteger, s));
}

std::string OrderBytes(int addend) {
  std::string n(kP256Order.begin(), kP256Order.end());
  n.back() = static_cast<char>(static_cast<unsigned char>(n.back()) + addend);
  return std::string(1, '\0') + n;  // n's top bit is set: a leading zero keeps it positive
}

TEST(UpdateSignature, OpensslSignaturesVerifyUnderTheirKeyAndName) {
  const std::string archive = Fixture("patch_5.zip");
  EXPECT_EQ(Check({Key("key-a")}, "patch_5.zip", archive, Fixture("patch_5.zip.a.sig")), TSignatureCheck::Verified);
  EXPECT_EQ(Check({Key("key-b")}, "patch_5.zip", archive, Fixture("patch_5.zip.b.sig")), TSignatureCheck::Verified);
  EXPECT_EQ(Check({}, "empty.zip", "", Fixture("empty.zip.a.sig")), TSignatureCheck::NotVerified);
  EXPECT_EQ(Check({Key("key-a")}, "empty.zip", "", Fixture("empty.zip.a.sig")), TSignatureCheck::Verified);
  // Any one of several keys is enough, wherever it stands.
  const std::vector<TP256Point> both{Key("other-key"), Key("key-b"), Key("key-a")};
  EXPECT_EQ(Check(both, "patch_5.zip", archive, Fixture("patch_5.zip.a.sig")), TSignatureCheck::Verified);
  EXPECT_EQ(Check(both, "patch_5.zip", archive, Fixture("patch_5.zip.b.sig")), TSignatureCheck::Verified);

  // The file goes through in fixed pieces, whatever its size.
  TMemoryStream stream(archive);
  EXPECT_EQ(VerifyFileSignature({Key("key-a")}, "patch_5.zip", stream, Fixture("patch_5.zip.a.sig")),
            TSignatureCheck::Verified);
  EXPECT_LE(stream.Largest, kSignatureReadPiece);
  EXPECT_GT(stream.Reads, 2);

  // Hashed as it comes in, in pieces of any size: the same check without a second read.
  TSignedMessageDigest digest("patch_5.zip");
  for (std::size_t at = 0; at < archive.size(); at += 777) {
    digest.Update(reinterpret_cast<const std::uint8_t*>(archive.data()) + at, std::min<std::size_t>(777, archive.size() - at));
  }
  EXPECT_EQ(VerifyDigestSignature({Key("key-a")}, digest.Finish(), Fixture("patch_5.zip.a.sig")),
            TSignatureCheck::Verified);
}

TEST(UpdateSignature, BadSignaturesAreRefused) {
  const std::string archive = Fixture("patch_5.zip");
  const std::string good = Fixture("patch_5.zip.a.sig");
  std::string flipped = archive;
  flipped[123456] ^= 0x08;
  const std::string one(1, '\x01');
  const std::string zero(1, '\0');
  const std::string big = OrderBytes(0);  // n
  struct TCase {
    const char* What;
    std::string Name;
    std::string File;
    std::string Signature;
    TSignatureCheck Expected;
  };
  const TCase cases[] = {
      {"empty", "patch_5.zip", archive, "", TSignatureCheck::Malformed},
      {"truncated", "patch_5.zip", archive, good.substr(0, good.size() - 1), TSignatureCheck::Malformed},
      {"only its header", "patch_5.zip", archive, good.substr(0, 2), TSignatureCheck::Malformed},
      {"another key's", "patch_5.zip", archive, Fixture("patch_5.zip.other-key.sig"), TSignatureCheck::NotVerified},
      {"another name's", "patch_5.zip", archive, Fixture("patch_5.zip.other-name.sig"), TSignatureCheck::NotVerified},
      {"the right signature under another name", "patch_6.zip", archive, good, TSignatureCheck::NotVerified},
      {"one bit changed in the archive", "patch_5.zip", flipped, good, TSignatureCheck::NotVerified},
      {"a byte cut off the archive", "patch_5.zip", archive.substr(1), good, TSignatureCheck::NotVerified},
      {"DER with a trailing byte", "patch_5.zip", archive, good + zero, TSignatureCheck::Malformed},
      {"DER with a trailing byte inside", "patch_5.zip", archive,
       DerElement(der::kSequence, good.substr(2) + zero), TSignatureCheck::Malformed},
      {"r zero", "patch_5.zip", archive, DerSignature(zero, one), TSignatureCheck::Malformed},
      {"s zero", "patch_5.zip", archive, DerSignature(one, zero), TSignatureCheck::Malformed},
      {"r = n", "patch_5.zip", archive, DerSignature(big, one), TSignatureCheck::Malformed},
      {"s = n", "patch_5.zip", archive, DerSignature(one, big), TSignatureCheck::Malformed},
      {"s = n + 1", "patch_5.zip", archive, DerSignature(one, OrderBytes(1)), TSignatureCheck::Malformed},
      {"r of 33 bytes", "patch_5.zip", archive, DerSignature(std::string(33, '\x11'), one), TSignatureCheck::Malformed},
      {"r negative", "patch_5.zip", archive, DerSignature(std::string(1, '\x80'), one), TSignatureCheck::Malformed},
      {"s with a needless leading zero", "patch_5.zip", archive, DerSignature(one, zero + one), TSignatureCheck::Malformed},
      {"INTEGER without content", "patch_5.zip", archive, DerSignature("", one), TSignatureCheck::Malformed},
      {"one INTEGER only", "patch_5.zip", archive, DerElement(der::kSequence, DerElement(der::kInteger, one)),
       TSignatureCheck::Malformed},
      {"long-form length below 128", "patch_5.zip", archive, "\x30\x81" + good.substr(1), TSignatureCheck::Malformed},
      {"indefinite length", "patch_5.zip", archive, "\x30\x80" + good.substr(2) + std::string(2, '\0'),
       TSignatureCheck::Malformed},
      {"raw r || s instead of DER", "patch_5.zip", archive, std::string(64, '\x01'), TSignatureCheck::Malformed},
      {"r = s = 1", "patch_5.zip", archive, DerSignature(one, one), TSignatureCheck::NotVerified},
      {"r = s = n - 1", "patch_5.zip", archive, DerSignature(OrderBytes(-1), OrderBytes(-1)),
       TSignatureCheck::NotVerified},
  };
  for (const TCase& c : cases) {
    EXPECT_EQ(Check({Key("key-a")}, c.Name, c.File, c.Signature), c.Expected) << c.What;
  }
}

TEST(UpdateSignature, DerSignaturesReadAndWriteAsOpensslDoes) {
  for (const char* name : {"patch_5.zip.a.sig", "patch_5.zip.b.sig", "patch_5.zip.other-name.sig", "empty.zip.a.sig"}) {
    const std::string der = Fixture(name);
    const auto signature = ParseDerSignature(der);
    ASSERT_TRUE(signature) << name;
    EXPECT_EQ(EncodeDerSignature(*signature), der) << name;
  }
  EXPECT_EQ(SignedMessagePrefix("patch_5.zip"), "CVL-SIGNATURE-1\npatch_5.zip\n");
}

TEST(UpdateKeyFiles, KeysAsOpensslWritesThem) {
  for (const char* name : {"key-a", "key-b", "other-key"}) {
    const std::string pub = Fixture(std::string(name) + ".pub");
    const TP256Point point = ParsePublicKeyPem(pub);
    EXPECT_EQ(PublicKeyPem(point), pub) << name;
    const TP256PrivateKey key = ParsePrivateKeyPem(Fixture(std::string(name) + ".pem"));
    EXPECT_EQ(key.Public, point) << name;
  }
  // openssl genpkey writes PKCS#8 exactly as we do.
  const std::string pkcs8 = Fixture("key-a.pem");
  EXPECT_EQ(PrivateKeyPem(ParsePrivateKeyPem(pkcs8)), pkcs8);
  // Text around the block and Windows line ends do not matter.
  std::string crlf = "a comment\r\n";
  for (const char c : Fixture("key-b.pub")) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
  EXPECT_EQ(ParsePublicKeyPem(crlf), Key("key-b"));
}

TEST(UpdateKeyFiles, WrongKeysAreRefusedWithAReason) {
  const std::string pub = Fixture("key-a.pub");
  std::string badBase64 = pub;
  badBase64[40] = '*';
  struct TCase {
    const char* What;
    std::string Text;
    bool Private;
    const char* Reason;
  };
  const TCase cases[] = {
      {"a P-384 key", Fixture("key-p384.pub"), false, "P-384"},
      {"an RSA key", Fixture("key-rsa.pub"), false, "RSA"},
      {"an Ed25519 key", Fixture("key-ed25519.pub"), false, "Ed25519"},
      {"a compressed point", Fixture("key-a-compressed.pub"), false, "compressed"},
      {"a private key given as public", Fixture("key-a.pem"), false, "private key"},
      {"a public key given as private", pub, true, "public key"},
      {"an encrypted private key", Fixture("key-a-encrypted.pem"), true, "encrypted"},
      {"no PEM at all", "hello", false, "no PEM public key"},
      {"no END line", pub.substr(0, pub.find("-----END")), false, "END"},
      {"bad Base64", badBase64, false, "Base64"},
      {"a truncated key", "-----BEGIN PUBLIC KEY-----\n" + pub.substr(27, 60) + "\n-----END PUBLIC KEY-----\n", false,
       ""},
  };
  for (const TCase& c : cases) {
    try {
      if (c.Private) {
        ParsePrivateKeyPem(c.Text);
      } else {
        ParsePublicKeyPem(c.Text);
      }
      ADD_FAILURE() << c.What << " was accepted";
    } catch (const EKeyFile& e) {
      EXPECT_NE(std::string(e.what()).find(c.Reason), std::string::npos) << c.What << ": " << e.what();
    }
  }
}

TEST(UpdateSignatures, BuildCarriesTheConfiguredKeysOnly) {
  // Without CVL_UPDATE_KEY the launcher carries no key and checks nothing.
  EXPECT_EQ(EmbeddedUpdateKeys().size(), static_cast<std::size_t>(CVL_EXPECTED_UPDATE_KEYS));
  EXPECT_EQ(TUpdateSignatures(EmbeddedUpdateKeys()).KeysEmbedded(), CVL_EXPECTED_UPDATE_KEYS > 0);
}

TEST(UpdateSignatures, DownloadedFilesOnDisk) {
  const std::u16string folder = Utf8ToUtf16(kFixtures);
  TUpdateSignatures signatures({Key("key-b"), Key("key-a")});
  EXPECT_TRUE(signatures.KeysEmbedded());
  EXPECT_FALSE(TUpdateSignatures({}).KeysEmbedded());
  const std::u16string archive = folder + u"patch_5.zip";
  EXPECT_TRUE(signatures.VerifyDownloadedFile(archive, u"patch_5.zip", folder + u"patch_5.zip.a.sig"));
  EXPECT_TRUE(signatures.VerifyDownloadedFile(folder + u"empty.zip", u"empty.zip", folder + u"empty.zip.a.sig"));
  EXPECT_FALSE(signatures.VerifyDownloadedFile(archive, u"patch_5.zip", folder + u"patch_5.zip.other-key.sig"));
  EXPECT_FALSE(signatures.VerifyDownloadedFile(archive, u"patch_6.zip", folder + u"patch_5.zip.a.sig"));
  // A missing signature or archive, and a "signature" far too large to read whole.
  EXPECT_FALSE(signatures.VerifyDownloadedFile(archive, u"patch_5.zip", folder + u"missing.sig"));
  EXPECT_FALSE(signatures.VerifyDownloadedFile(folder + u"missing.zip", u"patch_5.zip", folder + u"patch_5.zip.a.sig"));
  EXPECT_FALSE(signatures.VerifyDownloadedFile(archive, u"patch_5.zip", archive));

  TSignedMessageDigest digest("patch_5.zip");
  const std::string bytes = Fixture("patch_5.zip");
  digest.Update(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
  const TSha256Digest messageDigest = digest.Finish();
  EXPECT_TRUE(signatures.VerifyDigest(messageDigest, folder + u"patch_5.zip.b.sig"));
  EXPECT_FALSE(signatures.VerifyDigest(messageDigest, folder + u"patch_5.zip.other-name.sig"));
  EXPECT_FALSE(signatures.VerifyDigest(messageDigest, folder + u"missing.sig"));
}

// Hashed on its own thread, fed in pieces of every size (more than its queue holds, so
// the feeder waits), the digest is the one hashed in place; dropped half-way, it stops.
TEST(UpdateSignature, BackgroundDigestMatchesTheDigestHashedInPlace) {
  std::vector<std::uint8_t> bytes(kBackgroundDigestQueue * 3 + kBackgroundDigestBlock / 2 + 7);
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<std::uint8_t>(i * 131 + (i >> 9));
  const std::size_t pieceSizes[] = {1, 1000, kBackgroundDigestBlock - 1, kBackgroundDigestBlock,
                                    kBackgroundDigestBlock + 1, kBackgroundDigestQueue * 2};
  for (const std::size_t total : {std::size_t{0}, std::size_t{5}, kBackgroundDigestBlock, bytes.size()}) {
    TSignedMessageDigest inPlace("patch_7.zip");
    inPlace.Update(bytes.data(), total);
    const TSha256Digest expected = inPlace.Finish();
    for (const std::size_t piece : pieceSizes) {
      SCOPED_TRACE(std::to_string(total) + " bytes in pieces of " + std::to_string(piece));
      TBackgroundSignedDigest background("patch_7.zip");
      for (std::size_t at = 0; at < total; at += piece) background.Update(bytes.data() + at, std::min(piece, total - at));
      EXPECT_EQ(background.Finish(), expected);
    }
  }
  TBackgroundSignedDigest other("patch_8.zip");
  other.Update(bytes.data(), bytes.size());
  TSignedMessageDigest otherInPlace("patch_7.zip");
  otherInPlace.Update(bytes.data(), bytes.size());
  EXPECT_NE(other.Finish(), otherInPlace.Finish()) << "the name is part of the message";
  for (int i = 0; i < 20; ++i) {
    TBackgroundSignedDigest dropped("patch_7.zip");
    dropped.Update(bytes.data(), bytes.size() - static_cast<std::size_t>(i));
  }
}

}  // namespace
}  // namespace cvl
