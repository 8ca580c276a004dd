// "CVLauncher.cfg" as the window's creation handler reads it: the fields each file gives
// and the exact bytes it leaves behind.
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "FakeFormCreatePlatform.h"
#include "core/ConfigDocument.h"
#include "core/FormCreate.h"
#include "core/StringCipher.h"
#include "core/Text.h"

namespace cvl {
namespace {

const std::u16string ConfigPath = u"C:\\Launcher\\CVLauncher.cfg";

enum class TForm { Ansi, Utf8, Utf8NoMark, Utf16LE, Utf16BE };

// The text (given as UTF-8) in the file form, built independently of the code under test.
std::string Encoded(TForm form, std::string_view utf8) {
  const std::u16string text = Utf8ToUtf16(utf8);
  std::string bytes;
  switch (form) {
    case TForm::Ansi: return NarrowLatin1(text);  // the test texts stay within Latin-1
    case TForm::Utf8: return "\xEF\xBB\xBF" + std::string(utf8);
    case TForm::Utf8NoMark: return std::string(utf8);
    case TForm::Utf16LE: bytes = "\xFF\xFE"; break;
    case TForm::Utf16BE: bytes = "\xFE\xFF"; break;
  }
  for (const char16_t c : text) {
    const char high = static_cast<char>(c >> 8), low = static_cast<char>(c & 0xFF);
    bytes += form == TForm::Utf16LE ? std::string{low, high} : std::string{high, low};
  }
  return bytes;
}

struct TRun {
  TFakeFormCreatePlatform platform;
  TLauncherSettings state;
};

std::unique_ptr<TRun> Start(std::optional<std::string> file) {
  auto run = std::make_unique<TRun>();
  if (file) run->platform.LocalFiles.Files[ConfigPath] = *file;
  TFormCreateResult result = FormCreate(run->platform);
  run->state = std::move(result.Settings);
  if (result.Error) std::rethrow_exception(result.Error);
  return run;
}

std::string FileAfter(const TRun& run) { return run.platform.LocalFiles.Files.at(ConfigPath); }

// Comments, blanks, lines before the first section, all three line breaks, keys in other
// letter cases, an empty value, an empty [Pre] and a section without lines.
constexpr std::string_view Untidy =
    "; launcher options\r\n"
    "stray=before any section\n"
    "\r\n"
    "[Options]\r"
    "  language = 0 \r\n"
    "\tPATCHVERSION=0x10\n"
    "; comment inside\r\n"
    "InstallClient =  \r\n"
    "KeepUpdateFiles=1\r\n"
    "Note=caf\xC3\xA9\r\n"
    "\r\n"
    "[ user ]\r\n"
    "recovery=\r\n"
    "\r\n"
    "[Pre]\r\n"
    "\r\n"
    "[Empty]\n"
    "[Extra]\r\n"
    "  a line without equals  \r\n"
    "k = v = w";

constexpr std::string_view Tidy =
    "[Options]\r\n"
    "language=0\r\n"
    "PATCHVERSION=0x10\r\n"
    "InstallClient=\r\n"
    "KeepUpdateFiles=1\r\n"
    "Note=caf\xC3\xA9\r\n"
    "\r\n"
    "[user]\r\n"
    "recovery=\r\n"
    "\r\n"
    "[Empty]\r\n"
    "\r\n"
    "[Extra]\r\n"
    "a line without equals\r\n"
    "k=v = w\r\n"
    "\r\n";

TEST(ConfigFile, UntidyFileIsRewrittenTidyInItsOwnEncoding) {
  // A UTF-8 file without a mark reads as ANSI and its bytes go back unchanged.
  for (const TForm form : {TForm::Ansi, TForm::Utf8, TForm::Utf8NoMark, TForm::Utf16LE, TForm::Utf16BE}) {
    SCOPED_TRACE(static_cast<int>(form));
    const auto run = Start(Encoded(form, Untidy));
    EXPECT_EQ(FileAfter(*run), Encoded(form, Tidy));
    const TLauncherSettings& s = run->state;
    EXPECT_FALSE(s.FEnglishClient);
    EXPECT_EQ(s.FClientActualPatchVersion, 16);
    EXPECT_FALSE(s.FInstallClient);
    EXPECT_TRUE(s.FKeepUpdateFiles);
    EXPECT_FALSE(s.FZephraneVersion);
    EXPECT_FALSE(s.FUpdateClientLanguage);
    EXPECT_EQ(s.FConnectInfo.App_center_ip, u"127.0.0.1");
    EXPECT_EQ(s.FConnectInfo.App_center_port, 8080);
    EXPECT_TRUE(s.FInstallFiles.empty());
  }
}

TEST(ConfigFile, MissingFileGivesDefaultsAndAnEmptyFile) {
  const auto run = Start(std::nullopt);
  const TLauncherSettings& s = run->state;
  EXPECT_EQ(s.FConfigFileName, ConfigPath);
  EXPECT_TRUE(s.FEnglishClient);
  EXPECT_EQ(s.FClientActualPatchVersion, 0);
  EXPECT_FALSE(s.FInstallClient || s.FKeepUpdateFiles || s.FZephraneVersion || s.FUpdateClientLanguage);
  EXPECT_EQ(s.FConnectInfo.App_center_ip, u"127.0.0.1");
  EXPECT_EQ(s.FConnectInfo.App_center_port, 8080);
  EXPECT_EQ(FileAfter(*run), "");
}

TEST(ConfigFile, PreEntriesKeepTheFileByteForByte) {
  const std::string file =
      "; prepared by the operator\r\n[Options]\r\nPatchVersion = 7\r\n\r\n[pre]\r\n"
      "  cmVtb3Rl/ZGlyZWN0b3J5==  \r\nd2VidmlldzI=\nYQ==\r\n";
  const auto run = Start(file);
  EXPECT_EQ(run->platform.LocalFiles.Writes, 0);
  EXPECT_EQ(FileAfter(*run), file);
  EXPECT_EQ(run->state.FInstallFiles,
            (std::vector<std::u16string>{u"cmVtb3Rl/ZGlyZWN0b3J5==", u"d2VidmlldzI=", u"YQ=="}));
  EXPECT_EQ(run->state.FClientActualPatchVersion, 7);
}

TEST(ConfigFile, RepeatedSectionsMergeAndTheFirstKeyWins) {
  const auto run = Start("[Options]\nPatchVersion=3\n[Other]\nx=1\n[OPTIONS]\nPatchVersion=4\nLanguage=0\n");
  EXPECT_EQ(run->state.FClientActualPatchVersion, 3);
  EXPECT_FALSE(run->state.FEnglishClient);
  EXPECT_EQ(FileAfter(*run),
            "[Options]\r\nPatchVersion=3\r\nPatchVersion=4\r\nLanguage=0\r\n\r\n[Other]\r\nx=1\r\n\r\n");
}

TEST(ConfigFile, IntegerForms) {
  const std::pair<const char*, std::int32_t> cases[] = {
      {"12", 12},           {"-5", -5},         {"+7", 7},       {"0x10", 16},    {"0X1f", 31},
      {"$10", 16},          {"0x", 0},          {"", 0},         {"true", 0},     {"12abc", 0},
      {"2147483647", 2147483647}, {"2147483648", 0}, {"-2147483649", 0}, {"0x7FFFFFFF", 2147483647},
      {"0x100000000", 0},   {"0x-5", 0},        {"1 2", 0},
  };
  for (const auto& [value, expected] : cases) {
    const auto run = Start("[Options]\r\nPatchVersion=" + std::string(value) + "\r\n");
    EXPECT_EQ(run->state.FClientActualPatchVersion, expected) << value;
  }
}

TEST(ConfigFile, BooleanForms) {
  // Language defaults to true, the other options to false.
  const std::tuple<const char*, bool, bool> cases[] = {
      {"0", false, false}, {"1", true, true},     {"-1", true, true},  {"2", true, true},
      {"0x0", false, false}, {"0x10", true, true}, {"true", true, false}, {"", true, false},
      {"yes", true, false},
  };
  for (const auto& [value, language, zephrane] : cases) {
    const auto run = Start("[Options]\r\nLanguage=" + std::string(value) + "\r\nZephrane=" + value + "\r\n");
    EXPECT_EQ(run->state.FEnglishClient, language) << value;
    EXPECT_EQ(run->state.FZephraneVersion, zephrane) << value;
  }
}

TEST(ConfigFile, UserSectionOverridesTheConnectorServer) {
  const std::string recovery = NarrowLatin1(EncryptString(u"10.1.2.3", UserKeyText));
  const std::string email = NarrowLatin1(EncryptString(u"9000", UserKeyText));
  const auto run = Start("[USER]\r\nRECOVERY = " + recovery + "\r\nEmail=" + email + "\r\n");
  EXPECT_EQ(run->state.FConnectInfo.App_center_ip, u"10.1.2.3");
  EXPECT_EQ(run->state.FConnectInfo.App_center_port, 9000);

  const auto empty = Start("[User]\r\nrecovery=\r\nemail=\r\n");
  EXPECT_EQ(empty->state.FConnectInfo.App_center_ip, u"127.0.0.1");
  EXPECT_EQ(empty->state.FConnectInfo.App_center_port, 8080);
}

TEST(ConfigDocument, LookupRules) {
  const TConfigDocument config = TConfigDocument::Parse(
      u"[S]\r\nplain line\r\nKey = a=b\r\n= no key\r\nEmpty=\r\n[T]\r\nKey=other\r\n");
  EXPECT_EQ(config.ReadString(u"s", u"KEY"), u"a=b");
  EXPECT_EQ(config.ReadString(u"S", u"Empty"), u"");
  EXPECT_EQ(config.ReadString(u"S", u"Missing"), std::nullopt);
  EXPECT_EQ(config.ReadString(u"S", u"plain line"), std::nullopt);  // lines without "=" hold no key
  EXPECT_EQ(config.ReadString(u"U", u"Key"), std::nullopt);
  EXPECT_EQ(config.ReadString(u"T", u"Key"), u"other");
  EXPECT_EQ(config.SectionLines(u"s"), (std::vector<std::u16string>{u"plain line", u"Key=a=b", u"=no key", u"Empty="}));
}

}  // namespace
}  // namespace cvl
