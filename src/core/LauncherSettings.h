// What the window's creation handler reads at start: the options of "CVLauncher.cfg",
// the connector server's address, the [Pre] list, the install folder and developer mode.
// A plain value: the creation handler returns it and the start-up sequence keeps its own
// copy, so nothing the sequence uses can be freed under it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "ConnectInfo.h"

namespace cvl {

struct TLauncherSettings {
  std::u16string FConfigFileName;      // full path of "CVLauncher.cfg"
  std::u16string FBaseDirectory;       // client install folder, ends in a backslash, or empty
  std::int32_t FClientActualPatchVersion = 0;
  bool FEnglishClient = false;
  bool FUpdateClientLanguage = false;
  bool FDebug = false;
  bool FZephraneVersion = false;
  bool FKeepUpdateFiles = false;
  bool FInstallClient = false;
  TConnectInfo FConnectInfo;           // the connector server's address and port only
  std::vector<std::u16string> FInstallFiles;  // lines of section Pre, still encrypted
};

}  // namespace cvl
