// The main window's creation handler: settles the options of "CVLauncher.cfg", the
// connector server's address, the [Pre] list, the install folder and developer mode.
#pragma once

#include <cstdint>
#include <exception>
#include <string_view>

#include "ConfigNames.h"
#include "FormCreatePlatform.h"
#include "LauncherSettings.h"

namespace cvl {

inline constexpr std::u16string_view ConfigFileName = u"CVLauncher.cfg";
inline constexpr std::u16string_view InstallPathKey = u"\\SOFTWARE\\WOW6432Node\\Corvanthe";
inline constexpr std::u16string_view InstallPathValue = u"InstallPath";
inline constexpr std::u16string_view InstallPathZephraneValue = u"InstallPathZephrane";
inline constexpr std::u16string_view DebugMessageText = u"Debug!";
inline constexpr std::u16string_view DefaultConnectorAddress = u"127.0.0.1";
inline constexpr std::int32_t DefaultConnectorPort = 8080;

// What the creation handler read, and the error that ended the reading early, if any.
struct TFormCreateResult {
  TLauncherSettings Settings;
  std::exception_ptr Error;
};

// Reads the settings in order: developer mode, defaults, the configuration file
// (rewritten whole when [Pre] is empty), the install folder from the registry, and under
// a debugger the "Debug!" box with the program's folder as install folder. An error
// (EFOpenError, EFCreateError, EDecryptError, EConvertError, ERegistryException) ends the
// reading where it happens: the settings read so far are kept, and the caller shows the
// error and goes on with them.
TFormCreateResult FormCreate(IFormCreatePlatform& platform);

}  // namespace cvl
