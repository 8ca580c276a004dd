#include "win32/window/WindowText.h"

#include <vector>

#include "win32/base/WinText.h"

namespace cvl {

std::u16string WindowTextOf(HWND window) {
  const int length = ::GetWindowTextLengthW(window);
  if (length <= 0) return {};
  std::vector<wchar_t> buffer(static_cast<std::size_t>(length) + 1);
  const int copied = ::GetWindowTextW(window, buffer.data(), length + 1);
  return FromWide(std::wstring_view(buffer.data(), copied > 0 ? static_cast<std::size_t>(copied) : 0));
}

}  // namespace cvl
