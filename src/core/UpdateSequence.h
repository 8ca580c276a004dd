// The start-up sequence of the main window: from the first timer tick to the started
// client launcher, a prompt, or the fatal message. It runs on the main thread; errors
// that no step handles escape to the window's event handling.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "DownloadStatus.h"

namespace cvl {

class IStatusDisplay;
class IUpdatePlatform;
struct TFrmMainState;

class TUpdateSequence {
 public:
  TUpdateSequence(TFrmMainState& state, IStatusDisplay& display, IUpdatePlatform& platform);

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
  void InstallPrerequisites();
  void RunPatchToolOrPrompt();
  std::u16string PreEntry(std::size_t index) const;
  std::u16string ServerRoot() const;  // "http://" + address + ":" + port
  // The folder URL of the numbered patches, or nullopt when the patch list is no JSON.
  std::optional<std::u16string> PatchFolderUrl() const;

  TFrmMainState& FState;
  IStatusDisplay& FDisplay;
  IUpdatePlatform& FPlatform;
};

}  // namespace cvl
