// The write-backs through the system's own WritePrivateProfileStringW: one entry or one
// section changes, every other line (comments included) stays.
#include <gtest/gtest.h>

#include <vector>

#include "ConfigTestFolder.h"
#include "core/SystemErrors.h"
#include "win32/files/ProfileFile.h"

namespace cvl {
namespace {

// The file's non-blank lines: the profile functions may drop or keep blank lines.
std::vector<std::string> Lines(const std::string& bytes) {
  std::vector<std::string> lines;
  std::string line;
  for (const char c : bytes + "\n") {
    if (c != '\r' && c != '\n') {
      line += c;
    } else if (!line.empty()) {
      lines.push_back(line);
      line.clear();
    }
  }
  return lines;
}

constexpr const char* Prepared =
    "; prepared by the operator\r\n"
    "[User]\r\n"
    "; address override\r\n"
    "recovery=abc\r\n"
    "\r\n"
    "[Pre]\r\n"
    "cmVtb3Rl==\r\n"
    "d2VidmlldzI=\r\n"
    "\r\n"
    "[Other]\r\n"
    "x=1\r\n";

TEST(ProfileEdit, SavePatchVersionAddsAMissingSection) {
  TConfigTestFolder folder;
  const std::u16string config = folder.File(u"CVLauncher.cfg");
  TConfigTestFolder::Write(config, Prepared);
  SavePatchVersion(config, 12);
  EXPECT_EQ(Lines(TConfigTestFolder::Read(config)),
            (std::vector<std::string>{"; prepared by the operator", "[User]", "; address override", "recovery=abc",
                                      "[Pre]", "cmVtb3Rl==", "d2VidmlldzI=", "[Other]", "x=1", "[Options]",
                                      "PatchVersion=12"}));
}

TEST(ProfileEdit, ExistingEntriesChangeInPlace) {
  TConfigTestFolder folder;
  const std::u16string config = folder.File(u"CVLauncher.cfg");
  TConfigTestFolder::Write(config,
                           "[options]\r\n; keep me\r\nPatchVersion=3\r\nUpdateClientLanguage=1\r\nLanguage=0\r\n"
                           "[User]\r\nrecovery=abc\r\n");
  ClearLanguageUpdateFlag(config);
  SavePatchVersion(config, -7);
  const std::vector<std::string> lines = Lines(TConfigTestFolder::Read(config));
  EXPECT_EQ(lines, (std::vector<std::string>{"[options]", "; keep me", "PatchVersion=-7", "UpdateClientLanguage=0",
                                             "Language=0", "[User]", "recovery=abc"}));
}

TEST(ProfileEdit, ErasePreRemovesTheSectionAndKeepsTheRest) {
  TConfigTestFolder folder;
  const std::u16string config = folder.File(u"CVLauncher.cfg");
  TConfigTestFolder::Write(config, Prepared);
  ErasePreSection(config);
  EXPECT_EQ(Lines(TConfigTestFolder::Read(config)),
            (std::vector<std::string>{"; prepared by the operator", "[User]", "; address override", "recovery=abc",
                                      "[Other]", "x=1"}));
}

TEST(ProfileEdit, Utf16FileStaysUtf16) {
  TConfigTestFolder folder;
  const std::u16string config = folder.File(u"CVLauncher.cfg");
  TConfigTestFolder::Write(config, std::string("\xFF\xFE[\0O\0]\0\r\0\n\0", 12));
  SavePatchVersion(config, 5);
  const std::string after = TConfigTestFolder::Read(config);
  ASSERT_GE(after.size(), 2u);
  EXPECT_EQ(after.substr(0, 2), "\xFF\xFE");
  EXPECT_NE(after.find(std::string("P\0a\0t\0c\0h\0V\0e\0r\0s\0i\0o\0n\0=\0""5\0", 26)), std::string::npos);
}

TEST(ProfileEdit, ReadOnlyFileGivesTheErrorAndStaysAsItWas) {
  TConfigTestFolder folder;
  const std::u16string config = folder.File(u"CVLauncher.cfg");
  TConfigTestFolder::Write(config, Prepared);
  TConfigTestFolder::SetReadOnly(config);
  const std::u16string expected = u"Unable to write to " + config;
  for (const auto& edit : {+[](const std::u16string& f) { SavePatchVersion(f, 12); },
                           +[](const std::u16string& f) { ClearLanguageUpdateFlag(f); },
                           +[](const std::u16string& f) { ErasePreSection(f); }}) {
    try {
      edit(config);
      ADD_FAILURE() << "no error";
    } catch (const EIniFileException& e) {
      EXPECT_EQ(e.Message(), expected);
    }
    EXPECT_EQ(TConfigTestFolder::Read(config), Prepared);
  }
}

}  // namespace
}  // namespace cvl
