// One launcher run: the creation handler, the start-up sequence and the patch tool's
// console runner, wired to the status window's events.
#pragma once

#include <memory>

#include "app/FrmMain.h"
#include "core/LauncherSettings.h"
#include "core/UpdateSequence.h"
#include "core/UpdateSignatures.h"
#include "win32/platform/Win32UpdatePlatform.h"
#include "win32/process/DosCommand.h"

namespace cvl {

class TLauncherRun {
 public:
  TLauncherRun();
  // A patch tool still running when the program ends is stopped without its end
  // handling: the window it would report to is gone.
  ~TLauncherRun();
  TLauncherRun(const TLauncherRun&) = delete;
  TLauncherRun& operator=(const TLauncherRun&) = delete;

  // The window's hooks; the run must outlive the window.
  TFrmMainHooks Hooks();

 private:
  void FormCreate();
  TUpdateSequence& Sequence(TFrmMain& frm);
  void FormClose();
  void cmdPatchTerminated();

  TDosCommand cmdPatch;
  TUpdateSignatures FSignatures{EmbeddedUpdateKeys()};
  TWin32UpdatePlatform FPlatform{cmdPatch, FSignatures};
  TLauncherSettings FSettings;  // what the creation handler read
  TFrmMain* FFrm = nullptr;
  std::unique_ptr<TUpdateSequence> FSequence;
};

}  // namespace cvl
