// Where the connector server is and what it said about the client. The main window
// owns one; the configuration sets the address, the server query fills the rest.
#pragma once

#include <cstdint>
#include <string>

namespace cvl {

class TConnectInfo {
 public:
  TConnectInfo() = default;

  std::u16string App_center_ip;
  std::int32_t App_center_port = 0;
  std::u16string Server_ip;
  std::int32_t Server_port = 0;
  std::u16string VdnBinDownload;
  std::int64_t VdnBinFileSize = 0;
  std::u16string VdnBinVer;
  std::u16string MsdllDownload;
  std::int64_t MsdllFileSize = 0;
  std::u16string MsdllVer;
  std::u16string LibCocosDownload;
  std::int64_t LibCocosFileSize = 0;
  std::u16string LibCocosVer;
  std::u16string BoxdllDownload;
  std::u16string CraftDownload;
  std::u16string PatchList;
  std::int32_t PatchVersion = 0;
  std::u16string Engines;
  std::int32_t ClientCount = 0;
  bool Log = false;
  std::u16string BrowserUrl;
  std::u16string CreateUri;
  std::u16string LoginUri;
  std::int32_t ClientSideKey = 0;
  std::int32_t DllPassword = 0;
  std::int32_t C_CHANNEL = 0;
  std::int32_t C_LOGIN = 0;
  std::int32_t C_LOGOUT = 0;
  std::int32_t S_CUSTOM_MESSAGE_BOX = 0;
  std::int32_t S_KEY = 0;
  std::int32_t S_EXTENDED_PROTO_BUF = 0;
  std::int32_t C_EXTENDED_PROTO_BUF = 0;
};

}  // namespace cvl
