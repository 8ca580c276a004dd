// The main window's creation handler: settles the options of "CVLauncher.cfg", the
// connector server's address, the [Pre] list, the install folder and developer mode.
#pragma once

#include <cstdint>
#include <string_view>

#include "ConfigNames.h"
#include "FormCreatePlatform.h"
#include "FrmMainState.h"

namespace cvl {

inline constexpr std::u16string_view ConfigFileName = u"CVLauncher.cfg";
inline constexpr std::u16string_view InstallPathKey = u"\\SOFTWARE\\WOW6432Node\\Corvanthe";
inline constexpr std::u16string_view InstallPathValue = u"InstallPath";
inline constexpr std::u16string_view InstallPathZephraneValue = u"InstallPathZephrane";
inline constexpr std::u16string_view DebugMessageText = u"Debug!";
inline constexpr std::u16string_view DefaultConnectorAddress = u"127.0.0.1";
inline constexpr std::int32_t DefaultConnectorPort = 8080;

// Fills the state in order: developer mode, defaults, the configuration file (rewritten
// whole when [Pre] is empty), the install folder from the registry, and under a debugger
// the "Debug!" box with the program's folder as install folder. An error (EFOpenError,
// EFCreateError, EDecryptError, EConvertError, ERegistryException) ends it where it
// happens; the fields set so far stay set, and the caller shows the error.
void FormCreate(TFrmMainState& state, IFormCreatePlatform& platform);

}  // namespace cvl
