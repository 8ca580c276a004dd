#include "win32/files/Registry.h"

#include <vector>

#include "core/SystemErrors.h"
#include "win32/base/ScopedHandle.h"
#include "win32/base/WinText.h"

namespace cvl {

std::u16string ReadRegistryString(HKEY root, const std::u16string& keyPath, const std::u16string& valueName) {
  std::u16string relative = keyPath;
  while (!relative.empty() && relative.front() == u'\\') relative.erase(0, 1);
  TScopedRegKey key;
  if (::RegOpenKeyExW(root, ToWide(relative).c_str(), 0, KEY_READ, key.Receive()) != ERROR_SUCCESS) return {};

  const std::wstring name = ToWide(valueName);
  DWORD type = 0;
  DWORD size = 0;
  LONG result = ::RegQueryValueExW(key.Get(), name.c_str(), nullptr, &type, nullptr, &size);
  std::vector<wchar_t> buffer;
  // The value may grow between the two calls: ask again with the size it reports then.
  while (result == ERROR_SUCCESS || result == ERROR_MORE_DATA) {
    if (type != REG_SZ && type != REG_EXPAND_SZ) throw ERegistryException(valueName);
    buffer.assign(size / sizeof(wchar_t) + 1, L'\0');
    DWORD capacity = static_cast<DWORD>((buffer.size() - 1) * sizeof(wchar_t));
    result = ::RegQueryValueExW(key.Get(), name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(buffer.data()),
                                &capacity);
    if (result == ERROR_SUCCESS) {
      if (type != REG_SZ && type != REG_EXPAND_SZ) throw ERegistryException(valueName);
      return FromWide(buffer.data());  // up to the first null; the buffer always holds one
    }
    size = capacity;
  }
  return {};
}

}  // namespace cvl
