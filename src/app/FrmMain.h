// The launcher's one window: a small borderless status window centred on the screen with
// a logo, one status message, a loading indicator and, when asked, a Yes/No prompt.
// It holds the state of the whole run and shows what the start-up sequence reports.
#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <string>

#include "core/StatusDisplay.h"
#include "win32/window/WindowControls.h"
#include "win32/window/WindowSurface.h"
#include "win32/window/WindowTimer.h"

namespace cvl {

// The class name of this window; another copy of the program looks for it.
inline constexpr wchar_t MainWindowClassName[] = L"DuzudoZavizude0.9.DNC";
inline constexpr wchar_t MainWindowCaption[] = L"Duzudo Zavizude";

class TFrmMain;

// The work the window starts but does not do itself. An exception from any of them is
// shown in the application's error box and the window goes on.
struct TFrmMainHooks {
  // The creation handler: runs inside Create(), before the window is shown.
  std::function<void()> FormCreate;
  // The first tick of TimerShowDownload (the timer is already disabled): the update.
  std::function<void(TFrmMain&)> TimerShowDownloadTimer;
  // "Yes" of the prompt; what it means depends on the question asked.
  std::function<void(TFrmMain&)> ImgYesClick;
  // The window is closing, by whatever road: the run's work is to end.
  std::function<void()> FormClose;
};

class TFrmMain final : public IStatusDisplay {
 public:
  explicit TFrmMain(TFrmMainHooks hooks = {});
  ~TFrmMain() override;
  TFrmMain(const TFrmMain&) = delete;
  TFrmMain& operator=(const TFrmMain&) = delete;

  // Makes the window (hidden) and its components, then runs the creation handler.
  // Raises cvl::Exception when the window cannot be made.
  void Create();
  // Shows the window centred on the screen, then runs FormShow.
  void Show();
  HWND Handle() const { return FHandle; }

  // IStatusDisplay
  void SetStatusText(const std::u16string& text) override;
  std::u16string StatusText() const override;
  void ProcessMessages() override;
  void ShowPrompt(bool show, const std::u16string& message) override;
  void ShowFatalMessage(const std::u16string& message) override;
  void Close() override;
  bool Closing() const override { return FClosing; }

  // How the status text looks: the fatal message turns it bold and red.
  bool StatusTextBold() const { return LblMessage.Bold(); }
  COLORREF StatusTextColour() const { return LblMessage.Colour(); }

  // The hidden developer controls (edit fields and buttons), as child windows.
  HWND DeveloperControl(int id) const { return ::GetDlgItem(FHandle, id); }
  static constexpr int IdEdtEncrypted = 101, IdEdtDecrypted = 102, IdButton2 = 103, IdButton3 = 104;
  static constexpr int IdLblMessage = 111, IdLblYes = 112, IdLblNo = 113;

 private:
  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT HandleMouse(UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT HandleColour(UINT message, WPARAM wParam);
  void RegisterWindowClass() const;
  void LoadPictures();
  void CreateComponents();
  void CreateDeveloperControls();
  void WireEvents();
  void RunCreationHook();

  // Event handlers.
  void FormShow();
  void FormClose();
  void Shape1MouseDown(TMouseButton button);
  void ImgYesMouseEnter();
  void ImgYesMouseLeave();
  void ImgNoMouseEnter();
  void ImgNoMouseLeave();
  void ImgYesClick();
  void ImgNoClick();
  void TimerShowDownloadTimer();
  void TimerCloseTimer();
  void Button2Click();
  void Button3Click();
  void AnimationTimer();

  TFrmMainHooks FHooks;
  HWND FHandle = nullptr;
  bool FClosing = false;  // set once, by the first close
  TWindowSurface FSurface;
  TScopedFont FControlFont;
  TScopedBrush FEditBrush, FButtonBrush;

  // Visual components, bottom to top.
  TShapeControl Shape1;
  TPictureControl ImgLogo, ImgLoading, ImgYes, ImgNo, ImgRecuadroIn, ImgRecuadroOut;
  TLabelControl LblMessage, LblYes, LblNo;

  TWindowTimer TimerShowDownload, TimerClose, FAnimation;
};

}  // namespace cvl
