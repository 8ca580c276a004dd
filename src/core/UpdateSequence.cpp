#include "UpdateSequence.h"

#include <cmath>

#include "Exception.h"
#include "LauncherTexts.h"
#include "Payloads.h"
#include "ServerInfo.h"
#include "StatusDisplay.h"
#include "StringCipher.h"
#include "Text.h"
#include "UpdatePlatform.h"
#include "UpdateSignature.h"

namespace cvl {
namespace {

constexpr int kFetchAttempts = 5;

std::u16string Quoted(const std::u16string& path) { return u"\"" + path + u"\""; }

// Thrown when the window is closing, caught where the event's work began. Not an error:
// the player asked the launcher to end, and it ends without a word.
struct TStopForClose {};

// Clears a flag when the scope ends, however it ends.
class TFlagScope {
 public:
  explicit TFlagScope(bool& flag) : FFlag(flag) { FFlag = true; }
  ~TFlagScope() { FFlag = false; }
  TFlagScope(const TFlagScope&) = delete;
  TFlagScope& operator=(const TFlagScope&) = delete;

 private:
  bool& FFlag;
};

}  // namespace

TUpdateSequence::TUpdateSequence(TLauncherSettings settings, IStatusDisplay& display, IUpdatePlatform& platform)
    : FSettings(std::move(settings)), FDisplay(display), FPlatform(platform) {
  FState.FConnectInfo = FSettings.FConnectInfo;
}

template <class TStep>
void TUpdateSequence::RunEvent(TStep step) {
  // A click or tick that arrives inside one of the sequence's nested message pumps, or
  // after the window began to close, starts nothing.
  if (FRunning || FDisplay.Closing()) return;
  TFlagScope running(FRunning);
  try {
    step();
  } catch (const TStopForClose&) {
    // The window is closing: the work ends here and the program with it.
  }
}

void TUpdateSequence::StopIfClosing() const {
  if (FDisplay.Closing()) throw TStopForClose{};
}

void TUpdateSequence::ShowStatus(const std::u16string& text) {
  FDisplay.SetStatusText(text);  // lets waiting messages run
  StopIfClosing();
}

void TUpdateSequence::AskPrompt(TPrompt prompt) {
  FState.FPrompt = prompt;
  FDisplay.ShowPrompt(true, prompt == TPrompt::Prerequisites ? texts::kPrerequisitesFailed : texts::kUpdateFailed);
}

IUpdatePlatform::TCancelled TUpdateSequence::Cancelled() const {
  return [this] { return FDisplay.Closing(); };
}

void TUpdateSequence::TimerShowDownloadTimer() {
  RunEvent([this] {
    // Before anything touches the client folder: an apply a killed run left half-done.
    if (!FSettings.FBaseDirectory.empty()) FPlatform.RecoverInterruptedUnpack(FSettings.FBaseDirectory);
    CheckPrerequisites();
  });
}

void TUpdateSequence::CheckPrerequisites() {
  FState.FLastDownloadStatus = TDownloadStatus::dsNULL;
  FState.FNewPatchVersion = 0;
  if (!FSettings.FInstallFiles.empty()) {
    InstallPrerequisites();
    return;
  }
  if (FSettings.FInstallClient) {
    LaunchClient();
    return;
  }
  FState.FNewPatchVersion = FSettings.FClientActualPatchVersion;
  UpdateClient();
}

std::u16string TUpdateSequence::ServerRoot() const {
  return u"http://" + FState.FConnectInfo.App_center_ip + u":" + IntToText(FState.FConnectInfo.App_center_port);
}

std::u16string TUpdateSequence::PreEntry(std::size_t index) const {
  const auto& entries = FSettings.FInstallFiles;
  if (index >= entries.size()) {
    throw Exception("EListError", FormatText(u"List index out of bounds (%d)", {IntToText(static_cast<long long>(index))}));
  }
  return DecryptString(entries[index], ServerKeyText);
}

void TUpdateSequence::InstallPrerequisites() {
  // Entries are decrypted just before their use: a bad entry stops the step right there.
  FState.FBaseRemote = ServerRoot() + PreEntry(0);
  const bool webView = FPlatform.WebView2Installed() ||
                       FetchFile(FState.FBaseRemote, PreEntry(1), texts::kLabelWebView, true, true);
  const bool runtime2012 = FetchFile(FState.FBaseRemote, PreEntry(2), texts::kLabelRuntime2012, true, true);
  const bool runtime2022 = FetchFile(FState.FBaseRemote, PreEntry(3), texts::kLabelRuntime2022, true, true);
  if (webView && runtime2012 && runtime2022) {
    StopIfClosing();
    FPlatform.ErasePreSection(FSettings.FConfigFileName);
    LaunchClient();
  } else {
    AskPrompt(TPrompt::Prerequisites);
  }
}

void TUpdateSequence::UpdateClient() {
  const int answer = FPlatform.QueryServerInfo(FState.FConnectInfo, FState.FBaseServerAdr, Cancelled());
  StopIfClosing();
  if (answer != 1) {
    FDisplay.ShowFatalMessage(texts::kServerNotAvailable);
    return;
  }
  if (!ApplyClientPatches()) {
    AskPrompt(TPrompt::Update);
  }
}

std::optional<std::u16string> TUpdateSequence::PatchFolderUrl() const {
  // A patch list that is no JSON at all means "no numbered patches"; a JSON list
  // without "download_path" is an error that ends the sequence.
  const auto path = FindPatchDownloadPath(FState.FConnectInfo.PatchList);
  if (!path) return std::nullopt;
  return FState.FBaseServerAdr + *path;
}

bool TUpdateSequence::ApplyClientPatches() {
  const TConnectInfo& info = FState.FConnectInfo;
  if (const auto folder = PatchFolderUrl()) {
    // 64-bit so that an installed level of 2147483647 cannot overflow.
    std::int64_t n = static_cast<std::int64_t>(FSettings.FClientActualPatchVersion) + 1;
    if (n <= info.PatchVersion) {
      for (; n <= info.PatchVersion; ++n) {
        const std::u16string number = IntToText(n);
        const std::u16string file = texts::kPatchFilePrefix + number + texts::kPatchFileExtension;
        if (!FetchFile(*folder, file, texts::kLabelPatch + number, true, false)) {
          return false;
        }
        FState.FNewPatchVersion = static_cast<std::int32_t>(n);
      }
      DownloadLanguagePatch();
      RunPatchToolOrPrompt();
      return true;
    }
  }
  FState.FNewPatchVersion = info.PatchVersion;
  if (DownloadLanguagePatch()) {
    RunPatchToolOrPrompt();
  } else {
    LaunchClient();
  }
  return true;
}

bool TUpdateSequence::DownloadLanguagePatch() {
  if (!FSettings.FUpdateClientLanguage) return false;
  const std::u16string folder = ServerRoot() + texts::kLanguagePatchFolder;
  if (FSettings.FEnglishClient) {
    return FetchFile(folder, texts::kEnglishPatchFile, texts::kLabelEnglishPatch, true, false);
  }
  return FetchFile(folder, texts::kKoreanPatchFile, texts::kLabelKoreanPatch, true, false);
}

void TUpdateSequence::RunPatchToolOrPrompt() {
  // A tool that cannot be written or started must not leave the window waiting for an
  // end that never comes: offer to launch as after a failed update.
  if (!RunPatchTool()) {
    AskPrompt(TPrompt::Update);
  }
}

bool TUpdateSequence::RunPatchTool() {
  ShowStatus(texts::kApplyingPatches);
  const std::u16string& base = FSettings.FBaseDirectory;
  try {
    FPlatform.WriteResource(payloads::kLibrary.Resource, base + payloads::kLibrary.File);
    FPlatform.WriteResource(payloads::kPatcher.Resource, base + payloads::kPatcher.File);
    FPlatform.ChangeCurrentDirectory(base);
    FPlatform.WriteLog(texts::kLogApplyPatch + base + u" " + payloads::kPatcher.File);
    // Started by its full path, so no other "patchtool.exe" on the search path can run
    // instead; the tool still sees the bare command line.
    FPlatform.StartPatchTool(base + payloads::kPatcher.File, payloads::kPatcher.File, base);
    return true;
  } catch (const std::exception&) {
    // The failure is not lost: the caller turns it into the update prompt, and the
    // player can still launch the client from there.
    return false;
  }
}

void TUpdateSequence::cmdPatchTerminated() {
  RunEvent([this] { PatchToolEnded(); });
}

void TUpdateSequence::PatchToolEnded() {
  const std::u16string& base = FSettings.FBaseDirectory;
  if (!FSettings.FKeepUpdateFiles) {
    FPlatform.RemoveFile(base + payloads::kLibrary.File);
    FPlatform.RemoveFile(base + payloads::kPatcher.File);
  }
  if (FSettings.FUpdateClientLanguage) {
    FPlatform.ClearLanguageUpdateFlag(FSettings.FConfigFileName);
  }
  if (FState.FNewPatchVersion != FSettings.FClientActualPatchVersion) {
    FPlatform.SavePatchVersion(FSettings.FConfigFileName, FState.FNewPatchVersion);
  }
  ShowStatus(texts::kClientUpToDate);
  LaunchClient();
}

void TUpdateSequence::LaunchClient() {
  StopIfClosing();
  FState.FTempPath = FPlatform.LongTempPath() + FPlatform.NewGuidText() + u"\\";
  FPlatform.ForceDirectories(FState.FTempPath);
  const std::u16string& temp = FState.FTempPath;
  const std::u16string& base = FSettings.FBaseDirectory;
  FPlatform.WriteResource(payloads::kLECommonLibrary.Resource, temp + payloads::kLECommonLibrary.File);
  FPlatform.WriteResource(payloads::kLoaderDll.Resource, temp + payloads::kLoaderDll.File);
  FPlatform.WriteResource(payloads::kLocaleEmulator.Resource, temp + payloads::kLocaleEmulator.File);
  FPlatform.WriteResource(payloads::kLEProc.Resource, temp + payloads::kLEProc.File);
  const std::u16string clientLauncher = base + payloads::kClientLauncher.File;
  if (!FPlatform.FileExists(clientLauncher)) {
    FPlatform.WriteResource(payloads::kClientLauncher.Resource, clientLauncher);
  }
  FPlatform.WriteResource(payloads::kClientProfile.Resource, base + payloads::kClientProfile.File);
  FPlatform.WriteResource(payloads::kWebView2Loader.Resource, temp + payloads::kWebView2Loader.File);

  // Both program paths are quoted: a path with blanks must never become a search.
  const std::u16string commandLine = FSettings.FInstallClient
                                         ? Quoted(clientLauncher) + texts::kClientLauncherSwitch
                                         : Quoted(temp + payloads::kLEProc.File) + u" " + Quoted(clientLauncher);
  StopIfClosing();
  FPlatform.RunProgram(commandLine);
  FDisplay.Close();
}

bool TUpdateSequence::FetchFile(const std::u16string& remoteFolder, const std::u16string& fileName,
                                const std::u16string& label, bool unpack, bool install) {
  const std::u16string& base = FSettings.FBaseDirectory;
  const std::u16string localPath = base + fileName;
  bool fetched = false;
  for (int attempt = 0; attempt < kFetchAttempts && !fetched; ++attempt) {
    // Each attempt is judged by its own reports, never by an earlier download's.
    FState.FLastDownloadStatus = TDownloadStatus::dsNULL;
    FState.FMessage = texts::kDownloading + label + texts::kStageEnd;
    ShowStatus(FState.FMessage);
    FPlatform.DownloadUrlToFile(remoteFolder + fileName, localPath,
                                [this](std::int32_t progress, std::int32_t total, TDownloadStatus status) {
                                  DownloadProgress(progress, total, status);
                                },
                                Cancelled());
    FDisplay.ProcessMessages();
    StopIfClosing();
    if (FState.FLastDownloadStatus != TDownloadStatus::dsEnddownloaddata) {
      FPlatform.WriteLog(texts::kLogDownloadStatus + IntToText(static_cast<int>(FState.FLastDownloadStatus)));
      continue;
    }
    if (!FPlatform.FileExists(localPath)) continue;
    if (!SignatureCorrect(remoteFolder, fileName, localPath)) {
      // Nothing of a file that is not the operator's is unpacked or run.
      FPlatform.WriteLog(texts::kLogSignatureNotCorrect + fileName);
      FPlatform.RemoveFile(localPath);
      continue;
    }
    if (unpack) {
      ShowStatus(texts::kDecompressing + label + texts::kStageEnd);
      try {
        FPlatform.ExtractZip(localPath, base, Cancelled());
      } catch (...) {
        // A cancelled unpack applied nothing; the archive goes too, the window is going.
        if (FDisplay.Closing()) FPlatform.RemoveFile(localPath);
        StopIfClosing();
        throw;
      }
      // Applied whole: the archive goes, even when the window closed during the move.
      FPlatform.RemoveFile(localPath);
      StopIfClosing();
    }
    fetched = true;
  }
  // After the last failed attempt, nothing of the file or of its signature stays behind.
  if (!fetched) {
    FPlatform.DiscardPartialDownload(localPath);
    if (FPlatform.SignaturesRequired()) FPlatform.DiscardPartialDownload(localPath + kSignatureFileSuffix);
  }
  if (fetched && install) {
    ShowStatus(texts::kInstalling + label + texts::kStageEnd);
    FPlatform.RunAndWait(InstallerCommandLine(base, fileName), Cancelled());
    FDisplay.ProcessMessages();
    StopIfClosing();
  }
  return fetched;
}

bool TUpdateSequence::SignatureCorrect(const std::u16string& remoteFolder, const std::u16string& fileName,
                                       const std::u16string& localPath) {
  if (!FPlatform.SignaturesRequired()) return true;
  const std::u16string signaturePath = localPath + kSignatureFileSuffix;
  bool arrived = false;
  FPlatform.DownloadUrlToFile(remoteFolder + fileName + kSignatureFileSuffix, signaturePath,
                              [&arrived](std::int32_t, std::int32_t, TDownloadStatus status) {
                                arrived = status == TDownloadStatus::dsEnddownloaddata;
                              },
                              Cancelled());
  if (FDisplay.Closing()) {
    FPlatform.RemoveFile(signaturePath);
    FPlatform.RemoveFile(localPath);
    StopIfClosing();
  }
  const bool correct = arrived && FPlatform.FileExists(signaturePath) &&
                       FPlatform.SignatureCorrect(localPath, fileName, signaturePath);
  FPlatform.RemoveFile(signaturePath);
  return correct;
}

void TUpdateSequence::DownloadProgress(std::int32_t ulProgress, std::int32_t ulProgressMax,
                                       TDownloadStatus ulStatusCode) {
  FState.FLastDownloadStatus = ulStatusCode;
  // A stop raised here cancels the transfer; the downloader passes it on once it ended.
  ShowStatus(ProgressText(FState.FMessage, ulProgress, ulProgressMax));
}

std::u16string TUpdateSequence::ProgressText(const std::u16string& message, std::int32_t progress,
                                             std::int32_t total) {
  // A total the server did not announce gives no percentage, only the stage text.
  if (total <= 0) return message;
  const std::int32_t shown = progress < total ? progress : total;
  // Floating point, so no 32-bit value overflows; nearbyint rounds halves to even.
  double percent = std::nearbyint(static_cast<double>(shown) * 100.0 / static_cast<double>(total));
  if (percent < 0) percent = 0;
  return message + u" " + IntToText(static_cast<long long>(percent)) + u"%";
}

std::u16string TUpdateSequence::InstallerCommandLine(const std::u16string& baseDirectory,
                                                     const std::u16string& fileName) {
  const auto dot = fileName.find_last_of(u'.');
  const std::u16string stem = dot == std::u16string::npos ? fileName : fileName.substr(0, dot);
  return Quoted(baseDirectory + stem + u".exe") + texts::kInstallerSwitches;
}

void TUpdateSequence::ImgYesClick() {
  RunEvent([this] {
    const TPrompt prompt = FState.FPrompt;
    FState.FPrompt = TPrompt::None;
    if (prompt == TPrompt::Prerequisites) {
      // The update goes on without the prerequisites: the prompt gives way to the
      // indicator again, so No cannot close the window in the middle of the update.
      FDisplay.ShowPrompt(false, texts::kChecking);
      UpdateClient();
    } else if (prompt == TPrompt::Update) {
      LaunchClient();
    }
  });
}

void TUpdateSequence::ImgNoClick() { FDisplay.Close(); }

}  // namespace cvl
