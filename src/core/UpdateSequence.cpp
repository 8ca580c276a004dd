#include "UpdateSequence.h"

#include <cmath>

#include "Exception.h"
#include "FrmMainState.h"
#include "JsonText.h"
#include "LauncherTexts.h"
#include "StatusDisplay.h"
#include "StringCipher.h"
#include "Text.h"
#include "UpdatePlatform.h"

namespace cvl {
namespace {

constexpr int kFetchAttempts = 5;

std::u16string Quoted(const std::u16string& path) { return u"\"" + path + u"\""; }

}  // namespace

TUpdateSequence::TUpdateSequence(TFrmMainState& state, IStatusDisplay& display, IUpdatePlatform& platform)
    : FState(state), FDisplay(display), FPlatform(platform) {}

void TUpdateSequence::TimerShowDownloadTimer() { CheckPrerequisites(); }

void TUpdateSequence::CheckPrerequisites() {
  FState.FLastDownloadStatus = TDownloadStatus::dsNULL;
  FState.FNewPatchVersion = 0;
  if (FState.FInstallFiles && !FState.FInstallFiles->empty()) {
    InstallPrerequisites();
    return;
  }
  if (FState.FInstallClient) {
    LaunchClient();
    return;
  }
  FState.FNewPatchVersion = FState.FClientActualPatchVersion;
  UpdateClient();
}

std::u16string TUpdateSequence::ServerRoot() const {
  return u"http://" + FState.FConnectInfo->App_center_ip + u":" + IntToText(FState.FConnectInfo->App_center_port);
}

std::u16string TUpdateSequence::PreEntry(std::size_t index) const {
  const auto& entries = *FState.FInstallFiles;
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
    FPlatform.ErasePreSection(FState.FConfigFileName);
    LaunchClient();
  } else {
    FDisplay.ShowPrompt(true, texts::kPrerequisitesFailed);
  }
}

void TUpdateSequence::UpdateClient() {
  if (FPlatform.QueryServerInfo(FState) != 1) {
    FDisplay.ShowFatalMessage(texts::kServerNotAvailable);
    return;
  }
  if (!ApplyClientPatches()) {
    FDisplay.ShowPrompt(true, texts::kUpdateFailed);
  }
}

std::optional<std::u16string> TUpdateSequence::PatchFolderUrl() const {
  // A patch list that is no JSON at all means "no numbered patches"; a JSON list
  // without "download_path" is an error that ends the sequence.
  const auto list = ParseJsonText(FState.FConnectInfo->PatchList);
  if (!list) return std::nullopt;
  return FState.FBaseServerAdr + GetJsonString(*list, u"download_path");
}

bool TUpdateSequence::ApplyClientPatches() {
  const TConnectInfo& info = *FState.FConnectInfo;
  if (const auto folder = PatchFolderUrl()) {
    // 64-bit so that an installed level of 2147483647 cannot overflow.
    std::int64_t n = static_cast<std::int64_t>(FState.FClientActualPatchVersion) + 1;
    if (n <= info.PatchVersion) {
      for (; n <= info.PatchVersion; ++n) {
        const std::u16string number = IntToText(n);
        if (!FetchFile(*folder, texts::kPatchFilePrefix + number + texts::kPatchFileExtension, texts::kLabelPatch + number, true, false)) {
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
  if (!FState.FUpdateClientLanguage) return false;
  const std::u16string folder = ServerRoot() + texts::kLanguagePatchFolder;
  if (FState.FEnglishClient) {
    return FetchFile(folder, texts::kEnglishPatchFile, texts::kLabelEnglishPatch, true, false);
  }
  return FetchFile(folder, texts::kKoreanPatchFile, texts::kLabelKoreanPatch, true, false);
}

void TUpdateSequence::RunPatchToolOrPrompt() {
  // A tool that cannot be written or started must not leave the window waiting for an
  // end that never comes: offer to launch as after a failed update.
  if (!RunPatchTool()) {
    FDisplay.ShowPrompt(true, texts::kUpdateFailed);
  }
}

bool TUpdateSequence::RunPatchTool() {
  FDisplay.SetStatusText(texts::kApplyingPatches);
  const std::u16string& base = FState.FBaseDirectory;
  try {
    FPlatform.WriteResource(payloads::kLibrary, base + texts::kPatchLibraryFile);
    FPlatform.WriteResource(payloads::kPatcher, base + texts::kPatchToolFile);
    FPlatform.ChangeCurrentDirectory(base);
    FPlatform.WriteLog(texts::kLogApplyPatch + base + u" " + texts::kPatchToolFile);
    // Started by its full path, so no other "patchtool.exe" on the search path can run
    // instead; the tool still sees the bare command line.
    FPlatform.StartPatchTool(base + texts::kPatchToolFile, texts::kPatchToolFile, base);
    return true;
  } catch (const std::exception&) {
    return false;
  }
}

void TUpdateSequence::cmdPatchTerminated() {
  const std::u16string& base = FState.FBaseDirectory;
  if (!FState.FKeepUpdateFiles) {
    FPlatform.RemoveFile(base + texts::kPatchLibraryFile);
    FPlatform.RemoveFile(base + texts::kPatchToolFile);
  }
  if (FState.FUpdateClientLanguage) {
    FPlatform.ClearLanguageUpdateFlag(FState.FConfigFileName);
  }
  if (FState.FNewPatchVersion != FState.FClientActualPatchVersion) {
    FPlatform.SavePatchVersion(FState.FConfigFileName, FState.FNewPatchVersion);
  }
  FDisplay.SetStatusText(texts::kClientUpToDate);
  LaunchClient();
}

void TUpdateSequence::LaunchClient() {
  FState.FTempPath = FPlatform.LongTempPath() + FPlatform.NewGuidText() + u"\\";
  FPlatform.ForceDirectories(FState.FTempPath);
  const std::u16string& temp = FState.FTempPath;
  const std::u16string& base = FState.FBaseDirectory;
  FPlatform.WriteResource(payloads::kLECommonLibrary, temp + u"LECommonLibrary.dll");
  FPlatform.WriteResource(payloads::kLoaderDll, temp + u"LoaderDll.dll");
  FPlatform.WriteResource(payloads::kLocaleEmulator, temp + u"LocaleEmulator.dll");
  FPlatform.WriteResource(payloads::kLEProc, temp + u"LEProc.exe");
  const std::u16string clientLauncher = base + texts::kClientLauncherFile;
  if (!FPlatform.FileExists(clientLauncher)) {
    FPlatform.WriteResource(payloads::kClientLauncher, clientLauncher);
  }
  FPlatform.WriteResource(payloads::kClientProfile, clientLauncher + u".le.config");
  FPlatform.WriteResource(payloads::kWebView2Loader, temp + u"WebView2Loader.dll");

  // Both program paths are quoted: a path with blanks must never become a search.
  const std::u16string commandLine = FState.FInstallClient
                                         ? Quoted(clientLauncher) + texts::kClientLauncherSwitch
                                         : Quoted(temp + u"LEProc.exe") + u" " + Quoted(clientLauncher);
  FPlatform.RunProgram(commandLine);
  FDisplay.Close();
}

bool TUpdateSequence::FetchFile(const std::u16string& remoteFolder, const std::u16string& fileName,
                                const std::u16string& label, bool unpack, bool install) {
  const std::u16string localPath = FState.FBaseDirectory + fileName;
  bool fetched = false;
  for (int attempt = 0; attempt < kFetchAttempts && !fetched; ++attempt) {
    // Each attempt is judged by its own reports, never by an earlier download's.
    FState.FLastDownloadStatus = TDownloadStatus::dsNULL;
    FState.FMessage = texts::kDownloading + label + texts::kStageEnd;
    FDisplay.SetStatusText(FState.FMessage);
    FPlatform.DownloadUrlToFile(remoteFolder + fileName, localPath,
                                [this](std::int32_t progress, std::int32_t total, TDownloadStatus status) {
                                  DownloadProgress(progress, total, status);
                                });
    FDisplay.ProcessMessages();
    if (FState.FLastDownloadStatus != TDownloadStatus::dsEnddownloaddata) {
      FPlatform.WriteLog(texts::kLogDownloadStatus + IntToText(static_cast<int>(FState.FLastDownloadStatus)));
      continue;
    }
    if (!FPlatform.FileExists(localPath)) continue;
    if (unpack) {
      FDisplay.SetStatusText(texts::kDecompressing + label + texts::kStageEnd);
      FPlatform.ExtractZip(localPath, FState.FBaseDirectory);
      FPlatform.RemoveFile(localPath);
    }
    fetched = true;
  }
  if (fetched && install) {
    FDisplay.SetStatusText(texts::kInstalling + label + texts::kStageEnd);
    FPlatform.RunAndWait(InstallerCommandLine(FState.FBaseDirectory, fileName));
    FDisplay.ProcessMessages();
  }
  return fetched;
}

void TUpdateSequence::DownloadProgress(std::int32_t ulProgress, std::int32_t ulProgressMax,
                                       TDownloadStatus ulStatusCode) {
  FState.FLastDownloadStatus = ulStatusCode;
  FDisplay.SetStatusText(ProgressText(FState.FMessage, ulProgress, ulProgressMax));
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
  const std::u16string text = FDisplay.StatusText();
  if (text == texts::kPrerequisitesFailed) {
    // The update goes on without the prerequisites: the prompt gives way to the
    // indicator again, so No cannot close the window in the middle of the update.
    FDisplay.ShowPrompt(false, texts::kChecking);
    UpdateClient();
  } else if (text == texts::kUpdateFailed) {
    LaunchClient();
  }
}

void TUpdateSequence::ImgNoClick() { FDisplay.Close(); }

}  // namespace cvl
