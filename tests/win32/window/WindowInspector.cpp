// A test inspector that reads other programs' windows from outside, the way a screen
// reader or a tester would: top-level windows, the accessible names of a window's child
// controls, the texts of message boxes; it can press a box's button and close windows.
//
//   list                      class, title, visibility and rectangle of top-level windows
//   names CLASS               accessible name and visibility of the children of CLASS's window
//   texts CLASS               window text and visibility of the children of CLASS's window, read
//                             without a message to the window, so a busy window cannot hold it
//   dialogs                   title and child texts of visible dialog boxes
//   press TITLE BUTTON        presses BUTTON of the visible dialog box titled TITLE
//   close CLASS               asks every visible top-level window of CLASS to close
//   block CLASS TITLE         makes a hidden window of CLASS, prints "ready", waits for close
#include <windows.h>
#include <oleacc.h>

#include <cstdio>
#include <string>
#include <vector>

#include "win32/base/ComScoped.h"

namespace {

std::string Utf8(const std::wstring& text) {
  if (text.empty()) return {};
  const int size = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                         nullptr, nullptr);
  std::string out(static_cast<std::size_t>(size), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), size, nullptr, nullptr);
  return out;
}

// Line breaks are shown as "\n" so that every item stays on one output line.
std::string Escaped(const std::wstring& text) {
  std::string out;
  for (char c : Utf8(text)) {
    if (c == '\n') out += "\\n";
    else if (c == '\r') out += "\\r";
    else if (c == '\t') out += "\\t";
    else out += c;
  }
  return out;
}

std::wstring ClassOf(HWND window) {
  wchar_t name[256] = {};
  ::GetClassNameW(window, name, 256);
  return name;
}

std::wstring TextOf(HWND window) {
  wchar_t text[1024] = {};
  ::GetWindowTextW(window, text, 1024);
  return text;
}

BOOL CALLBACK Collect(HWND w, LPARAM p) {
  reinterpret_cast<std::vector<HWND>*>(p)->push_back(w);
  return TRUE;
}

std::vector<HWND> TopLevelWindows() {
  std::vector<HWND> windows;
  ::EnumWindows(&Collect, reinterpret_cast<LPARAM>(&windows));
  return windows;
}

std::vector<HWND> Children(HWND parent) {
  std::vector<HWND> windows;
  ::EnumChildWindows(parent, &Collect, reinterpret_cast<LPARAM>(&windows));
  return windows;
}

int List() {
  for (HWND w : TopLevelWindows()) {
    RECT r;
    ::GetWindowRect(w, &r);
    std::printf("%s\t%s\t%d\t%ld,%ld,%ld,%ld\n", Escaped(ClassOf(w)).c_str(), Escaped(TextOf(w)).c_str(),
                ::IsWindowVisible(w) ? 1 : 0, r.left, r.top, r.right, r.bottom);
  }
  return 0;
}

// The name an accessibility client gets for the child's client object.
std::wstring AccessibleName(HWND window) {
  cvl::TComPtr<IAccessible> accessible;
  if (FAILED(::AccessibleObjectFromWindow(window, static_cast<DWORD>(OBJID_CLIENT), IID_IAccessible,
                                          reinterpret_cast<void**>(accessible.Receive()))) ||
      !accessible) {
    return L"<no accessible object>";
  }
  VARIANT self;
  ::VariantInit(&self);
  self.vt = VT_I4;
  self.lVal = CHILDID_SELF;
  cvl::TScopedBstr name;
  std::wstring result = L"<no name>";
  if (SUCCEEDED(accessible->get_accName(self, name.Receive())) && name) {
    result.assign(name.Get(), ::SysStringLen(name.Get()));
  }
  return result;
}

// One line per child of CLASS's window: id, class, visibility and what `describe` reads.
int ListChildren(const std::wstring& windowClass, std::wstring (*describe)(HWND)) {
  HWND window = ::FindWindowW(windowClass.c_str(), nullptr);
  if (window == nullptr) return 1;
  for (HWND child : Children(window)) {
    std::printf("%d\t%s\t%d\t%s\n", ::GetDlgCtrlID(child), Escaped(ClassOf(child)).c_str(),
                ::IsWindowVisible(child) ? 1 : 0, Escaped(describe(child)).c_str());
  }
  return 0;
}

bool IsDialog(HWND w) { return ClassOf(w) == L"#32770" && ::IsWindowVisible(w); }

int Dialogs() {
  for (HWND w : TopLevelWindows()) {
    if (!IsDialog(w)) continue;
    for (HWND child : Children(w)) {
      std::printf("%s\t%s\t%s\n", Escaped(TextOf(w)).c_str(), Escaped(ClassOf(child)).c_str(),
                  Escaped(TextOf(child)).c_str());
    }
  }
  return 0;
}

std::wstring WithoutAmpersands(std::wstring text) {
  std::erase(text, L'&');
  return text;
}

int Press(const std::wstring& title, const std::wstring& button) {
  for (HWND w : TopLevelWindows()) {
    if (!IsDialog(w) || TextOf(w) != title) continue;
    for (HWND child : Children(w)) {
      if (_wcsicmp(ClassOf(child).c_str(), L"Button") == 0 && WithoutAmpersands(TextOf(child)) == button) {
        ::PostMessageW(child, BM_CLICK, 0, 0);
        return 0;
      }
    }
  }
  return 1;
}

int Close(const std::wstring& windowClass) {
  int closed = 0;
  for (HWND w : TopLevelWindows()) {
    if (ClassOf(w) == windowClass && ::IsWindowVisible(w) && ::PostMessageW(w, WM_CLOSE, 0, 0)) ++closed;
  }
  std::printf("%d\n", closed);
  return closed > 0 ? 0 : 1;
}

LRESULT CALLBACK BlockerProc(HWND w, UINT m, WPARAM wp, LPARAM lp) {
  if (m == WM_DESTROY) ::PostQuitMessage(0);
  return ::DefWindowProcW(w, m, wp, lp);
}

int Block(const std::wstring& windowClass, const std::wstring& title) {
  WNDCLASSW wc{};
  wc.lpfnWndProc = &BlockerProc;
  wc.hInstance = ::GetModuleHandleW(nullptr);
  wc.lpszClassName = windowClass.c_str();
  if (::RegisterClassW(&wc) == 0) return 1;
  HWND window = ::CreateWindowExW(0, windowClass.c_str(), title.c_str(), WS_OVERLAPPEDWINDOW, 0, 0, 100, 100,
                                  nullptr, nullptr, wc.hInstance, nullptr);
  if (window == nullptr) return 1;
  std::printf("ready\n");
  std::fflush(stdout);
  MSG msg;
  while (::GetMessageW(&msg, nullptr, 0, 0) > 0) ::DispatchMessageW(&msg);
  return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  const std::wstring command = argc > 1 ? argv[1] : L"";
  int result = 2;
  if (command == L"list") result = List();
  else if (command == L"names" && argc > 2) result = ListChildren(argv[2], &AccessibleName);
  else if (command == L"texts" && argc > 2) result = ListChildren(argv[2], &TextOf);
  else if (command == L"dialogs") result = Dialogs();
  else if (command == L"press" && argc > 3) result = Press(argv[2], argv[3]);
  else if (command == L"close" && argc > 2) result = Close(argv[2]);
  else if (command == L"block" && argc > 3) result = Block(argv[2], argv[3]);
  else std::fprintf(stderr, "usage: WindowInspector list|names|texts|dialogs|press|close|block ...\n");
  std::fflush(stdout);
  return result;
}
