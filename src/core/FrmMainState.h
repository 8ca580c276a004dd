// The state of one launcher run: the main window's private fields, kept apart from
// the window so that every decision of the start-up sequence runs in native tests.
// Everything starts empty, zero or false; the window's creation handler fills it in.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "ConnectInfo.h"
#include "DownloadStatus.h"

namespace cvl {

struct TFrmMainState {
  std::u16string FTempPath;            // per-launch temporary folder, ends in a backslash
  std::u16string FBaseDirectory;       // client install folder, ends in a backslash, or empty
  std::u16string FBaseRemote;          // base URL of the prerequisite downloads
  TDownloadStatus FLastDownloadStatus = TDownloadStatus::dsNULL;
  std::u16string FMessage;             // current progress message, without the percentage
  std::unique_ptr<TConnectInfo> FConnectInfo;
  std::u16string FBaseServerAdr;       // "http://" + address + ":" + port
  std::int32_t FNewPatchVersion = 0;
  std::int32_t FClientActualPatchVersion = 0;
  bool FEnglishClient = false;
  bool FUpdateClientLanguage = false;
  bool FDebug = false;
  bool FZephraneVersion = false;
  bool FKeepUpdateFiles = false;
  bool FInstallClient = false;
  std::u16string FConfigFileName;      // full path of "CVLauncher.cfg"
  std::unique_ptr<std::vector<std::u16string>> FInstallFiles;  // lines of section Pre
};

}  // namespace cvl
