#include "app/FrmMain.h"

#include "app/WindowColours.h"
#include "core/Exception.h"
#include "core/LauncherTexts.h"
#include "core/StringCipher.h"
#include "win32/base/MessagePump.h"
#include "win32/window/Picture.h"
#include "win32/base/SystemError.h"
#include "win32/base/WinText.h"
#include "win32/window/WindowText.h"
#include "win32/window/WindowErrorBox.h"
#include "win32/window/WindowStyle.h"

namespace cvl {

namespace {

constexpr int ClientWidth = 386, ClientHeight = 166;
constexpr wchar_t FontSegoe[] = L"Segoe UI";
constexpr wchar_t FontTahoma[] = L"Tahoma";
constexpr UINT_PTR IdTimerShowDownload = 1, IdTimerClose = 2, IdAnimation = 3;
// Move with the mouse: SC_MOVE combined with the caption's hit-test code.
constexpr WPARAM ScDragMove = 0xF012;

std::shared_ptr<TPicture> Artwork(const wchar_t* name) {
  return TPicture::FromResource(name, MAKEINTRESOURCEW(10) /* RT_RCDATA */);
}

}  // namespace

TFrmMain::TFrmMain(TFrmMainHooks hooks)
    : FHooks(std::move(hooks)),
      Shape1(0, 0, ClientWidth, ClientHeight, colours::Background, colours::Outline),
      ImgLogo(11, 11, 25, 12, true),
      ImgLoading(177, 107, 32, 32, true),
      ImgYes(65, 108, 114, 35, false),
      ImgNo(202, 108, 114, 35, false),
      ImgRecuadroIn(65, 145, 114, 35, false),
      ImgRecuadroOut(202, 145, 114, 35, false),
      LblMessage(16, 56, 362, 39, true, texts::kChecking, FontSegoe, 13, colours::MessageText, true),
      LblYes(109, 118, 21, 17, false, u"Yes", FontTahoma, 14, colours::ButtonText, false),
      LblNo(249, 118, 17, 17, false, u"No", FontTahoma, 14, colours::ButtonText, false),
      TimerShowDownload(IdTimerShowDownload, 100),
      TimerClose(IdTimerClose, 5000),
      FAnimation(IdAnimation, 100) {
  // The pictures are decoded with the form, before its window and before the common
  // controls are loaded (see RunApplication).
  LoadPictures();
}

TFrmMain::~TFrmMain() {
  if (FHandle != nullptr) {
    ::SetWindowLongPtrW(FHandle, GWLP_USERDATA, 0);
    ::DestroyWindow(FHandle);
  }
}

void TFrmMain::RegisterWindowClass() const {
  WNDCLASSEXW windowClass{};
  windowClass.cbSize = sizeof(windowClass);
  if (::GetClassInfoExW(::GetModuleHandleW(nullptr), MainWindowClassName, &windowClass)) return;
  windowClass.cbSize = sizeof(windowClass);
  windowClass.lpfnWndProc = &TFrmMain::WindowProc;
  windowClass.hInstance = ::GetModuleHandleW(nullptr);
  windowClass.hCursor = nullptr;  // the surface sets the cursor itself
  windowClass.hIcon = ::LoadIconW(::GetModuleHandleW(nullptr), L"MAINICON");
  windowClass.lpszClassName = MainWindowClassName;
  if (::RegisterClassExW(&windowClass) == 0) {
    throw Exception("EOSError", SystemErrorMessage(::GetLastError()));
  }
}

void TFrmMain::Create() {
  RegisterWindowClass();
  const TDpiScale scale = TDpiScale::ForScreen();
  // A top-level popup with the application-window style: borderless, yet the owner of
  // the program's taskbar button. Clipping the children keeps the labels from flickering.
  FHandle = ::CreateWindowExW(WS_EX_APPWINDOW, MainWindowClassName, MainWindowCaption,
                              WS_POPUP | WS_CLIPCHILDREN | WS_SYSMENU | WS_MINIMIZEBOX, 0, 0,
                              scale.Scale(ClientWidth), scale.Scale(ClientHeight), nullptr, nullptr,
                              ::GetModuleHandleW(nullptr), this);
  if (FHandle == nullptr) throw Exception("EOSError", SystemErrorMessage(::GetLastError()));
  FSurface.Attach(FHandle, scale);
  for (TWindowTimer* timer : {&TimerShowDownload, &TimerClose, &FAnimation}) timer->Attach(FHandle);
  CreateComponents();
  CreateDeveloperControls();
  WireEvents();
  RunCreationHook();
}

void TFrmMain::LoadPictures() {
  ImgLogo.SetPicture(Artwork(L"IMGLOGO"));
  ImgLoading.SetPicture(Artwork(L"IMGLOADING"));
  ImgRecuadroIn.SetPicture(Artwork(L"IMGRECUADROIN"));
  ImgRecuadroOut.SetPicture(Artwork(L"IMGRECUADROOUT"));
  ImgYes.SetPicture(ImgRecuadroOut.Picture());
  ImgNo.SetPicture(ImgRecuadroOut.Picture());
}

void TFrmMain::CreateComponents() {
  for (TDrawnControl* control : std::initializer_list<TDrawnControl*>{
           &Shape1, &ImgLogo, &LblMessage, &ImgLoading, &ImgYes, &ImgNo, &ImgRecuadroIn, &ImgRecuadroOut,
           &LblYes, &LblNo}) {
    FSurface.Add(*control);
  }
  LblMessage.CreateAccessibleWindow(FHandle, IdLblMessage, FSurface.Scale());
  LblYes.CreateAccessibleWindow(FHandle, IdLblYes, FSurface.Scale());
  LblNo.CreateAccessibleWindow(FHandle, IdLblNo, FSurface.Scale());
}

void TFrmMain::CreateDeveloperControls() {
  const TDpiScale& scale = FSurface.Scale();
  FControlFont.Reset(::CreateFontW(-scale.Scale(13), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                                   OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                                   DEFAULT_PITCH | FF_DONTCARE, FontSegoe));
  FEditBrush.Reset(::CreateSolidBrush(ActiveVisualStyle().Edit));
  FButtonBrush.Reset(::CreateSolidBrush(ActiveVisualStyle().Button));
  struct TControlSpec {
    int id;
    const wchar_t* windowClass;
    const wchar_t* caption;
    DWORD style;
    int left, top, width, height;
  };
  // Developer tools: made like every other control, never shown.
  const TControlSpec controls[] = {
      {IdEdtEncrypted, L"EDIT", L"", ES_AUTOHSCROLL | WS_BORDER, 265, 113, 121, 25},
      {IdEdtDecrypted, L"EDIT", L"", ES_AUTOHSCROLL | WS_BORDER, 265, 82, 121, 25},
      {IdButton2, L"BUTTON", L"encrypt", BS_PUSHBUTTON, 265, 8, 75, 25},
      {IdButton3, L"BUTTON", L"decrypt", BS_PUSHBUTTON, 265, 39, 75, 25},
  };
  for (const TControlSpec& c : controls) {
    const RECT r = scale.ScaleBounds(c.left, c.top, c.width, c.height);
    HWND control = ::CreateWindowExW(0, c.windowClass, c.caption, WS_CHILD | WS_TABSTOP | c.style, r.left, r.top,
                                     r.right - r.left, r.bottom - r.top, FHandle,
                                     reinterpret_cast<HMENU>(static_cast<INT_PTR>(c.id)), nullptr, nullptr);
    ::SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(FControlFont.Get()), FALSE);
  }
}

void TFrmMain::WireEvents() {
  Shape1.OnMouseDown = [this](TMouseButton button) { Shape1MouseDown(button); };
  for (TDrawnControl* yes : std::initializer_list<TDrawnControl*>{&ImgYes, &LblYes}) {
    yes->OnMouseEnter = [this] { ImgYesMouseEnter(); };
    yes->OnMouseLeave = [this] { ImgYesMouseLeave(); };
    yes->OnClick = [this] { ImgYesClick(); };
  }
  for (TDrawnControl* no : std::initializer_list<TDrawnControl*>{&ImgNo, &LblNo}) {
    no->OnMouseEnter = [this] { ImgNoMouseEnter(); };
    no->OnMouseLeave = [this] { ImgNoMouseLeave(); };
    no->OnClick = [this] { ImgNoClick(); };
  }
  TimerShowDownload.OnTimer = [this] { TimerShowDownloadTimer(); };
  TimerClose.OnTimer = [this] { TimerCloseTimer(); };
  FAnimation.OnTimer = [this] { AnimationTimer(); };
}

void TFrmMain::RunCreationHook() {
  // An error of the creation handler is shown, and the window is still shown afterwards.
  try {
    if (FHooks.FormCreate) FHooks.FormCreate();
  } catch (...) {
    ShowCurrentExceptionBox(nullptr);
  }
}

void TFrmMain::Show() {
  const TDpiScale& scale = FSurface.Scale();
  const int width = scale.Scale(ClientWidth), height = scale.Scale(ClientHeight);
  const int left = (::GetSystemMetrics(SM_CXSCREEN) - width) / 2;
  const int top = (::GetSystemMetrics(SM_CYSCREEN) - height) / 2;
  ::SetWindowPos(FHandle, nullptr, left, top, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
  ::ShowWindow(FHandle, SW_SHOWNORMAL);
  ::UpdateWindow(FHandle);
  try {
    FormShow();
  } catch (...) {
    ShowCurrentExceptionBox(FHandle);
  }
}

// --- IStatusDisplay -------------------------------------------------------------------

void TFrmMain::SetStatusText(const std::u16string& text) {
  LblMessage.SetText(text);
  ProcessMessages();
}

std::u16string TFrmMain::StatusText() const { return LblMessage.Text(); }

void TFrmMain::ProcessMessages() { cvl::ProcessMessages(); }

void TFrmMain::ShowPrompt(bool show, const std::u16string& message) {
  ImgLoading.SetVisible(!show);
  for (TDrawnControl* control : std::initializer_list<TDrawnControl*>{&ImgYes, &ImgNo, &LblYes, &LblNo}) {
    control->SetVisible(show);
  }
  LblMessage.SetText(message);
}

void TFrmMain::ShowFatalMessage(const std::u16string& message) {
  LblMessage.SetText(message);
  LblMessage.SetColour(colours::FatalText);
  LblMessage.SetBold(true);
  ImgLoading.SetVisible(false);
  FAnimation.SetEnabled(false);
  TimerClose.SetEnabled(true);
}

void TFrmMain::Close() {
  // Once only: a close that arrives while the first one runs (a timer tick or a click
  // inside a nested message pump) finds the window already on its way out.
  if (FClosing) return;
  FClosing = true;
  if (FHandle == nullptr || !::IsWindow(FHandle)) return;
  FormClose();
  ::DestroyWindow(FHandle);
}

// --- Event handlers -------------------------------------------------------------------

void TFrmMain::FormShow() {
  FAnimation.SetInterval(ImgLoading.FrameDelay() > 0 ? ImgLoading.FrameDelay() : 100);
  FAnimation.SetEnabled(true);
  // Paint the window before any work starts.
  ProcessMessages();
  TimerShowDownload.SetEnabled(true);
}

void TFrmMain::FormClose() {
  // The run's objects are not freed here: a step of the start-up sequence may still be
  // inside a nested message pump with them. It sees Closing() at its next check and
  // unwinds; they go with the run after the message loop has ended.
  if (FHooks.FormClose) FHooks.FormClose();
}

void TFrmMain::Shape1MouseDown(TMouseButton button) {
  if (button != TMouseButton::mbLeft) return;
  ::ReleaseCapture();
  ::SendMessageW(FHandle, WM_SYSCOMMAND, ScDragMove, 0);
}

void TFrmMain::ImgYesMouseEnter() {
  ImgYes.SetPicture(ImgRecuadroIn.Picture());
  FSurface.SetCursor(::LoadCursorW(nullptr, IDC_HAND));
  LblYes.SetColour(colours::ButtonTextHighlight);
}

void TFrmMain::ImgYesMouseLeave() {
  ImgYes.SetPicture(ImgRecuadroOut.Picture());
  FSurface.SetCursor(::LoadCursorW(nullptr, IDC_ARROW));
  LblYes.SetColour(colours::ButtonText);
}

void TFrmMain::ImgNoMouseEnter() {
  ImgNo.SetPicture(ImgRecuadroIn.Picture());
  FSurface.SetCursor(::LoadCursorW(nullptr, IDC_HAND));
  LblNo.SetColour(colours::ButtonTextHighlight);
}

void TFrmMain::ImgNoMouseLeave() {
  ImgNo.SetPicture(ImgRecuadroOut.Picture());
  FSurface.SetCursor(::LoadCursorW(nullptr, IDC_ARROW));
  LblNo.SetColour(colours::ButtonText);
}

void TFrmMain::ImgYesClick() {
  if (FHooks.ImgYesClick) FHooks.ImgYesClick(*this);
}

void TFrmMain::ImgNoClick() { Close(); }

void TFrmMain::TimerShowDownloadTimer() {
  TimerShowDownload.SetEnabled(false);
  if (FHooks.TimerShowDownloadTimer) FHooks.TimerShowDownloadTimer(*this);
}

void TFrmMain::TimerCloseTimer() {
  TimerClose.SetEnabled(false);
  ::EnableWindow(FHandle, FALSE);
  Close();
}

void TFrmMain::Button2Click() {
  const std::u16string plain = WindowTextOf(DeveloperControl(IdEdtDecrypted));
  ::SetWindowTextW(DeveloperControl(IdEdtEncrypted), ToWide(EncryptString(plain, ServerKeyText)).c_str());
}

void TFrmMain::Button3Click() {
  const std::u16string protectedText = WindowTextOf(DeveloperControl(IdEdtEncrypted));
  ::SetWindowTextW(DeveloperControl(IdEdtDecrypted), ToWide(DecryptString(protectedText, ServerKeyText)).c_str());
}

void TFrmMain::AnimationTimer() {
  const unsigned delay = ImgLoading.NextFrame();
  if (delay > 0) FAnimation.SetInterval(delay);
}

// --- Messages -------------------------------------------------------------------------

LRESULT CALLBACK TFrmMain::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    auto* form = static_cast<TFrmMain*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
    ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(form));
    form->FHandle = window;
  }
  auto* form = reinterpret_cast<TFrmMain*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
  if (form == nullptr) return ::DefWindowProcW(window, message, wParam, lParam);
  // An error that reaches an event handler is shown, and the program goes on.
  try {
    return form->HandleMessage(message, wParam, lParam);
  } catch (...) {
    ShowCurrentExceptionBox(window);
    return 0;
  }
}

LRESULT TFrmMain::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_ERASEBKGND:
      return 1;  // everything is painted in WM_PAINT, through a memory bitmap
    case WM_PAINT: {
      TPaintScope paint(FHandle);
      FSurface.Paint(paint.DC(), paint.Area(), POINT{paint.Area().left, paint.Area().top});
      return 0;
    }
    case WM_DRAWITEM:
      FSurface.PaintChild(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
      return TRUE;
    case WM_SETCURSOR:
      if (LOWORD(lParam) == HTCLIENT) {
        ::SetCursor(FSurface.Cursor());
        return TRUE;
      }
      break;
    case WM_MOUSEMOVE: case WM_MOUSELEAVE: case WM_LBUTTONDOWN: case WM_LBUTTONUP:
    case WM_RBUTTONDOWN: case WM_RBUTTONUP: case WM_MBUTTONDOWN: case WM_MBUTTONUP:
      return HandleMouse(message, wParam, lParam);
    case WM_TIMER:
      for (TWindowTimer* timer : {&TimerShowDownload, &TimerClose, &FAnimation}) {
        if (timer->Id() == wParam) timer->Tick();
      }
      return 0;
    case WM_COMMAND:
      if (HIWORD(wParam) == BN_CLICKED && LOWORD(wParam) == IdButton2) Button2Click();
      if (HIWORD(wParam) == BN_CLICKED && LOWORD(wParam) == IdButton3) Button3Click();
      return 0;
    case WM_CTLCOLOREDIT: case WM_CTLCOLORBTN:
      return HandleColour(message, wParam);
    case WM_CLOSE:
      Close();
      return 0;
    case WM_DESTROY:
      FClosing = true;
      for (TWindowTimer* timer : {&TimerShowDownload, &TimerClose, &FAnimation}) timer->SetEnabled(false);
      ::PostQuitMessage(0);
      return 0;
    case WM_NCDESTROY:
      ::SetWindowLongPtrW(FHandle, GWLP_USERDATA, 0);
      FHandle = nullptr;
      break;
    default:
      break;
  }
  return ::DefWindowProcW(FHandle, message, wParam, lParam);
}

LRESULT TFrmMain::HandleMouse(UINT message, WPARAM, LPARAM lParam) {
  const POINT point{static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
  switch (message) {
    case WM_MOUSEMOVE: FSurface.MouseMove(point); break;
    case WM_MOUSELEAVE: FSurface.MouseLeave(); break;
    case WM_LBUTTONDOWN: FSurface.MouseDown(point, TMouseButton::mbLeft); break;
    case WM_LBUTTONUP: FSurface.MouseUp(point, TMouseButton::mbLeft); break;
    case WM_RBUTTONDOWN: FSurface.MouseDown(point, TMouseButton::mbRight); break;
    case WM_RBUTTONUP: FSurface.MouseUp(point, TMouseButton::mbRight); break;
    case WM_MBUTTONDOWN: FSurface.MouseDown(point, TMouseButton::mbMiddle); break;
    case WM_MBUTTONUP: FSurface.MouseUp(point, TMouseButton::mbMiddle); break;
    default: break;
  }
  return 0;
}

LRESULT TFrmMain::HandleColour(UINT message, WPARAM wParam) {
  const TVisualStyle& style = ActiveVisualStyle();
  HDC dc = reinterpret_cast<HDC>(wParam);
  const bool edit = message == WM_CTLCOLOREDIT;
  ::SetTextColor(dc, edit ? style.EditText : style.ButtonText);
  ::SetBkColor(dc, edit ? style.Edit : style.Button);
  return reinterpret_cast<LRESULT>(edit ? FEditBrush.Get() : FButtonBrush.Get());
}

}  // namespace cvl
