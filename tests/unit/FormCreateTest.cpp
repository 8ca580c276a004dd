// The decisions of the window's creation handler around the configuration: the install
// folder, developer mode, and where an error stops it.
#include <gtest/gtest.h>

#include "FakeFormCreatePlatform.h"
#include "core/Exception.h"
#include "core/FormCreate.h"
#include "core/StringCipher.h"
#include "core/SystemErrors.h"
#include "core/Text.h"

namespace cvl {
namespace {

const std::u16string Key = u"\\SOFTWARE\\WOW6432Node\\Corvanthe";
const std::u16string ConfigPath = u"C:\\Launcher\\CVLauncher.cfg";

class FormCreateTest : public ::testing::Test {
 protected:
  TFakeFormCreatePlatform platform;
  TLauncherSettings state;

  // Runs the handler; its error, if any, is raised here after the settings are taken.
  void Run() {
    TFormCreateResult result = FormCreate(platform);
    state = std::move(result.Settings);
    if (result.Error) std::rethrow_exception(result.Error);
  }

  void SetConfig(const std::string& bytes) { platform.LocalFiles.Files[ConfigPath] = bytes; }
  void SetRegistry(const std::u16string& value, const std::u16string& path) { platform.Registry[{Key, value}] = path; }

  // Runs the handler and gives the error's message, empty when none was raised.
  std::u16string RunForError() {
    try {
      Run();
    } catch (const Exception& e) {
      return e.Message();
    }
    return u"";
  }
};

TEST_F(FormCreateTest, InstallFolderFromTheRegistryEndsInABackslash) {
  const std::pair<std::u16string, std::u16string> cases[] = {
      {u"D:\\Games\\Vardune", u"D:\\Games\\Vardune\\"},
      {u"D:\\Games\\Vardune\\", u"D:\\Games\\Vardune\\"},
      {u"%ProgramFiles%\\V", u"%ProgramFiles%\\V\\"},  // an expandable string stays unexpanded
      {u"", u""},
  };
  for (const auto& [stored, expected] : cases) {
    SetRegistry(u"InstallPath", stored);
    EXPECT_EQ(RunForError(), u"");
    EXPECT_EQ(state.FBaseDirectory, expected);
  }
  EXPECT_EQ(platform.RegistryReads.back(), Key + u"|InstallPath");
}

TEST_F(FormCreateTest, ZephraneReadsItsOwnValue) {
  SetConfig("[Options]\r\nZephrane=1\r\n");
  SetRegistry(u"InstallPath", u"C:\\Main");
  SetRegistry(u"InstallPathZephrane", u"C:\\Zephrane");
  Run();
  EXPECT_EQ(state.FBaseDirectory, u"C:\\Zephrane\\");
  EXPECT_EQ(platform.RegistryReads, (std::vector<std::u16string>{Key + u"|InstallPathZephrane"}));
}

TEST_F(FormCreateTest, UnderADebuggerTheProgramFolderWins) {
  platform.Debugger = true;
  SetRegistry(u"InstallPath", u"D:\\Games\\Vardune");
  Run();
  EXPECT_TRUE(state.FDebug);
  EXPECT_EQ(platform.Boxes, (std::vector<std::u16string>{u"Debug!"}));
  EXPECT_EQ(state.FBaseDirectory, u"C:\\Launcher\\");
}

TEST_F(FormCreateTest, EachRunStartsFromTheDefaults) {
  SetConfig("[Options]\r\nPatchVersion=98\r\nUpdateClientLanguage=1\r\nKeepUpdateFiles=1\r\nZephrane=1\r\n");
  SetRegistry(u"InstallPathZephrane", u"X:\\old");
  Run();
  ASSERT_EQ(state.FBaseDirectory, u"X:\\old\\");
  SetConfig("");
  Run();
  EXPECT_EQ(state.FClientActualPatchVersion, 0);
  EXPECT_FALSE(state.FUpdateClientLanguage || state.FKeepUpdateFiles || state.FZephraneVersion || state.FDebug);
  EXPECT_EQ(state.FBaseDirectory, u"");
  EXPECT_TRUE(platform.Boxes.empty());
}

// An error ends the handler where it happens: what was set stays, the later steps (the
// install folder, the "Debug!" box) are skipped.
TEST_F(FormCreateTest, UnreadableFileStopsBeforeTheOptions) {
  platform.Debugger = true;
  SetConfig("[Options]\r\nLanguage=0\r\n");
  SetRegistry(u"InstallPath", u"D:\\Games");
  platform.LocalFiles.FailReads = true;
  EXPECT_EQ(RunForError(), u"Cannot open file \"C:\\Launcher\\CVLauncher.cfg\". Access is denied.");
  EXPECT_EQ(state.FConfigFileName, ConfigPath);
  EXPECT_EQ(state.FConnectInfo.App_center_port, 8080);
  EXPECT_FALSE(state.FEnglishClient);  // reset, not yet read
  EXPECT_EQ(state.FBaseDirectory, u"");
  EXPECT_TRUE(platform.Boxes.empty());
}

TEST_F(FormCreateTest, RewriteThatCannotCreateTheFileStopsBeforeTheRegistry) {
  SetConfig("[Options]\r\nPatchVersion=5\r\n");
  SetRegistry(u"InstallPath", u"D:\\Games");
  platform.LocalFiles.FailWrites = true;
  EXPECT_EQ(RunForError(), u"Cannot create file \"C:\\Launcher\\CVLauncher.cfg\". Access is denied.");
  EXPECT_EQ(state.FClientActualPatchVersion, 5);
  EXPECT_EQ(platform.LocalFiles.Files.at(ConfigPath), "[Options]\r\nPatchVersion=5\r\n");
  EXPECT_TRUE(platform.RegistryReads.empty());
  EXPECT_EQ(state.FBaseDirectory, u"");
}

TEST_F(FormCreateTest, BadUserValuesStopAfterTheOptions) {
  SetConfig("[Options]\r\nPatchVersion=5\r\n[User]\r\nrecovery=not base64 at all\r\n");
  try {
    Run();
    FAIL() << "no error";
  } catch (const EDecryptError&) {
  }
  EXPECT_EQ(state.FClientActualPatchVersion, 5);
  EXPECT_EQ(state.FConnectInfo.App_center_ip, u"127.0.0.1");
  EXPECT_EQ(platform.LocalFiles.Writes, 0);

  const std::string recovery = NarrowLatin1(EncryptString(u"10.0.0.9", UserKeyText));
  const std::string email = NarrowLatin1(EncryptString(u"80a", UserKeyText));
  SetConfig("[User]\r\nrecovery=" + recovery + "\r\nemail=" + email + "\r\n");
  EXPECT_EQ(RunForError(), u"'80a' is not a valid integer value");
  EXPECT_EQ(state.FConnectInfo.App_center_ip, u"10.0.0.9");
  EXPECT_EQ(state.FConnectInfo.App_center_port, 8080);
  EXPECT_TRUE(platform.RegistryReads.empty());
}

TEST_F(FormCreateTest, RegistryValueOfAnotherTypeStopsBeforeDebugMode) {
  platform.Debugger = true;
  platform.WrongTypeValue = u"InstallPath";
  EXPECT_EQ(RunForError(), u"Invalid data type for 'InstallPath'");
  EXPECT_EQ(state.FBaseDirectory, u"");
  EXPECT_TRUE(platform.Boxes.empty());
  EXPECT_EQ(platform.LocalFiles.Files.at(ConfigPath), "");  // the configuration came first
}

}  // namespace
}  // namespace cvl
