// The outside programs the launcher carries as resources and writes to disk: each one's
// resource name and the name of the file it becomes. payloads/CMakeLists.txt reads this
// table to build our stand-ins under these names, to check an operator's payload folder
// and to embed the files, so each name is written here only. Keep one entry a line, in
// the form below; the build stops on an entry it cannot read.
#pragma once

#include <string_view>

namespace cvl::payloads {

struct TPayload {
  const char16_t* Resource;
  const char16_t* File;
};

inline constexpr TPayload kLibrary{u"LIBRARY", u"PackingLibraryWrapper-Win32-Release.dll"};
inline constexpr TPayload kPatcher{u"PATCHER", u"patchtool.exe"};
inline constexpr TPayload kLECommonLibrary{u"LECommonLibraryDLL", u"LECommonLibrary.dll"};
inline constexpr TPayload kLoaderDll{u"LoaderDllDLL", u"LoaderDll.dll"};
inline constexpr TPayload kLocaleEmulator{u"LocaleEmulatorDLL", u"LocaleEmulator.dll"};
inline constexpr TPayload kLEProc{u"LEProcEXE", u"LEProc.exe"};
inline constexpr TPayload kClientLauncher{u"CVLauncherEXE", u"Proc.exe"};
inline constexpr TPayload kWebView2Loader{u"WebView2LoaderDLL", u"WebView2Loader.dll"};
// The client launcher's locale profile: ours always (resources/), never an operator's.
inline constexpr TPayload kClientProfile{u"CVLauncherCONFIG", u"Proc.exe.le.config"};

// The locale emulator reads a program's profile beside it, named after the program.
static_assert(std::u16string_view(kClientProfile.File).starts_with(kClientLauncher.File) &&
              std::u16string_view(kClientProfile.File).ends_with(u".le.config"));

}  // namespace cvl::payloads
