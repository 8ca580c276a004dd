#include "app/LauncherRun.h"

#include "core/FormCreate.h"
#include "win32/platform/Win32FormCreatePlatform.h"
#include "win32/window/WindowErrorBox.h"

namespace cvl {

TLauncherRun::TLauncherRun() {
  // No input echoed, no time limits: the tool runs until it ends by itself.
  cmdPatch.InputToOutput = false;
  cmdPatch.MaxTimeAfterBeginning = 0;
  cmdPatch.MaxTimeAfterLastOutput = 0;
  cmdPatch.OnTerminated = [this](TDosCommand&) { cmdPatchTerminated(); };
}

TLauncherRun::~TLauncherRun() { cmdPatch.OnTerminated = nullptr; }

TFrmMainHooks TLauncherRun::Hooks() {
  TFrmMainHooks hooks;
  hooks.FormCreate = [](TFrmMainState& state) {
    TWin32FormCreatePlatform platform;
    FormCreate(state, platform);
  };
  hooks.TimerShowDownloadTimer = [this](TFrmMain& frm) { Sequence(frm).TimerShowDownloadTimer(); };
  hooks.ImgYesClick = [this](TFrmMain& frm) { Sequence(frm).ImgYesClick(); };
  return hooks;
}

TUpdateSequence& TLauncherRun::Sequence(TFrmMain& frm) {
  if (!FSequence) {
    FFrm = &frm;
    FSequence = std::make_unique<TUpdateSequence>(frm.State(), frm, FPlatform);
  }
  return *FSequence;
}

void TLauncherRun::cmdPatchTerminated() {
  if (!FSequence) return;
  // The runner reports on the main thread from its own message window; an error here
  // is shown like any other event handler's.
  try {
    FSequence->cmdPatchTerminated();
  } catch (...) {
    ShowCurrentExceptionBox(FFrm != nullptr ? FFrm->Handle() : nullptr);
  }
}

}  // namespace cvl
