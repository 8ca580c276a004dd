#include "app/LauncherRun.h"

#include <exception>

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
  hooks.FormCreate = [this] { FormCreate(); };
  hooks.TimerShowDownloadTimer = [this](TFrmMain& frm) { Sequence(frm).TimerShowDownloadTimer(); };
  hooks.ImgYesClick = [this](TFrmMain& frm) { Sequence(frm).ImgYesClick(); };
  hooks.FormClose = [this] { FormClose(); };
  return hooks;
}

void TLauncherRun::FormCreate() {
  TWin32FormCreatePlatform platform;
  TFormCreateResult read = cvl::FormCreate(platform);
  // What was read before an error is kept: the window shows the error and goes on.
  FSettings = std::move(read.Settings);
  if (read.Error) std::rethrow_exception(read.Error);
}

TUpdateSequence& TLauncherRun::Sequence(TFrmMain& frm) {
  if (!FSequence) {
    FFrm = &frm;
    FSequence = std::make_unique<TUpdateSequence>(FSettings, frm, FPlatform);
  }
  return *FSequence;
}

void TLauncherRun::FormClose() {
  // A patch tool still at work is stopped with the window. Its end is still reported,
  // but the sequence sees the window closing and does nothing more: no configuration
  // write, no launch.
  cmdPatch.Stop();
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
