// The start-up sequence's decisions, road by road, against a scripted platform.
#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <utility>
#include <map>
#include <set>

#include "core/Exception.h"
#include "core/LauncherSettings.h"
#include "core/LauncherTexts.h"
#include "core/StatusDisplay.h"
#include "core/StringCipher.h"
#include "core/Text.h"
#include "core/UpdatePlatform.h"
#include "core/UpdateSequence.h"

namespace cvl {
namespace {

std::string U8(const std::u16string& text) { return Utf16ToUtf8(text); }

class TFakeDisplay : public IStatusDisplay {
 public:
  void SetStatusText(const std::u16string& text) override {
    FText = text;
    Texts.push_back(U8(text));
  }
  std::u16string StatusText() const override { return FText; }
  void ProcessMessages() override {}
  void ShowPrompt(bool show, const std::u16string& message) override {
    PromptShown = show;
    FText = message;
    Texts.push_back(U8(message));
  }
  void ShowFatalMessage(const std::u16string& message) override {
    Fatal = U8(message);
    FText = message;
  }
  void Close() override { Closed = true; }
  bool Closing() const override { return Closed; }

  std::vector<std::string> Texts;
  bool PromptShown = false;
  std::string Fatal;
  bool Closed = false;

 private:
  std::u16string FText = texts::kChecking;
};

// One download attempt: the reports it makes and whether the file is there afterwards.
struct TAttempt {
  std::vector<TDownloadStatus> Reports;
  bool CreatesFile = false;
};
const TAttempt kGood{{TDownloadStatus::dsBegindownloaddata, TDownloadStatus::dsEnddownloaddata}, true};
const TAttempt kUnreachable{{}, false};

class TFakePlatform : public IUpdatePlatform {
 public:
  void DownloadUrlToFile(const std::u16string& url, const std::u16string& destination,
                         const TProgress& progress, const TCancelled&) override {
    Events.push_back("download " + U8(url));
    CloseIf("download " + U8(url));
    if (OnDownload) std::exchange(OnDownload, nullptr)();
    auto& queue = Downloads[U8(url)];
    const TAttempt attempt = queue.empty() ? kUnreachable : queue.front();
    if (!queue.empty() && queue.size() > 1) queue.pop_front();
    for (TDownloadStatus status : attempt.Reports) progress(50, 100, status);
    if (attempt.CreatesFile) Files.insert(U8(destination));
  }
  void DiscardPartialDownload(const std::u16string& destination) override {
    Events.push_back("discard " + U8(destination));
  }
  bool FileExists(const std::u16string& path) override { return Files.count(U8(path)) != 0; }
  void RemoveFile(const std::u16string& path) override {
    Events.push_back("delete " + U8(path));
    Files.erase(U8(path));
  }
  void ExtractZip(const std::u16string& archive, const std::u16string& directory, const TCancelled& cancelled) override {
    Events.push_back("extract " + U8(archive) + " -> " + U8(directory));
    // A close during the unpack cancels it: nothing of the archive is applied.
    if (CloseIf("extract " + U8(archive)) && cancelled()) throw Exception("EAbort", u"cancelled");
    if (ExtractFails) throw Exception("EZipError", u"bad archive");
  }
  // Kept apart from Events, with how many events came before it.
  void RecoverInterruptedUnpack(const std::u16string& directory) override {
    Recovered.push_back({U8(directory), Events.size()});
  }
  void RunAndWait(const std::u16string& commandLine, const TCancelled&) override {
    Events.push_back("runwait " + U8(commandLine));
    CloseIf("runwait " + U8(commandLine));
  }
  bool RunProgram(const std::u16string& commandLine) override {
    Events.push_back("run " + U8(commandLine));
    return true;
  }
  void StartPatchTool(const std::u16string& application, const std::u16string& commandLine,
                      const std::u16string& directory) override {
    if (PatchToolFails) throw Exception("ECreateProcessError", u"cannot start");
    Events.push_back("patchtool " + U8(application) + " | " + U8(commandLine) + " | " + U8(directory));
  }
  void ChangeCurrentDirectory(const std::u16string& directory) override { Events.push_back("cd " + U8(directory)); }
  int QueryServerInfo(TConnectInfo& info, std::u16string& baseServerAdr, const TCancelled&) override {
    Events.push_back("query");
    CloseIf("query");
    baseServerAdr = u"http://10.0.0.5:8080";
    if (ServerDown) return -1;
    info.PatchList = PatchList;
    info.PatchVersion = ServerLevel;
    return 1;
  }
  bool WebView2Installed() override { return WebView2; }
  void ErasePreSection(const std::u16string&) override { Events.push_back("erase Pre"); }
  void SavePatchVersion(const std::u16string&, std::int32_t level) override {
    Events.push_back("save PatchVersion " + std::to_string(level));
  }
  void ClearLanguageUpdateFlag(const std::u16string&) override { Events.push_back("clear UpdateClientLanguage"); }
  bool SignaturesRequired() override { return Signed; }
  bool SignatureCorrect(const std::u16string& filePath, const std::u16string&, const std::u16string&) override {
    Events.push_back("verify " + U8(filePath));
    return BadSignatures.count(U8(filePath)) == 0;
  }
  void WriteLog(const std::u16string& line) override { Log.push_back(U8(line)); }
  void WriteResource(const std::u16string& name, const std::u16string& path) override {
    Events.push_back("write " + U8(name) + " " + U8(path));
    Files.insert(U8(path));
  }
  std::u16string LongTempPath() override { return u"C:\\Temp\\"; }
  std::u16string NewGuidText() override { return u"{GUID-" + IntToText(++Guids) + u"}"; }
  void ForceDirectories(const std::u16string& path) override { Events.push_back("mkdir " + U8(path)); }

  // The window is closed (as by the player) when the event that starts with CloseOn happens.
  bool CloseIf(const std::string& event) {
    if (Display == nullptr || CloseOn.empty() || event.rfind(CloseOn, 0) != 0) return false;
    Display->Close();
    return true;
  }

  bool Has(const std::string& event) const { return std::find(Events.begin(), Events.end(), event) != Events.end(); }
  int Count(const std::string& prefix) const {
    return static_cast<int>(std::count_if(Events.begin(), Events.end(),
                                          [&](const std::string& e) { return e.rfind(prefix, 0) == 0; }));
  }

  std::map<std::string, std::deque<TAttempt>> Downloads;
  std::set<std::string> Files;
  std::vector<std::string> Events;
  std::vector<std::string> Log;
  std::vector<std::pair<std::string, std::size_t>> Recovered;
  bool WebView2 = false;
  bool ServerDown = false;
  bool ExtractFails = false;
  bool PatchToolFails = false;
  std::u16string PatchList = u"{\"download_path\":\"/connector/patches/\"}";
  std::int32_t ServerLevel = 0;
  int Guids = 0;
  bool Signed = false;                  // built with update keys
  std::set<std::string> BadSignatures;  // files whose signature does not verify
  TFakeDisplay* Display = nullptr;
  std::string CloseOn;
  std::function<void()> OnDownload;  // runs once, inside the next download
};

class UpdateSequence : public ::testing::Test {
 protected:
  void SetUp() override {
    Settings.FConnectInfo.App_center_ip = u"10.0.0.5";
    Settings.FConnectInfo.App_center_port = 8080;
    Settings.FBaseDirectory = u"C:\\Game Dir\\";
    Settings.FConfigFileName = u"C:\\Launcher\\CVLauncher.cfg";
    Settings.FEnglishClient = true;
  }
  void SetPre(std::initializer_list<const char16_t*> plain) {
    for (const char16_t* entry : plain) Settings.FInstallFiles.push_back(EncryptString(entry, ServerKeyText));
  }
  // The sequence takes its copy of the settings when first used.
  TUpdateSequence& Sequence() {
    if (!FSequence) {
      Platform.Display = &Display;
      FSequence = std::make_unique<TUpdateSequence>(Settings, Display, Platform);
    }
    return *FSequence;
  }
  const TUpdateState& State() { return Sequence().State(); }
  void Serve(const std::string& url, std::deque<TAttempt> attempts) { Platform.Downloads[url] = std::move(attempts); }

  TLauncherSettings Settings;
  TFakeDisplay Display;
  TFakePlatform Platform;

 private:
  std::unique_ptr<TUpdateSequence> FSequence;
};

const std::string kPatches = "http://10.0.0.5:8080/connector/patches/";
const std::string kLanguage = "http://10.0.0.5:8080/connector/patch/";
const std::string kPre = "http://10.0.0.5:8080/pre/";

TEST_F(UpdateSequence, PrerequisitesAllGoodEraseThePreSectionAndLaunchWithoutQuery) {
  SetPre({u"/pre/", u"webview.zip", u"vc2012.zip", u"vc2022.zip"});
  Platform.WebView2 = true;  // entry 1 is not even needed then
  Serve(kPre + "vc2012.zip", {kGood});
  Serve(kPre + "vc2022.zip", {kGood});
  Sequence().TimerShowDownloadTimer();

  EXPECT_EQ(U8(State().FBaseRemote), kPre);
  EXPECT_FALSE(Platform.Has("download " + kPre + "webview.zip"));
  EXPECT_TRUE(Platform.Has("runwait \"C:\\Game Dir\\vc2012.exe\" /silent /install"));
  EXPECT_TRUE(Platform.Has("runwait \"C:\\Game Dir\\vc2022.exe\" /silent /install"));
  EXPECT_TRUE(Platform.Has("delete C:\\Game Dir\\vc2012.zip"));
  EXPECT_TRUE(Platform.Has("erase Pre"));
  EXPECT_FALSE(Platform.Has("query"));
  EXPECT_TRUE(Display.Closed);
  EXPECT_TRUE(Platform.Has("run \"C:\\Temp\\{GUID-1}\\LEProc.exe\" \"C:\\Game Dir\\Proc.exe\""));
  const std::vector<std::string> stages = {"Downloading Visual Studio Code 2012...", "Decompressing Visual Studio Code 2012...",
                                           "Installing Visual Studio Code 2012..."};
  for (const auto& stage : stages) {
    EXPECT_NE(std::find(Display.Texts.begin(), Display.Texts.end(), stage), Display.Texts.end()) << stage;
  }
}

TEST_F(UpdateSequence, FailedPrerequisiteStillFetchesTheOthersThenPromptsAndYesRunsTheUpdate) {
  SetPre({u"/pre/", u"webview.zip", u"vc2012.zip", u"vc2022.zip"});
  Serve(kPre + "vc2012.zip", {kGood});
  Serve(kPre + "vc2022.zip", {kGood});
  Sequence().TimerShowDownloadTimer();

  EXPECT_EQ(Platform.Count("download " + kPre + "webview.zip"), 5);
  EXPECT_EQ(Platform.Log, std::vector<std::string>(5, "DownloadStatus is not correct: 0"));
  EXPECT_EQ(Platform.Count("runwait"), 2);
  EXPECT_FALSE(Platform.Has("erase Pre"));
  EXPECT_TRUE(Display.PromptShown);
  EXPECT_EQ(Display.StatusText(), texts::kPrerequisitesFailed);

  Platform.ServerDown = true;
  Sequence().ImgYesClick();
  EXPECT_TRUE(Platform.Has("query"));
  EXPECT_EQ(Display.Fatal, "Server not available! Closing the launcher...");
  EXPECT_FALSE(Display.PromptShown) << "the prompt gives way while the update runs";
}

TEST_F(UpdateSequence, PreSectionWithOneEntryFailsOnTheFirstMissingEntry) {
  SetPre({u"/pre/"});
  EXPECT_THROW(Sequence().TimerShowDownloadTimer(), Exception);
  EXPECT_EQ(U8(State().FBaseRemote), kPre);
}

TEST_F(UpdateSequence, UndecryptablePreEntryEscapes) {
  Settings.FInstallFiles.push_back(u"QUJ");
  EXPECT_THROW(Sequence().TimerShowDownloadTimer(), EDecryptError);
}

TEST_F(UpdateSequence, FirstTickPutsRightAnInterruptedUnpackBeforeAnythingElse) {
  Platform.ServerLevel = 4;
  Settings.FClientActualPatchVersion = 3;
  Serve(kPatches + "patch_4.zip", {kGood});
  Sequence().TimerShowDownloadTimer();
  const std::vector<std::pair<std::string, std::size_t>> once = {{"C:\\Game Dir\\", 0}};
  EXPECT_EQ(Platform.Recovered, once);
  EXPECT_TRUE(Platform.Has("extract C:\\Game Dir\\patch_4.zip -> C:\\Game Dir\\"));

  // Without a base directory there is no client folder to put right.
  TLauncherSettings state;
  state.FInstallClient = true;
  TFakeDisplay display;
  TFakePlatform platform;
  TUpdateSequence sequence(state, display, platform);
  sequence.TimerShowDownloadTimer();
  EXPECT_TRUE(platform.Recovered.empty());
}

TEST_F(UpdateSequence, InstallClientLaunchesDirectlyWithoutServerContact) {
  Settings.FInstallClient = true;
  Sequence().TimerShowDownloadTimer();
  EXPECT_FALSE(Platform.Has("query"));
  EXPECT_EQ(Platform.Count("download"), 0);
  EXPECT_TRUE(Platform.Has("run \"C:\\Game Dir\\Proc.exe\" /EMUL"));
  // The locale emulator's files are written either way, and Proc.exe once.
  EXPECT_TRUE(Platform.Has("write LEProcEXE C:\\Temp\\{GUID-1}\\LEProc.exe"));
  EXPECT_TRUE(Platform.Has("write CVLauncherEXE C:\\Game Dir\\Proc.exe"));
  EXPECT_TRUE(Platform.Has("write CVLauncherCONFIG C:\\Game Dir\\Proc.exe.le.config"));
  EXPECT_EQ(U8(State().FTempPath), "C:\\Temp\\{GUID-1}\\");
  EXPECT_TRUE(Display.Closed);
}

TEST_F(UpdateSequence, SecondLaunchKeepsProcExeAndMakesANewTemporaryFolder) {
  Sequence().LaunchClient();
  Display.Closed = false;  // as in a second start of the program
  Sequence().LaunchClient();
  EXPECT_EQ(Platform.Count("write CVLauncherEXE"), 1);
  EXPECT_EQ(Platform.Count("write CVLauncherCONFIG"), 2);
  EXPECT_TRUE(Platform.Has("mkdir C:\\Temp\\{GUID-1}\\"));
  EXPECT_TRUE(Platform.Has("mkdir C:\\Temp\\{GUID-2}\\"));
}

struct TPatchRoad {
  const char* Name;
  std::int32_t Installed;
  std::int32_t Server;
  bool Language;
  std::vector<std::string> Fetched;  // file names, in order
  bool ToolRuns;
  std::vector<std::string> Writes;   // configuration edits at the tool's end
};

TEST_F(UpdateSequence, PatchRoads) {
  const TPatchRoad roads[] = {
      {"3 to 5 with language", 3, 5, true, {"patch_4.zip", "patch_5.zip", "patch_english_lang.zip"}, true,
       {"clear UpdateClientLanguage", "save PatchVersion 5"}},
      {"3 to 5 without language", 3, 5, false, {"patch_4.zip", "patch_5.zip"}, true, {"save PatchVersion 5"}},
      {"5 and 5, no language", 5, 5, false, {}, false, {}},
      {"5 and 5 with language", 5, 5, true, {"patch_english_lang.zip"}, true, {"clear UpdateClientLanguage"}},
      {"7 and 5 with language", 7, 5, true, {"patch_english_lang.zip"}, true,
       {"clear UpdateClientLanguage", "save PatchVersion 5"}},
  };
  for (const auto& road : roads) {
    SCOPED_TRACE(road.Name);
    TLauncherSettings state;
    state.FConnectInfo = Settings.FConnectInfo;
    state.FBaseDirectory = Settings.FBaseDirectory;
    state.FEnglishClient = true;
    state.FClientActualPatchVersion = road.Installed;
    state.FUpdateClientLanguage = road.Language;
    TFakeDisplay display;
    TFakePlatform platform;
    platform.ServerLevel = road.Server;
    for (int n = 1; n <= 9; ++n) platform.Downloads[kPatches + "patch_" + std::to_string(n) + ".zip"] = {kGood};
    platform.Downloads[kLanguage + "patch_english_lang.zip"] = {kGood};
    TUpdateSequence sequence(state, display, platform);
    sequence.TimerShowDownloadTimer();

    std::vector<std::string> fetched;
    for (const auto& e : platform.Events) {
      if (e.rfind("download ", 0) == 0) fetched.push_back(e.substr(e.find_last_of('/') + 1));
    }
    EXPECT_EQ(fetched, road.Fetched);
    EXPECT_EQ(platform.Count("patchtool"), road.ToolRuns ? 1 : 0);
    if (road.ToolRuns) {
      EXPECT_EQ(display.StatusText(), texts::kApplyingPatches);
      EXPECT_TRUE(platform.Has("patchtool C:\\Game Dir\\patchtool.exe | patchtool.exe | C:\\Game Dir\\"));
      EXPECT_EQ(platform.Log.back(), "Apply patch (directory, cmdline): C:\\Game Dir\\ patchtool.exe");
      EXPECT_FALSE(display.Closed);
      sequence.cmdPatchTerminated();
      EXPECT_TRUE(platform.Has("delete C:\\Game Dir\\patchtool.exe"));
      EXPECT_TRUE(platform.Has("delete C:\\Game Dir\\PackingLibraryWrapper-Win32-Release.dll"));
      EXPECT_NE(std::find(display.Texts.begin(), display.Texts.end(), "The client is up to date"), display.Texts.end());
    }
    std::vector<std::string> writes;
    for (const auto& e : platform.Events) {
      if (e.rfind("save", 0) == 0 || e.rfind("clear", 0) == 0) writes.push_back(e);
    }
    EXPECT_EQ(writes, road.Writes);
    EXPECT_TRUE(display.Closed) << "the client launcher is started in the end";
  }
}

TEST_F(UpdateSequence, FailingPatchPromptsAndKeepsTheLevel) {
  Settings.FClientActualPatchVersion = 3;
  Platform.ServerLevel = 5;
  Serve(kPatches + "patch_4.zip", {kGood});
  Sequence().TimerShowDownloadTimer();
  EXPECT_EQ(State().FNewPatchVersion, 4);
  EXPECT_EQ(Platform.Count("download " + kPatches + "patch_5.zip"), 5);
  EXPECT_EQ(Display.StatusText(), texts::kUpdateFailed);
  EXPECT_EQ(Platform.Count("patchtool"), 0);

  Sequence().ImgYesClick();
  EXPECT_EQ(Platform.Count("save"), 0);
  EXPECT_TRUE(Display.Closed);
}

TEST_F(UpdateSequence, YesOnAnyOtherTextDoesNothingAndNoCloses) {
  Sequence().ImgYesClick();
  EXPECT_TRUE(Platform.Events.empty());
  EXPECT_FALSE(Display.Closed);
  Sequence().ImgNoClick();
  EXPECT_TRUE(Display.Closed);
}

TEST_F(UpdateSequence, ServerDownShowsTheFatalMessageAndChangesNothing) {
  Platform.ServerDown = true;
  Sequence().TimerShowDownloadTimer();
  EXPECT_EQ(Display.Fatal, "Server not available! Closing the launcher...");
  EXPECT_EQ(Platform.Events, std::vector<std::string>{"query"});
}

TEST_F(UpdateSequence, PatchListForms) {
  struct TCase {
    const char16_t* List;
    bool Throws;
    std::int32_t NewLevel;
  };
  const TCase cases[] = {
      {u"", false, 5},                          // no JSON: nothing numbered, the server's level
      {u"not json", false, 5},
      {u"{\"other\":1}", true, 0},              // "download_path" missing
      {u"{\"download_path\":\"/p/\"}", false, 5},
  };
  for (const auto& c : cases) {
    TLauncherSettings state;
    state.FConnectInfo = Settings.FConnectInfo;
    state.FClientActualPatchVersion = 5;
    TFakeDisplay display;
    TFakePlatform platform;
    platform.PatchList = c.List;
    platform.ServerLevel = 5;
    TUpdateSequence sequence(state, display, platform);
    if (c.Throws) {
      EXPECT_THROW(sequence.TimerShowDownloadTimer(), Exception) << U8(c.List);
    } else {
      sequence.TimerShowDownloadTimer();
      EXPECT_EQ(sequence.State().FNewPatchVersion, c.NewLevel) << U8(c.List);
      EXPECT_TRUE(display.Closed) << U8(c.List);
    }
  }
}

TEST_F(UpdateSequence, KeepUpdateFilesLeavesTheToolInPlace) {
  Settings.FKeepUpdateFiles = true;
  Settings.FUpdateClientLanguage = true;
  Serve(kLanguage + "patch_english_lang.zip", {kGood});
  Sequence().TimerShowDownloadTimer();
  Sequence().cmdPatchTerminated();
  EXPECT_EQ(Platform.Count("delete C:\\Game Dir\\patchtool.exe"), 0);
}

TEST_F(UpdateSequence, KoreanLanguagePatchWhenLanguageIsZero) {
  Settings.FEnglishClient = false;
  Settings.FUpdateClientLanguage = true;
  Serve(kLanguage + "patch_korean_lang.zip", {kGood});
  Sequence().TimerShowDownloadTimer();
  EXPECT_TRUE(Platform.Has("download " + kLanguage + "patch_korean_lang.zip"));
}

TEST_F(UpdateSequence, PatchToolThatCannotStartEndsInTheUpdatePrompt) {
  Settings.FUpdateClientLanguage = true;
  Platform.PatchToolFails = true;
  Serve(kLanguage + "patch_english_lang.zip", {kGood});
  Sequence().TimerShowDownloadTimer();
  EXPECT_EQ(Display.StatusText(), texts::kUpdateFailed);
  EXPECT_TRUE(Display.PromptShown);
}

TEST_F(UpdateSequence, FetchRetriesLogsAndUnpacksOnce) {
  const std::string url = "http://h/f/a.zip";
  const TAttempt noFile{{TDownloadStatus::dsEnddownloaddata}, false};
  Serve(url, {kUnreachable, noFile, kGood});
  EXPECT_TRUE(Sequence().FetchFile(u"http://h/f/", u"a.zip", u"A", true, false));
  EXPECT_EQ(Platform.Count("download"), 3);
  EXPECT_EQ(Platform.Log, std::vector<std::string>{"DownloadStatus is not correct: 0"}) << "no log line for a missing file";
  EXPECT_EQ(Platform.Count("extract"), 1);
  EXPECT_FALSE(Platform.FileExists(u"C:\\Game Dir\\a.zip"));
  EXPECT_EQ(Platform.Count("discard"), 0) << "a failed attempt's part is there for the next one";
}

TEST_F(UpdateSequence, FetchThatGivesUpDropsWhatTheAttemptsKept) {
  const std::string url = "http://h/f/a.zip";
  const TAttempt cut{{TDownloadStatus::dsBegindownloaddata, TDownloadStatus::dsDownloadingdata}, false};
  Serve(url, {cut});
  EXPECT_FALSE(Sequence().FetchFile(u"http://h/f/", u"a.zip", u"A", true, false));
  EXPECT_EQ(Platform.Count("download"), 5);
  ASSERT_FALSE(Platform.Events.empty());
  EXPECT_EQ(Platform.Events.back(), "discard C:\\Game Dir\\a.zip") << "after the last attempt, once";
  EXPECT_EQ(Platform.Count("discard"), 1);

  // With signatures, what a cut signature download kept goes too.
  Platform.Events.clear();
  Platform.Signed = true;
  EXPECT_FALSE(Sequence().FetchFile(u"http://h/f/", u"a.zip", u"A", true, false));
  EXPECT_EQ(Platform.Count("discard"), 2);
  EXPECT_TRUE(Platform.Has("discard C:\\Game Dir\\a.zip.sig"));
}

TEST_F(UpdateSequence, EachAttemptIsJudgedByItsOwnReports) {
  Serve("http://h/f/a.zip", {kGood});
  ASSERT_TRUE(Sequence().FetchFile(u"http://h/f/", u"a.zip", u"A", false, false));
  // The next download reports nothing, though a file of its name happens to exist.
  Platform.Files.insert("C:\\Game Dir\\b.zip");
  EXPECT_FALSE(Sequence().FetchFile(u"http://h/f/", u"b.zip", u"B", false, true));
  EXPECT_EQ(Platform.Count("runwait"), 0) << "no installer after a failed fetch";
}

TEST_F(UpdateSequence, UnpackErrorEscapesAndKeepsTheArchive) {
  Serve("http://h/f/a.zip", {kGood});
  Platform.ExtractFails = true;
  EXPECT_THROW(Sequence().FetchFile(u"http://h/f/", u"a.zip", u"A", true, false), Exception);
  EXPECT_TRUE(Platform.FileExists(u"C:\\Game Dir\\a.zip"));
}

// A close at any step ends the run right there: after the step that saw it, nothing of
// the update happens any more (no request, unpacking, installer, tool, launch or write).
TEST_F(UpdateSequence, CloseAtEachStepStopsEverythingAfterIt) {
  struct TCase {
    const char* CloseOn;
    bool Prerequisites;
  };
  const TCase cases[] = {
      {"download http://10.0.0.5:8080/pre/vc2012.zip", true},
      {"runwait \"C:\\Game Dir\\vc2012.exe\"", true},
      {"query", false},
      {"download http://10.0.0.5:8080/connector/patches/patch_4.zip", false},
      {"extract C:\\Game Dir\\patch_4.zip", false},
      {"download http://10.0.0.5:8080/connector/patch/patch_english_lang.zip", false},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.CloseOn);
    TLauncherSettings settings = Settings;
    settings.FClientActualPatchVersion = 3;
    settings.FUpdateClientLanguage = true;
    if (c.Prerequisites) {
      for (const char16_t* entry : {u"/pre/", u"webview.zip", u"vc2012.zip", u"vc2022.zip"}) {
        settings.FInstallFiles.push_back(EncryptString(entry, ServerKeyText));
      }
    }
    TFakeDisplay display;
    TFakePlatform platform;
    platform.Display = &display;
    platform.CloseOn = c.CloseOn;
    platform.WebView2 = true;
    platform.ServerLevel = 5;
    for (const char* file : {"pre/vc2012.zip", "pre/vc2022.zip", "connector/patches/patch_4.zip",
                             "connector/patches/patch_5.zip", "connector/patch/patch_english_lang.zip"}) {
      platform.Downloads["http://10.0.0.5:8080/" + std::string(file)] = {kGood};
    }
    TUpdateSequence sequence(settings, display, platform);
    sequence.TimerShowDownloadTimer();

    const auto at = std::find_if(platform.Events.begin(), platform.Events.end(),
                                 [&](const std::string& e) { return e.rfind(c.CloseOn, 0) == 0; });
    ASSERT_NE(at, platform.Events.end());
    // Only clean-up may follow: the archive of a cancelled unpack is removed.
    std::vector<std::string> after;
    for (auto e = at + 1; e != platform.Events.end(); ++e) {
      if (e->rfind("delete ", 0) != 0) after.push_back(*e);
    }
    EXPECT_EQ(after, std::vector<std::string>{});
    EXPECT_TRUE(display.Fatal.empty());
    EXPECT_FALSE(display.PromptShown);

    // Whatever arrives afterwards from the window or the runner starts nothing.
    const std::size_t events = platform.Events.size();
    sequence.TimerShowDownloadTimer();
    sequence.ImgYesClick();
    sequence.cmdPatchTerminated();
    EXPECT_EQ(platform.Events.size(), events);
  }
}

TEST_F(UpdateSequence, CloseWhileThePatchToolRunsWritesNothingAndLaunchesNothing) {
  Settings.FUpdateClientLanguage = true;
  Serve(kLanguage + "patch_english_lang.zip", {kGood});
  Sequence().TimerShowDownloadTimer();
  ASSERT_EQ(Platform.Count("patchtool"), 1);
  Display.Close();
  Sequence().cmdPatchTerminated();
  EXPECT_EQ(Platform.Count("clear"), 0);
  EXPECT_EQ(Platform.Count("save"), 0);
  EXPECT_EQ(Platform.Count("run "), 0);
}

TEST_F(UpdateSequence, NoOnThePromptClosesAndYesAfterwardsDoesNothing) {
  Settings.FClientActualPatchVersion = 3;
  Platform.ServerLevel = 4;
  Sequence().TimerShowDownloadTimer();  // patch_4 is not served: the update prompt
  ASSERT_EQ(Display.StatusText(), texts::kUpdateFailed);
  const std::size_t events = Platform.Events.size();
  Sequence().ImgNoClick();
  Sequence().ImgYesClick();
  EXPECT_TRUE(Display.Closed);
  EXPECT_EQ(Platform.Events.size(), events);
}

TEST_F(UpdateSequence, AnEventInsideANestedPumpStartsNoSecondRun) {
  Serve(kPatches + "patch_1.zip", {kGood});
  Platform.ServerLevel = 1;
  Platform.OnDownload = [this] {
    // A tick and a click delivered while the download lets messages run.
    Sequence().TimerShowDownloadTimer();
    Sequence().ImgYesClick();
  };
  Sequence().TimerShowDownloadTimer();
  EXPECT_EQ(Platform.Count("query"), 1);
  EXPECT_EQ(Platform.Count("download"), 1);
}

// With update keys built in, every fetched file is checked against the signature beside
// it before it is unpacked or run; a missing or wrong one makes the attempt a failed one.
TEST_F(UpdateSequence, SignedFetchesCheckEveryFileBeforeUsingIt) {
  struct TCase {
    const char* What;
    bool SignatureServed;
    bool SignatureGood;
    bool Fetched;
  };
  const TCase cases[] = {
      {"good signature", true, true, true},
      {"missing signature", false, true, false},
      {"wrong signature", true, false, false},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.What);
    TFakeDisplay display;
    TFakePlatform platform;
    platform.Signed = true;
    platform.Downloads["http://h/f/setup.zip"] = {kGood};
    if (c.SignatureServed) platform.Downloads["http://h/f/setup.zip.sig"] = {kGood};
    if (!c.SignatureGood) platform.BadSignatures.insert("C:\\Game Dir\\setup.zip");
    TUpdateSequence sequence(Settings, display, platform);
    EXPECT_EQ(sequence.FetchFile(u"http://h/f/", u"setup.zip", u"Setup", true, true), c.Fetched);
    EXPECT_EQ(platform.Count("extract"), c.Fetched ? 1 : 0);
    EXPECT_EQ(platform.Count("runwait"), c.Fetched ? 1 : 0) << "no installer from an unsigned archive";
    EXPECT_EQ(platform.Count("download http://h/f/setup.zip.sig"), c.Fetched ? 1 : 5);
    EXPECT_EQ(platform.Log, c.Fetched ? std::vector<std::string>{}
                                      : std::vector<std::string>(5, "Signature is not correct: setup.zip"));
    EXPECT_FALSE(platform.FileExists(u"C:\\Game Dir\\setup.zip.sig")) << "the signature file never stays";
    EXPECT_FALSE(platform.FileExists(u"C:\\Game Dir\\setup.zip"));
  }
  // Built without keys: the same requests as ever, no signature asked for.
  Serve("http://h/f/a.zip", {kGood});
  EXPECT_TRUE(Sequence().FetchFile(u"http://h/f/", u"a.zip", u"A", true, false));
  EXPECT_EQ(Platform.Count("download http://h/f/a.zip.sig"), 0);
  EXPECT_EQ(Platform.Count("verify"), 0);
}

TEST(UpdateSequenceText, ProgressPercentages) {
  const std::tuple<std::int32_t, std::int32_t, const char*> cases[] = {
      {5, 4, "Downloading Patch 3... 100%"},       {1, 8, "Downloading Patch 3... 12%"},
      {3, 8, "Downloading Patch 3... 38%"},        {0, 8, "Downloading Patch 3... 0%"},
      {42, 100, "Downloading Patch 3... 42%"},     {2147483647, 2147483647, "Downloading Patch 3... 100%"},
      {1073741823, 2147483647, "Downloading Patch 3... 50%"}, {7, 0, "Downloading Patch 3..."},
  };
  for (const auto& [progress, total, expected] : cases) {
    EXPECT_EQ(U8(TUpdateSequence::ProgressText(u"Downloading Patch 3...", progress, total)), expected);
  }
}

TEST(UpdateSequenceText, InstallerCommandLine) {
  EXPECT_EQ(U8(TUpdateSequence::InstallerCommandLine(u"C:\\My Game\\", u"vc.redist.zip")),
            "\"C:\\My Game\\vc.redist.exe\" /silent /install");
  EXPECT_EQ(U8(TUpdateSequence::InstallerCommandLine(u"", u"setup")), "\"setup.exe\" /silent /install");
}

}  // namespace
}  // namespace cvl
