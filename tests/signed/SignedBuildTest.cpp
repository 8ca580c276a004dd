// The keys a signed build carries are the ones it was configured with, and they accept
// what openssl signed with them, and nothing signed by another key.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>

#include "core/Text.h"
#include "core/UpdateKeyFiles.h"
#include "core/UpdateSignatures.h"

namespace cvl {
namespace {

const std::string kFixtures = CVL_SIGNED_FIXTURES;

std::string Fixture(const std::string& name) {
  std::ifstream in(kFixtures + name, std::ios::binary);
  if (!in) ADD_FAILURE() << "missing fixture " << kFixtures << name;
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

TEST(SignedBuild, CarriesTheConfiguredKeysInOrder) {
  const std::vector<TP256Point> expected{ParsePublicKeyPem(Fixture("key-a.pub")), ParsePublicKeyPem(Fixture("key-b.pub"))};
  EXPECT_EQ(EmbeddedUpdateKeys(), expected);
}

TEST(SignedBuild, AcceptsEitherKeyAndNoOther) {
  TUpdateSignatures signatures(EmbeddedUpdateKeys());
  ASSERT_TRUE(signatures.KeysEmbedded());
  const std::u16string folder = Utf8ToUtf16(kFixtures);
  const std::u16string archive = folder + u"patch_5.zip";
  EXPECT_TRUE(signatures.VerifyDownloadedFile(archive, u"patch_5.zip", folder + u"patch_5.zip.a.sig"));
  EXPECT_TRUE(signatures.VerifyDownloadedFile(archive, u"patch_5.zip", folder + u"patch_5.zip.b.sig"));
  EXPECT_TRUE(signatures.VerifyDownloadedFile(folder + u"empty.zip", u"empty.zip", folder + u"empty.zip.a.sig"));
  EXPECT_FALSE(signatures.VerifyDownloadedFile(archive, u"patch_5.zip", folder + u"patch_5.zip.other-key.sig"));
  EXPECT_FALSE(signatures.VerifyDownloadedFile(archive, u"patch_5.zip", folder + u"patch_5.zip.other-name.sig"));
}

}  // namespace
}  // namespace cvl
