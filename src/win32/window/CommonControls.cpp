#include "win32/window/CommonControls.h"

namespace cvl {
namespace {

HMODULE Library() {
  static const HMODULE library = ::LoadLibraryW(L"comctl32.dll");
  return library;
}

template <typename TFunction>
TFunction Function(const char* name) {
  const HMODULE library = Library();
  return library == nullptr ? nullptr : reinterpret_cast<TFunction>(::GetProcAddress(library, name));
}

}  // namespace

bool InitCommonControls(DWORD classes) {
  using TInit = BOOL(WINAPI*)(const INITCOMMONCONTROLSEX*);
  static const auto init = Function<TInit>("InitCommonControlsEx");
  const INITCOMMONCONTROLSEX controls{sizeof(controls), classes};
  return init != nullptr && init(&controls);
}

HRESULT ShowTaskDialog(HWND owner, PCWSTR title, PCWSTR text, TASKDIALOG_COMMON_BUTTON_FLAGS buttons,
                       PCWSTR icon, int* pressed) {
  using TTaskDialog = HRESULT(WINAPI*)(HWND, HINSTANCE, PCWSTR, PCWSTR, PCWSTR, TASKDIALOG_COMMON_BUTTON_FLAGS,
                                       PCWSTR, int*);
  static const auto taskDialog = Function<TTaskDialog>("TaskDialog");
  if (taskDialog == nullptr) return E_NOTIMPL;
  return taskDialog(owner, nullptr, title, nullptr, text, buttons, icon, pressed);
}

}  // namespace cvl
