// The server information query: what the launcher asks the connector server, and how
// the answer becomes the connection record. The HTTP exchange itself is the platform's
// (IHttpClient); everything decided here runs in native tests.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ConnectInfo.h"

namespace cvl {

// The user agent of every request the launcher makes, queries and downloads alike.
inline constexpr std::u16string_view LauncherUserAgent = u"qx launcher";

struct THttpRequest {
  std::u16string Url;
  std::u16string UserAgent;
  std::u16string Accept;
  std::u16string AcceptCharset;
  std::uint32_t TimeoutMs = 0;  // for connecting and again for the answer
};

struct THttpAnswer {
  int StatusCode = 0;
  std::string ContentType;  // the Content-Type header, "" when none was sent
  std::string Body;
};

// One HTTP GET, redirects followed. Raises an exception when no answer arrives
// (unreachable, refused, timed out); any status is an answer.
class IHttpClient {
 public:
  virtual ~IHttpClient() = default;
  virtual THttpAnswer Get(const THttpRequest& request) = 0;
};

// The answer's member names in the order they are read, "result_code" first; for tools
// that write answers.
std::vector<std::u16string_view> ServerInfoKeys();

// "http://" + App_center_ip + ":" + App_center_port.
std::u16string MakeBaseServerAdr(const TConnectInfo& info);

// The GET of "info" under "/outgame/" at `baseServerAdr`, with the launcher's headers.
THttpRequest ServerInfoRequest(std::u16string_view baseServerAdr);

// Decodes the answer's text into `info`, one key at a time in the answer's fixed order:
// a key that fails leaves the earlier ones stored. 1 when every value was read, -1
// otherwise; nothing escapes.
int DecodeServerInfo(std::u16string_view text, std::u16string_view baseServerAdr, TConnectInfo& info);

// The whole query: sets `baseServerAdr` from `info` first whatever the outcome, asks
// `http`, and decodes the answer into `info`. 1 or -1; nothing escapes.
int QueryServerInfo(TConnectInfo& info, std::u16string& baseServerAdr, IHttpClient& http);

// The server folder of the patch archives: member "download_path" of the patch list
// (TConnectInfo::PatchList). nullopt when the list is no JSON at all (the launcher then
// has no numbered patches to fetch); raises EJSONException when the member is missing or
// no text.
std::optional<std::u16string> FindPatchDownloadPath(std::u16string_view patchList);
// The same for a list that must be JSON: raises EJSONException when it is not.
std::u16string PatchDownloadPath(std::u16string_view patchList);

}  // namespace cvl
