#include "ServerInfo.h"

#include <optional>
#include <variant>

#include "BodyText.h"
#include "IntegerText.h"
#include "JsonText.h"
#include "StringCipher.h"
#include "Text.h"
#include "Timeouts.h"

namespace cvl {
namespace {

constexpr std::u16string_view kInfoPath = u"/outgame/";
constexpr std::u16string_view kInfoResource = u"info";
constexpr std::u16string_view kAccept = u"application/json, text/plain; q=0.9, text/html;q=0.8,";
constexpr std::u16string_view kAcceptCharset = u"UTF-8, *;q=0.8";
constexpr std::u16string_view kResultCode = u"result_code";
constexpr std::u16string_view kSuccess = u"SUCCESS";
constexpr std::u16string_view kDownloadPath = u"download_path";

// A decoding step failed; caught inside this module only.
struct TDecodeFailure {};

enum class TDecoding { Text, Address, Integer, Size, Boolean };

using TField = std::variant<std::u16string TConnectInfo::*, std::int32_t TConnectInfo::*,
                            std::int64_t TConnectInfo::*, bool TConnectInfo::*>;

struct TAnswerKey {
  std::u16string_view Name;
  TDecoding Decoding;
  TField Field;
};

using C = TConnectInfo;
using D = TDecoding;

// Keys 2 to 31 of the answer, in the order they are read and stored.
const TAnswerKey kAnswerKeys[] = {
    {u"serverIp", D::Text, &C::Server_ip},
    {u"serverPort", D::Integer, &C::Server_port},
    {u"browserUrl", D::Text, &C::BrowserUrl},
    {u"vdnbin", D::Address, &C::VdnBinDownload},
    {u"vdnbinSize", D::Size, &C::VdnBinFileSize},
    {u"vdnbinVersion", D::Text, &C::VdnBinVer},
    {u"libcocos", D::Address, &C::LibCocosDownload},
    {u"libcocosSize", D::Size, &C::LibCocosFileSize},
    {u"libcocosVersion", D::Text, &C::LibCocosVer},
    {u"msdll", D::Address, &C::MsdllDownload},
    {u"msdllSize", D::Size, &C::MsdllFileSize},
    {u"msdllVersion", D::Text, &C::MsdllVer},
    {u"patch", D::Text, &C::PatchList},
    {u"patchVersion", D::Integer, &C::PatchVersion},
    {u"boxdll", D::Address, &C::BoxdllDownload},
    {u"craft", D::Address, &C::CraftDownload},
    {u"engines", D::Text, &C::Engines},
    {u"clientCount", D::Integer, &C::ClientCount},
    {u"log", D::Boolean, &C::Log},
    {u"createUri", D::Text, &C::CreateUri},
    {u"loginUri", D::Text, &C::LoginUri},
    {u"clientSideKey", D::Integer, &C::ClientSideKey},
    {u"dllPassword", D::Integer, &C::DllPassword},
    {u"C_CHANNEL", D::Integer, &C::C_CHANNEL},
    {u"C_LOGIN", D::Integer, &C::C_LOGIN},
    {u"C_LOGOUT", D::Integer, &C::C_LOGOUT},
    {u"S_CUSTOM_MESSAGE_BOX", D::Integer, &C::S_CUSTOM_MESSAGE_BOX},
    {u"S_KEY", D::Integer, &C::S_KEY},
    {u"S_EXTENDED_PROTO_BUF", D::Integer, &C::S_EXTENDED_PROTO_BUF},
    {u"C_EXTENDED_PROTO_BUF", D::Integer, &C::C_EXTENDED_PROTO_BUF},
};

std::int32_t DecodeInteger(std::u16string_view text) {
  const auto value = TryStrToInt(text);
  if (!value) throw TDecodeFailure{};
  return *value;
}

// A decimal number with "." as its separator and an optional exponent; answers whether
// it is non-zero, or nullopt when the text is no such number.
std::optional<bool> DecimalIsNonZero(std::u16string_view text) {
  std::size_t i = 0;
  while (i < text.size() && text[i] == u' ') ++i;
  if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) ++i;
  bool digits = false;
  bool nonZero = false;
  bool point = false;
  for (; i < text.size(); ++i) {
    const char16_t c = text[i];
    if (c >= u'0' && c <= u'9') {
      digits = true;
      nonZero = nonZero || c != u'0';
    } else if (c == u'.' && !point) {
      point = true;
    } else {
      break;
    }
  }
  if (!digits) return std::nullopt;
  if (i < text.size() && (text[i] == u'e' || text[i] == u'E')) {
    ++i;
    if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) ++i;
    const std::size_t start = i;
    while (i < text.size() && text[i] >= u'0' && text[i] <= u'9') ++i;
    if (i == start) return std::nullopt;
  }
  if (i != text.size()) return std::nullopt;
  return nonZero;
}

bool DecodeBoolean(std::u16string_view text) {
  if (const auto value = TryStrToInt(text)) return *value != 0;
  if (const auto value = DecimalIsNonZero(text)) return *value;
  const std::u16string upper = UpperAscii(text);
  if (upper == u"TRUE") return true;
  if (upper == u"FALSE") return false;
  throw TDecodeFailure{};
}

void StoreKey(const TAnswerKey& key, const std::u16string& plain, std::u16string_view baseServerAdr,
              TConnectInfo& info) {
  switch (key.Decoding) {
    case D::Text:
      info.*std::get<std::u16string C::*>(key.Field) = plain;
      break;
    case D::Address:
      info.*std::get<std::u16string C::*>(key.Field) = std::u16string(baseServerAdr) + plain;
      break;
    case D::Integer:
      info.*std::get<std::int32_t C::*>(key.Field) = DecodeInteger(plain);
      break;
    case D::Size:
      info.*std::get<std::int64_t C::*>(key.Field) = DecodeInteger(plain);
      break;
    case D::Boolean:
      info.*std::get<bool C::*>(key.Field) = DecodeBoolean(plain);
      break;
  }
}

}  // namespace

std::vector<std::u16string_view> ServerInfoKeys() {
  std::vector<std::u16string_view> keys{kResultCode};
  for (const TAnswerKey& key : kAnswerKeys) keys.push_back(key.Name);
  return keys;
}

std::u16string MakeBaseServerAdr(const TConnectInfo& info) {
  return u"http://" + info.App_center_ip + u":" + IntToText(info.App_center_port);
}

THttpRequest ServerInfoRequest(std::u16string_view baseServerAdr) {
  THttpRequest request;
  request.Url = std::u16string(baseServerAdr) + std::u16string(kInfoPath) + std::u16string(kInfoResource);
  request.UserAgent = LauncherUserAgent;
  request.Accept = kAccept;
  request.AcceptCharset = kAcceptCharset;
  request.TimeoutMs = QueryTimeoutMs();
  return request;
}

int DecodeServerInfo(std::u16string_view text, std::u16string_view baseServerAdr, TConnectInfo& info) {
  try {
    if (text.empty()) return -1;
    const auto answer = ParseJsonText(text);
    if (!answer) return -1;
    if (GetJsonString(*answer, kResultCode) != kSuccess) return -1;
    for (const TAnswerKey& key : kAnswerKeys) {
      const std::u16string plain = DecryptString(GetJsonString(*answer, key.Name), ServerKeyText);
      StoreKey(key, plain, baseServerAdr, info);
    }
    return 1;
  } catch (...) {
    // A value that does not decrypt or decode, or an answer of the wrong shape: the
    // server gave nothing the launcher can use, which is all -1 says and all the
    // caller needs; it tells the user the server is not available. The keys read
    // before the bad one stay stored.
    return -1;
  }
}

int QueryServerInfo(TConnectInfo& info, std::u16string& baseServerAdr, IHttpClient& http) {
  try {
    baseServerAdr = MakeBaseServerAdr(info);
    const THttpAnswer answer = http.Get(ServerInfoRequest(baseServerAdr));
    if (answer.StatusCode >= 500) return -1;
    const auto text = DecodeBodyText(answer.ContentType, answer.Body);
    if (!text) return -1;
    return DecodeServerInfo(*text, baseServerAdr, info);
  } catch (...) {
    // No answer at all (unreachable, refused, timed out): the same -1 as a bad one.
    return -1;
  }
}

std::optional<std::u16string> FindPatchDownloadPath(std::u16string_view patchList) {
  const auto list = ParseJsonText(patchList);
  if (!list) return std::nullopt;
  return GetJsonString(*list, kDownloadPath);
}

std::u16string PatchDownloadPath(std::u16string_view patchList) {
  auto path = FindPatchDownloadPath(patchList);
  if (!path) throw EJSONException(u"Invalid JSON text");
  return *std::move(path);
}

}  // namespace cvl
