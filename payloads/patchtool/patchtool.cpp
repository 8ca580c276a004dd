// Stand-in patch tool: a console program that reports what it does line by line, loads
// its packing library from its own folder and ends with exit code 0. It leaves the
// client folder as it found it.
#include <windows.h>

#include <cstdio>
#include <string>

#include "win32/base/ScopedHandle.h"

#ifndef PACKING_LIBRARY_FILE
#error "PACKING_LIBRARY_FILE must name the packing library's file"
#endif

namespace {

using TVersionFunc = const char*(__cdecl*)();

// A library the tool loaded.
struct TLibraryTraits {
  using THandle = HMODULE;
  static HMODULE NullHandle() { return nullptr; }
  static bool IsValid(HMODULE module) { return module != nullptr; }
  static bool Close(HMODULE module) { return ::FreeLibrary(module) != FALSE; }
};
using TScopedLibrary = cvl::TGenericScopedHandle<TLibraryTraits>;

std::wstring OwnFolder() {
  wchar_t path[MAX_PATH] = {};
  const DWORD length = ::GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring folder(path, length);
  const auto slash = folder.find_last_of(L"\\/");
  return slash == std::wstring::npos ? std::wstring() : folder.substr(0, slash + 1);
}

int CountFiles(const std::wstring& folder) {
  WIN32_FIND_DATAW data;
  const cvl::TScopedFindHandle find(::FindFirstFileW((folder + L"*").c_str(), &data));
  if (!find) return 0;
  int count = 0;
  do {
    if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) ++count;
  } while (::FindNextFileW(find.Get(), &data));
  return count;
}

}  // namespace

int wmain() {
  wchar_t current[MAX_PATH] = {};
  ::GetCurrentDirectoryW(MAX_PATH, current);
  std::wprintf(L"patchtool: started in %ls\n", current);
  std::fflush(stdout);
  // A test keeps the tool busy by leaving "patchtool.hold" in the folder it runs in: it
  // waits while that file exists, two minutes at the most.
  for (int i = 0; i < 1200 && ::GetFileAttributesW(L"patchtool.hold") != INVALID_FILE_ATTRIBUTES; ++i) ::Sleep(100);

  const std::wstring library = OwnFolder() + PACKING_LIBRARY_FILE;
  const TScopedLibrary module(::LoadLibraryW(library.c_str()));
  if (!module) {
    std::wprintf(L"patchtool: cannot load %ls (error %lu)\n", library.c_str(), ::GetLastError());
    return 2;
  }
  // GetProcAddress hands out a generic pointer; the export's real type is TVersionFunc.
  auto version = reinterpret_cast<TVersionFunc>(reinterpret_cast<void*>(::GetProcAddress(module.Get(), "PackingLibraryVersion")));
  std::printf("patchtool: packing library %s\n", version != nullptr ? version() : "(no version)");
  std::wprintf(L"patchtool: %d files in the client folder\n", CountFiles(std::wstring(current) + L"\\"));
  std::wprintf(L"patchtool: done\n");
  std::fflush(stdout);
  return 0;
}
