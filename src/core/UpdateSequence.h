// The start-up sequence of the main window: from the first timer tick to the started
// client launcher, a prompt, or the fatal message. It runs on the main thread; errors
// that no step handles escape to the window's event handling. It owns the state of the
// run; the settings the creation handler read are its own copy.
//
// Window messages run nested inside its steps (every status change, download report and
// installer wait lets them through), so the window can be closed in the middle of any
// step. After every such point the sequence looks whether the window is closing and, if
// so, stops there: no further request, unpacking, tool run, launch or configuration
// write. An event that arrives while a step runs starts nothing.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "ConnectInfo.h"
#include "DownloadStatus.h"
#include "LauncherSettings.h"
#include "UpdatePlatform.h"

namespace cvl {

class IStatusDisplay;
class IUpdatePlatform;

// The question the Yes/No prompt asks, which decides what Yes does.
enum class TPrompt { None, Prerequisites, Update };

// The state of one run that the sequence keeps besides its settings.
struct TUpdateState {
  std::u16string FTempPath;            // per-launch temporary folder, ends in a backslash
  std::u16string FBaseRemote;          // base URL of the prerequisite downloads
  TDownloadStatus FLastDownloadStatus = TDownloadStatus::dsNULL;
  std::u16string FMessage;             // current progress message, without the percentage
  TConnectInfo FConnectInfo;           // the settings' address, then what the server said
  std::u16string FBaseServerAdr;       // "http://" + address + ":" + port
  std::int32_t FNewPatchVersion = 0;
  TPrompt FPrompt = TPrompt::None;     // the question on screen, if any
};

class TUpdateSequence {
 public:
  TUpdateSequence(TLauncherSettings settings, IStatusDisplay& display, IUpdatePlatform& platform);

  const TLauncherSettings& Settings() const { return FSettings; }
  const TUpdateState& State() const { return FState; }

  // Window events.
  void TimerShowDownloadTimer();  // the one tick of TimerShowDownload
  void ImgYesClick();
  void ImgNoClick();
  void cmdPatchTerminated();      // the patch tool has ended

  // Steps, in the order a run takes them.
  void CheckPrerequisites();
  void UpdateClient();
  bool ApplyClientPatches();
  bool DownloadLanguagePatch();
  bool RunPatchTool();
  void LaunchClient();

  // The one way a file comes from the server, and its progress display.
  bool FetchFile(const std::u16string& remoteFolder, const std::u16string& fileName, const std::u16string& label,
                 bool unpack, bool install);
  void DownloadProgress(std::int32_t ulProgress, std::int32_t ulProgressMax, TDownloadStatus ulStatusCode);

  // "Downloading Patch 3..." + " 42%": the text a progress report shows.
  static std::u16string ProgressText(const std::u16string& message, std::int32_t progress, std::int32_t total);
  // The installer that came with an archive, quoted, with the installer switches.
  static std::u16string InstallerCommandLine(const std::u16string& baseDirectory, const std::u16string& fileName);

 private:
  // Runs one event's work unless another is under way or the window is closing; a stop
  // for a closing window ends it quietly.
  template <class TStep>
  void RunEvent(TStep step);
  // Ends the current event when the window is closing (after every nested message pump).
  void StopIfClosing() const;
  void ShowStatus(const std::u16string& text);
  void AskPrompt(TPrompt prompt);
  IUpdatePlatform::TCancelled Cancelled() const;

  // With update keys built in: the file's signature fetched from beside it and checked.
  bool SignatureCorrect(const std::u16string& remoteFolder, const std::u16string& fileName,
                        const std::u16string& localPath);
  void InstallPrerequisites();
  void RunPatchToolOrPrompt();
  void PatchToolEnded();
  std::u16string PreEntry(std::size_t index) const;
  std::u16string ServerRoot() const;  // "http://" + address + ":" + port
  // The folder URL of the numbered patches, or nullopt when the patch list is no JSON.
  std::optional<std::u16string> PatchFolderUrl() const;

  const TLauncherSettings FSettings;
  TUpdateState FState;
  IStatusDisplay& FDisplay;
  IUpdatePlatform& FPlatform;
  bool FRunning = false;  // an event's work is under way
};

}  // namespace cvl
