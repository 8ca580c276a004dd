// The server information answer: body text, JSON members as text, and the decoding of
// every key into the connection record, one key at a time.
#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "core/BodyText.h"
#include "core/JsonText.h"
#include "core/ServerInfo.h"
#include "core/StringCipher.h"
#include "core/Text.h"

namespace cvl {
namespace {

using json = nlohmann::ordered_json;

const std::vector<std::pair<std::string, std::string>> kPlainAnswer = {
    {"serverIp", "10.0.0.7"}, {"serverPort", "7000"}, {"browserUrl", "http://example.invalid/b"},
    {"vdnbin", "/files/client.bin"}, {"vdnbinSize", "1234"}, {"vdnbinVersion", "1.2.3"},
    {"libcocos", "/files/cocos.dll"}, {"libcocosSize", "55"}, {"libcocosVersion", "3.1"},
    {"msdll", "/files/ms.dll"}, {"msdllSize", "66"}, {"msdllVersion", "9"},
    {"patch", R"({"download_path":"/connector/patch/"})"}, {"patchVersion", "42"},
    {"boxdll", "/files/box.dll"}, {"craft", "/files/craft.dat"}, {"engines", "a,b"},
    {"clientCount", "3"}, {"log", "true"}, {"createUri", "/create"}, {"loginUri", "/login"},
    {"clientSideKey", "11"}, {"dllPassword", "12"}, {"C_CHANNEL", "13"}, {"C_LOGIN", "14"},
    {"C_LOGOUT", "15"}, {"S_CUSTOM_MESSAGE_BOX", "16"}, {"S_KEY", "17"},
    {"S_EXTENDED_PROTO_BUF", "18"}, {"C_EXTENDED_PROTO_BUF", "19"}};

std::string Encrypt(const std::string& plain) {
  return NarrowLatin1(EncryptString(WidenLatin1(plain), ServerKeyText));
}

// The answer as the server sends it: "result_code" plain, every other value protected.
json Answer(const std::map<std::string, std::string>& overrides = {}, const std::vector<std::string>& drop = {}) {
  json answer = {{"result_code", "SUCCESS"}};
  for (auto [key, plain] : kPlainAnswer) {
    if (overrides.count(key)) plain = overrides.at(key);
    answer[key] = Encrypt(plain);
  }
  for (const auto& key : drop) answer.erase(key);
  return answer;
}

constexpr std::u16string_view kBase = u"http://127.0.0.1:8080";

int Decode(const json& answer, TConnectInfo& info) {
  return DecodeServerInfo(Utf8ToUtf16(answer.dump()), kBase, info);
}

TEST(ServerInfo, GoodAnswerFillsEveryField) {
  TConnectInfo info;
  ASSERT_EQ(Decode(Answer(), info), 1);
  EXPECT_EQ(info.Server_ip, u"10.0.0.7");
  EXPECT_EQ(info.Server_port, 7000);
  EXPECT_EQ(info.VdnBinDownload, u"http://127.0.0.1:8080/files/client.bin");
  EXPECT_EQ(info.VdnBinFileSize, 1234);
  EXPECT_EQ(info.LibCocosDownload, u"http://127.0.0.1:8080/files/cocos.dll");
  EXPECT_EQ(info.MsdllVer, u"9");
  EXPECT_EQ(info.PatchList, u"{\"download_path\":\"/connector/patch/\"}");
  EXPECT_EQ(info.PatchVersion, 42);
  EXPECT_EQ(info.CraftDownload, u"http://127.0.0.1:8080/files/craft.dat");
  EXPECT_TRUE(info.Log);
  EXPECT_EQ(info.S_EXTENDED_PROTO_BUF, 18);
  EXPECT_EQ(info.C_EXTENDED_PROTO_BUF, 19);
  EXPECT_EQ(PatchDownloadPath(info.PatchList), u"/connector/patch/");
}

struct TDecodeCase {
  const char* What;
  json Body;
  int Expected;
  std::function<void(const TConnectInfo&)> Check;
};

TEST(ServerInfo, DecodingTable) {
  const auto nothingStored = [](const TConnectInfo& i) { EXPECT_EQ(i.Server_ip, u"untouched"); };
  json lowerCase = Answer();
  lowerCase["result_code"] = "success";
  json encryptedCode = Answer();
  encryptedCode["result_code"] = Encrypt("SUCCESS");
  json objectValue = Answer();
  objectValue["serverPort"] = json::object();
  json undecryptable = Answer();
  undecryptable["engines"] = "not base64 at all!";
  const TDecodeCase cases[] = {
      {"lower-case SUCCESS", lowerCase, -1, nothingStored},
      {"encrypted SUCCESS", encryptedCode, -1, nothingStored},
      {"no result_code", Answer({}, {"result_code"}), -1, nothingStored},
      {"last key missing", Answer({}, {"C_EXTENDED_PROTO_BUF"}), -1,
       [](const TConnectInfo& i) {
         EXPECT_EQ(i.Server_ip, u"10.0.0.7");
         EXPECT_EQ(i.S_EXTENDED_PROTO_BUF, 18);
         EXPECT_EQ(i.C_EXTENDED_PROTO_BUF, -77);
       }},
      {"size at the 32-bit limit", Answer({{"vdnbinSize", "2147483647"}}), 1,
       [](const TConnectInfo& i) { EXPECT_EQ(i.VdnBinFileSize, 2147483647); }},
      {"size past the 32-bit limit", Answer({{"vdnbinSize", "2147483648"}}), -1,
       [](const TConnectInfo& i) { EXPECT_EQ(i.VdnBinFileSize, -77); }},
      {"negative size", Answer({{"msdllSize", "-5"}}), 1, [](const TConnectInfo& i) { EXPECT_EQ(i.MsdllFileSize, -5); }},
      {"integer with leading blanks and hex", Answer({{"serverPort", "  0x1F"}}), 1,
       [](const TConnectInfo& i) { EXPECT_EQ(i.Server_port, 31); }},
      {"integer with trailing blank", Answer({{"serverPort", "12 "}}), -1, nullptr},
      {"log TRUE", Answer({{"log", "TRUE"}}), 1, [](const TConnectInfo& i) { EXPECT_TRUE(i.Log); }},
      {"log 1", Answer({{"log", "1"}}), 1, [](const TConnectInfo& i) { EXPECT_TRUE(i.Log); }},
      {"log -3", Answer({{"log", "-3"}}), 1, [](const TConnectInfo& i) { EXPECT_TRUE(i.Log); }},
      {"log 0.5", Answer({{"log", "0.5"}}), 1, [](const TConnectInfo& i) { EXPECT_TRUE(i.Log); }},
      {"log false", Answer({{"log", "false"}}), 1, [](const TConnectInfo& i) { EXPECT_FALSE(i.Log); }},
      {"log 0", Answer({{"log", "0"}}), 1, [](const TConnectInfo& i) { EXPECT_FALSE(i.Log); }},
      {"log yes", Answer({{"log", "yes"}}), -1, nullptr},
      {"address without a slash", Answer({{"vdnbin", "files"}}), 1,
       [](const TConnectInfo& i) { EXPECT_EQ(i.VdnBinDownload, u"http://127.0.0.1:8080files"); }},
      {"text kept untrimmed", Answer({{"engines", " x "}}), 1, [](const TConnectInfo& i) { EXPECT_EQ(i.Engines, u" x "); }},
      {"member is an object", objectValue, -1, nullptr},
      {"value does not decrypt", undecryptable, -1, nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.What);
    TConnectInfo info;
    info.Server_ip = u"untouched";
    info.VdnBinFileSize = info.C_EXTENDED_PROTO_BUF = -77;
    EXPECT_EQ(Decode(c.Body, info), c.Expected);
    if (c.Check) c.Check(info);
  }
}

TEST(ServerInfo, OneJsonValueWithWhiteSpaceAround) {
  const std::u16string body = Utf8ToUtf16(Answer().dump());
  const std::pair<std::u16string, int> cases[] = {
      {body + u"\r\n", 1}, {u"  \n" + body + u"\t", 1}, {body + body, -1}, {body + u"x", -1},
      {u"", -1},           {u"   ", -1},                {u"[]", -1},         {u"\"SUCCESS\"", -1},
  };
  for (const auto& [text, expected] : cases) {
    TConnectInfo info;
    EXPECT_EQ(DecodeServerInfo(text, kBase, info), expected) << Utf16ToUtf8(text.substr(0, 20));
  }
}

TEST(JsonText, GetJsonStringConversionsAndErrors) {
  const auto value = ParseJsonText(
      uR"({"s":"text \u00e9","i":-12,"f":1.5,"t":true,"n":false,"z":null,"o":{},"a":[1]})");
  ASSERT_TRUE(value);
  EXPECT_EQ(GetJsonString(*value, u"s"), u"text \u00e9");
  EXPECT_EQ(GetJsonString(*value, u"i"), u"-12");
  EXPECT_EQ(GetJsonString(*value, u"f"), u"1.5");
  EXPECT_EQ(GetJsonString(*value, u"t"), u"true");
  EXPECT_EQ(GetJsonString(*value, u"n"), u"false");
  EXPECT_EQ(GetJsonString(*value, u"z"), u"");
  const std::pair<std::u16string, std::u16string> errors[] = {
      {u"missing", u"Value 'missing' not found"},
      {u"S", u"Value 'S' not found"},
      {u"o", u"Conversion from object to string is not supported"},
      {u"a", u"Conversion from array to string is not supported"},
  };
  for (const auto& [name, message] : errors) {
    try {
      GetJsonString(*value, name);
      ADD_FAILURE() << "no error for " << Utf16ToUtf8(name);
    } catch (const EJSONException& e) {
      EXPECT_EQ(e.Message(), message);
    }
  }
  EXPECT_THROW(PatchDownloadPath(u"{\"other\":1}"), EJSONException);
  EXPECT_THROW(PatchDownloadPath(u"not json"), EJSONException);
}

TEST(BodyText, DeclaredCharsetOrUtf8ForTextTypes) {
  struct TCase {
    std::string ContentType;
    std::string Body;
    std::optional<std::u16string> Expected;
  };
  const TCase cases[] = {
      {"application/json", "\xC3\xA9", u"\u00e9"},
      {"", "\xC3\xA9", u"\u00e9"},
      {"text/html", "ok", u"ok"},
      {"application/problem+json", "ok", u"ok"},
      {"application/json; charset=ISO-8859-1", "\xE9", u"\u00e9"},
      {"text/plain;charset=\"windows-1252\"", "\x80", u"\u20ac"},
      {"application/json; charset=utf-16le", std::string("o\0k\0", 4), u"ok"},
      {"application/json; charset=utf-16", std::string("\xFE\xFF\0o\0k", 6), u"ok"},
      {"application/octet-stream", "{}", std::nullopt},
      {"image/png", "{}", std::nullopt},
      {"application/octet-stream; charset=utf-8", "{}", u"{}"},
      {"text/plain; charset=klingon", "{}", std::nullopt},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(DecodeBodyText(c.ContentType, c.Body), c.Expected) << c.ContentType;
  }
}

// The HTTP exchange replaced by a recorded answer.
class TFakeHttp : public IHttpClient {
 public:
  THttpAnswer Answer;
  bool Unreachable = false;
  std::vector<THttpRequest> Requests;

  THttpAnswer Get(const THttpRequest& request) override {
    Requests.push_back(request);
    if (Unreachable) throw std::runtime_error("connection refused");
    return Answer;
  }
};

// The record and the server prefix a query reads and writes.
struct TQueryState {
  TConnectInfo FConnectInfo;
  std::u16string FBaseServerAdr;
};

TQueryState StateFor(std::u16string ip, std::int32_t port) {
  TQueryState state;
  state.FConnectInfo.App_center_ip = std::move(ip);
  state.FConnectInfo.App_center_port = port;
  return state;
}

int Query(TQueryState& state, IHttpClient& http) {
  return QueryServerInfo(state.FConnectInfo, state.FBaseServerAdr, http);
}

TEST(ServerInfo, QueryAsksTheInfoResourceWithTheLauncherHeaders) {
  TFakeHttp http;
  http.Answer = {200, "application/json", Answer().dump()};
  TQueryState state = StateFor(u"192.168.1.5", 9000);
  ASSERT_EQ(Query(state, http), 1);
  ASSERT_EQ(http.Requests.size(), 1u);
  const THttpRequest& r = http.Requests[0];
  EXPECT_EQ(r.Url, u"http://192.168.1.5:9000/outgame/info");
  EXPECT_EQ(r.UserAgent, u"qx launcher");
  EXPECT_EQ(r.Accept, u"application/json, text/plain; q=0.9, text/html;q=0.8,");
  EXPECT_EQ(r.AcceptCharset, u"UTF-8, *;q=0.8");
  EXPECT_EQ(r.TimeoutMs, 30000u);
  EXPECT_EQ(state.FBaseServerAdr, u"http://192.168.1.5:9000");
  EXPECT_EQ(state.FConnectInfo.VdnBinDownload, u"http://192.168.1.5:9000/files/client.bin");
}

TEST(ServerInfo, QueryOutcomesByStatusAndContentType) {
  const std::string body = Answer().dump();
  const std::tuple<int, std::string, std::string, int> cases[] = {
      {404, "application/json", body, 1},
      {302, "application/json", body, 1},
      {499, "text/plain", body, 1},
      {500, "application/json", body, -1},
      {503, "application/json", body, -1},
      {200, "application/octet-stream", body, -1},
      {200, "application/octet-stream; charset=utf-8", body, 1},
      {200, "application/json", "", -1},
  };
  for (const auto& [status, type, text, expected] : cases) {
    TFakeHttp http;
    http.Answer = {status, type, text};
    TQueryState state = StateFor(u"127.0.0.1", 8080);
    EXPECT_EQ(Query(state, http), expected) << status << " " << type;
  }
}

TEST(ServerInfo, FailedExchangeStillSetsTheAddressTried) {
  TFakeHttp http;
  http.Unreachable = true;
  TQueryState state = StateFor(u"127.0.0.1", 8080);
  state.FBaseServerAdr = u"old";
  EXPECT_EQ(Query(state, http), -1);
  EXPECT_EQ(state.FBaseServerAdr, u"http://127.0.0.1:8080");
}

}  // namespace
}  // namespace cvl
