// The status codes of a URL download's progress reports. The ordinal is the URL
// moniker's BINDSTATUS code; dsNULL means no status has been received yet.
#pragma once

#include <cstdint>

namespace cvl {

enum class TDownloadStatus : std::uint8_t {
  dsNULL = 0,
  dsFindingresource,
  dsConnecting,
  dsRedirecting,
  dsBegindownloaddata,
  dsDownloadingdata,
  dsEnddownloaddata,
  dsBegindownloadcomponents,
  dsInstallingcomponents,
  dsEnddownloadcomponents,
  dsUsingcachedcopy,
  dsSendingrequest,
  dsClassidavailable,
  dsMimetypeavailable,
  dsCachefilenameavailable,
  dsBeginsyncoperation,
  dsEndsyncoperation,
  dsBeginuploaddata,
  dsUploadingdata,
  dsEnduploadingdata,
  dsProtocolclassid,
  dsEncoding,
  dsVerfiedmimetypeavailable,
  dsClassinstalllocation,
  dsDecoding,
  dsLoadingmimehandler,
  dsContentdispositionattach,
  dsFilterreportmimetype,
  dsClsidcaninstantiate,
  dsIunknownavailable,
  dsDirectbind,
  dsRawmimetype,
  dsProxydetecting,
  dsAcceptranges,
};

}  // namespace cvl
