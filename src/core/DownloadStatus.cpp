#include "DownloadStatus.h"

namespace cvl {

const char16_t* DownloadStatusName(TDownloadStatus status) {
  static constexpr const char16_t* kNames[kDownloadStatusCount] = {
      u"dsNULL",
      u"dsFindingresource",
      u"dsConnecting",
      u"dsRedirecting",
      u"dsBegindownloaddata",
      u"dsDownloadingdata",
      u"dsEnddownloaddata",
      u"dsBegindownloadcomponents",
      u"dsInstallingcomponents",
      u"dsEnddownloadcomponents",
      u"dsUsingcachedcopy",
      u"dsSendingrequest",
      u"dsClassidavailable",
      u"dsMimetypeavailable",
      u"dsCachefilenameavailable",
      u"dsBeginsyncoperation",
      u"dsEndsyncoperation",
      u"dsBeginuploaddata",
      u"dsUploadingdata",
      u"dsEnduploadingdata",
      u"dsProtocolclassid",
      u"dsEncoding",
      u"dsVerfiedmimetypeavailable",
      u"dsClassinstalllocation",
      u"dsDecoding",
      u"dsLoadingmimehandler",
      u"dsContentdispositionattach",
      u"dsFilterreportmimetype",
      u"dsClsidcaninstantiate",
      u"dsIunknownavailable",
      u"dsDirectbind",
      u"dsRawmimetype",
      u"dsProxydetecting",
      u"dsAcceptranges",
  };
  const auto index = static_cast<int>(status);
  return index < kDownloadStatusCount ? kNames[index] : u"";
}

}  // namespace cvl
