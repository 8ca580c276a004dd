#include "win32/files/WebView2Probe.h"

#include <windows.h>

#include "win32/base/ScopedHandle.h"

namespace cvl {
namespace {

constexpr wchar_t kClientKeyWow[] =
    L"SOFTWARE\\WOW6432Node\\Microsoft\\EdgeUpdate\\Clients\\{F3017226-FE2A-4295-8BDF-00C3A9A7E4C5}";
constexpr wchar_t kClientKey[] = L"SOFTWARE\\Microsoft\\EdgeUpdate\\Clients\\{F3017226-FE2A-4295-8BDF-00C3A9A7E4C5}";
constexpr wchar_t kClientKeyUser[] = L"Software\\Microsoft\\EdgeUpdate\\Clients\\{F3017226-FE2A-4295-8BDF-00C3A9A7E4C5}";

// Opens read-only with ever smaller rights, in the 32-bit view, and closes at once.
bool KeyOpens(HKEY root, const wchar_t* path) {
  const REGSAM rights[] = {KEY_READ, KEY_QUERY_VALUE | KEY_ENUMERATE_SUB_KEYS, KEY_QUERY_VALUE};
  for (REGSAM access : rights) {
    TScopedRegKey key;
    if (::RegOpenKeyExW(root, path, 0, access | KEY_WOW64_32KEY, key.Receive()) == ERROR_SUCCESS) return true;
  }
  return false;
}

}  // namespace

bool WebView2Installed() {
  return KeyOpens(HKEY_LOCAL_MACHINE, kClientKeyWow) || KeyOpens(HKEY_LOCAL_MACHINE, kClientKey) ||
         KeyOpens(HKEY_CURRENT_USER, kClientKeyUser);
}

}  // namespace cvl
