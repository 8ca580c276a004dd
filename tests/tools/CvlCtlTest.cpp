// cvlctl's section makers give what the launcher reads back, and refuse bad input.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <sstream>

#include <nlohmann/json.hpp>

#include "CvlCtl.h"
#include "core/ConnectInfo.h"
#include "core/ServerInfo.h"
#include "core/StringCipher.h"
#include "core/Text.h"

namespace cvl {
namespace {

struct TRun {
  int Status;
  std::string Out;
  std::string Err;
};

using TFiles = std::map<std::u16string, std::string>;

// Runs one command over files held in memory.
TRun RunTool(std::vector<std::u16string> args, TFiles& files) {
  TRun run{0, {}, {}};
  TToolIo io{[] { return std::optional<std::string>(); }, [&](const std::string& s) { run.Out += s; },
             [&](const std::string& s) { run.Err += s; },
             [&](const std::u16string& path) -> std::optional<std::string> {
               const auto found = files.find(path);
               if (found == files.end()) return std::nullopt;
               return found->second;
             },
             [&](const std::u16string& path, const std::string& bytes) {
               files[path] = bytes;
               return true;
             },
             nullptr, nullptr, nullptr, nullptr};
  run.Status = RunCvlCtl(args, io);
  return run;
}

TRun RunTool(std::vector<std::u16string> args) {
  TFiles none;
  return RunTool(std::move(args), none);
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

std::string Sealed(std::u16string_view text) { return NarrowLatin1(EncryptString(text, UserKeyText)); }

std::string Open(const std::string& sealed, std::string_view key) {
  return Utf16ToUtf8(DecryptString(WidenLatin1(sealed), key));
}

TEST(CvlCtl, MakePrePrintsTheFourProtectedEntries) {
  const TRun run = RunTool({u"make-pre", u"/connector/pre/", u"webview2.zip", u"vc2012.zip", u"vc2022.zip"});
  ASSERT_EQ(run.Status, 0) << run.Err;
  const auto lines = Lines(run.Out);
  ASSERT_EQ(lines.size(), 5u);
  EXPECT_EQ(lines[0], "[Pre]");
  EXPECT_EQ(Open(lines[1], ServerKeyText), "/connector/pre/");
  EXPECT_EQ(Open(lines[2], ServerKeyText), "webview2.zip");
  EXPECT_EQ(Open(lines[4], ServerKeyText), "vc2022.zip");
}

TEST(CvlCtl, MakeUserPrintsRecoveryAndEmailUnderTheUserKey) {
  const TRun run = RunTool({u"make-user", u"--address", u"play.example.net", u"--port", u"9000"});
  ASSERT_EQ(run.Status, 0) << run.Err;
  const auto lines = Lines(run.Out);
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0], "[User]");
  ASSERT_EQ(lines[1].rfind("recovery=", 0), 0u);
  ASSERT_EQ(lines[2].rfind("email=", 0), 0u);
  EXPECT_EQ(Open(lines[1].substr(9), UserKeyText), "play.example.net");
  EXPECT_EQ(Open(lines[2].substr(6), UserKeyText), "9000");
}

TEST(CvlCtl, BadInputGivesOneClearErrorAndStatusOne) {
  const std::vector<std::vector<std::u16string>> cases = {
      {u"make-pre", u"connector/pre/", u"a.zip", u"b.zip", u"c.zip"},  // folder without leading "/"
      {u"make-pre", u"/pre/", u"../a.zip", u"b.zip", u"c.zip"},
      {u"make-pre", u"/pre/", u"a.zip", u"b.zip"},
      {u"make-user", u"--address", u"h"},
      {u"make-user", u"--address", u"h", u"--port", u"0"},
      {u"make-user", u"--address", u"h", u"--port", u"65536"},
      {u"make-user", u"--address", u"h", u"--port", u"08080"},
      {u"make-user", u"--address", u"http://h", u"--port", u"80"},
      {u"encrypt", u"--key", u"admin", u"x"},
      {u"encrypt", u"\u0141"},
      {u"frobnicate"},
  };
  for (const auto& args : cases) {
    const TRun run = RunTool(args);
    EXPECT_EQ(run.Status, 1) << Utf16ToUtf8(args[0] + u" " + args[1]);
    EXPECT_EQ(run.Out, "");
    EXPECT_EQ(run.Err.rfind("cvlctl: ", 0), 0u) << run.Err;
  }
}

TEST(CvlCtl, EveryCommandHasHelp) {
  for (const char16_t* command : {u"encrypt", u"decrypt", u"make-pre", u"make-user", u"make-info", u"read-config"}) {
    const TRun run = RunTool({command, u"--help"});
    EXPECT_EQ(run.Status, 0);
    EXPECT_NE(run.Out.find("usage: cvlctl"), std::string::npos) << Utf16ToUtf8(command);
  }
}

// Plain values of a whole answer, as an operator writes them.
nlohmann::json Settings() {
  return nlohmann::json::parse(R"({
    "result_code": "SUCCESS", "serverIp": "10.0.0.5", "serverPort": 7000, "browserUrl": "http://example.net/",
    "vdnbin": "/files/vdn.bin", "vdnbinSize": -5, "vdnbinVersion": "1.0",
    "libcocos": "/files/cocos.dll", "libcocosSize": "0x10", "libcocosVersion": "3.17",
    "msdll": "/files/ms.dll", "msdllSize": 512, "msdllVersion": "1",
    "patch": {"download_path": "/connector/patches/"}, "patchVersion": 3,
    "boxdll": "/files/box.dll", "craft": "craft.bin", "engines": "caf\u00e9",
    "clientCount": 2, "log": "TRUE", "createUri": "/create", "loginUri": "/login",
    "clientSideKey": 2147483647, "dllPassword": -2147483648, "C_CHANNEL": 1, "C_LOGIN": 2, "C_LOGOUT": 3,
    "S_CUSTOM_MESSAGE_BOX": 4, "S_KEY": 5, "S_EXTENDED_PROTO_BUF": 6, "C_EXTENDED_PROTO_BUF": 7,
    "motd": "extra members pass through"})");
}

TEST(CvlCtlMakeInfo, TheLauncherReadsTheAnswerAsWritten) {
  TFiles files{{u"settings.json", Settings().dump()}};
  const TRun run = RunTool({u"make-info", u"-o", u"info", u"settings.json"}, files);
  ASSERT_EQ(run.Status, 0) << run.Err;
  EXPECT_EQ(run.Out, "");
  const std::string answer = files.at(u"info");
  EXPECT_EQ(nlohmann::json::parse(answer).at("result_code"), "SUCCESS");  // stays plain

  TConnectInfo info;
  ASSERT_EQ(DecodeServerInfo(Utf8ToUtf16(answer), u"http://h:1", info), 1);
  EXPECT_EQ(info.Server_ip, u"10.0.0.5");
  EXPECT_EQ(info.Server_port, 7000);
  EXPECT_EQ(info.VdnBinFileSize, -5);
  EXPECT_EQ(info.LibCocosFileSize, 16);
  EXPECT_EQ(info.VdnBinDownload, u"http://h:1/files/vdn.bin");
  EXPECT_EQ(info.Engines, u"caf\u00e9");
  EXPECT_TRUE(info.Log);
  EXPECT_EQ(info.DllPassword, INT32_MIN);
  EXPECT_EQ(PatchDownloadPath(info.PatchList), u"/connector/patches/");
  EXPECT_EQ(Utf16ToUtf8(DecryptString(Utf8ToUtf16(nlohmann::json::parse(answer).at("motd").get<std::string>()),
                                      ServerKeyText)),
            "extra members pass through");

  // Without -o the same answer goes to standard output.
  EXPECT_EQ(RunTool({u"make-info", u"settings.json"}, files).Out.size(), answer.size());
}

TEST(CvlCtlMakeInfo, RefusesWhatTheLauncherWouldRejectNamingTheKey) {
  struct TCase {
    const char* Key;
    nlohmann::json Value;  // null: the key is left out
    const char* Named;     // what the error must name
  };
  const TCase cases[] = {
      {"serverPort", 2147483648LL, "'serverPort'"},
      {"vdnbinSize", "12 ", "'vdnbinSize'"},
      {"log", "yes", "'log'"},
      {"C_EXTENDED_PROTO_BUF", nullptr, "C_EXTENDED_PROTO_BUF"},
      {"result_code", "success", "'result_code'"},
      {"serverIp", nlohmann::json::array({1}), "'serverIp'"},
      {"engines", "\u0141odz", "'engines'"},
      {"patch", nlohmann::json::object({{"folder", "/p/"}}), "'patch'"},
      {"patch", R"({"download_path": "connector/patches"})", "'patch'"},
  };
  for (const TCase& c : cases) {
    nlohmann::json settings = Settings();
    if (c.Value.is_null()) {
      settings.erase(c.Key);
    } else {
      settings[c.Key] = c.Value;
    }
    TFiles files{{u"s.json", settings.dump()}};
    const TRun run = RunTool({u"make-info", u"-o", u"info", u"s.json"}, files);
    EXPECT_EQ(run.Status, 1) << c.Key;
    EXPECT_NE(run.Err.find(c.Named), std::string::npos) << run.Err;
    EXPECT_EQ(std::count(run.Err.begin(), run.Err.end(), '\n'), 1) << run.Err;  // one line
    EXPECT_EQ(files.count(u"info"), 0u) << c.Key;
  }
  TFiles files{{u"s.json", "{\"result_code\": \"SUCCESS\"} {}"}};
  EXPECT_EQ(RunTool({u"make-info", u"s.json"}, files).Status, 1);
  EXPECT_EQ(RunTool({u"make-info", u"missing.json"}, files).Status, 1);
}

std::string ReportLine(const std::string& report, const std::string& start) {
  for (const std::string& line : Lines(report)) {
    if (line.rfind(start, 0) == 0) return line;
  }
  return "";
}

TEST(CvlCtlReadConfig, ShowsOptionsOverrideAndTheLinesTheRewriteDrops) {
  const std::string user = RunTool({u"make-user", u"--address", u"play.example.net", u"--port", u"9000"}).Out;
  const std::string before = "; operator's notes\r\nstray=1\r\n[Options]\r\nLanguage = 0\r\n\r\nPatchVersion=0x10\r\n" +
                             user + "[Pre]\r\n";
  TFiles files{{u"CVLauncher.cfg", before}};
  const TRun run = RunTool({u"read-config", u"CVLauncher.cfg"}, files);
  ASSERT_EQ(run.Status, 0) << run.Err;
  EXPECT_EQ(files.at(u"CVLauncher.cfg"), before);  // only shown, never written
  EXPECT_NE(ReportLine(run.Out, "  Language ").find("false  from '0'"), std::string::npos) << run.Out;
  EXPECT_NE(ReportLine(run.Out, "  PatchVersion ").find("16 "), std::string::npos) << run.Out;
  EXPECT_NE(ReportLine(run.Out, "  connector server ").find("play.example.net:9000"), std::string::npos);
  for (const char* dropped : {"line 1: ; operator's notes", "line 2: stray=1", "line 4: Language = 0", "[Pre]"}) {
    EXPECT_NE(run.Out.find(dropped), std::string::npos) << dropped << "\n" << run.Out;
  }
  EXPECT_NE(run.Out.find("    Language=0\n"), std::string::npos);
  EXPECT_EQ(run.Out.find("line 6:"), std::string::npos);  // PatchVersion=0x10 stays as it is
}

TEST(CvlCtlReadConfig, AWideValueKeepsItsColumnApartFromTheNext) {
  TFiles files{{u"c.cfg", "[Options]\r\nPatchVersion=2147483647\r\nLanguage=1\r\n"}};
  const TRun run = RunTool({u"read-config", u"c.cfg"}, files);
  ASSERT_EQ(run.Status, 0) << run.Err;
  const std::string patch = ReportLine(run.Out, "  PatchVersion ");
  const std::string language = ReportLine(run.Out, "  Language ");
  EXPECT_NE(patch.find("2147483647  from '2147483647'"), std::string::npos) << patch;
  EXPECT_EQ(patch.find("from"), language.find("from")) << run.Out;  // still one column
}

TEST(CvlCtlReadConfig, EachOptionNameReachesItsSetting) {
  // Every option set away from its default must show the new value, read from the file.
  const std::pair<const char*, const char*> options[] = {
      {"InstallClient", "true"}, {"Language", "false"},        {"Zephrane", "true"},
      {"UpdateClientLanguage", "true"}, {"PatchVersion", "7"}, {"KeepUpdateFiles", "true"},
  };
  for (const auto& [key, shown] : options) {
    const std::string value = std::string(key) == "Language" ? "0" : (std::string(key) == "PatchVersion" ? "7" : "1");
    TFiles files{{u"c.cfg", "[options]\r\n" + std::string(key) + "=" + value + "\r\n"}};
    const TRun run = RunTool({u"read-config", u"c.cfg"}, files);
    ASSERT_EQ(run.Status, 0) << run.Err;
    const std::string line = ReportLine(run.Out, "  " + std::string(key) + " ");
    EXPECT_NE(line.find(std::string(shown) + " "), std::string::npos) << line;
    EXPECT_NE(line.find("from '" + value + "'"), std::string::npos) << line;
  }
}

TEST(CvlCtlReadConfig, PreEntriesDecryptedAndFaultsThatStopTheLauncher) {
  TFiles files{{u"pre.cfg", RunTool({u"make-pre", u"/connector/pre/", u"wv.zip", u"a.zip", u"b.zip"}).Out}};
  TRun run = RunTool({u"read-config", u"pre.cfg"}, files);
  ASSERT_EQ(run.Status, 0) << run.Err;
  EXPECT_NE(run.Out.find("/connector/pre/  -> http://127.0.0.1:8080/connector/pre/"), std::string::npos) << run.Out;
  EXPECT_NE(ReportLine(run.Out, "  3 Visual Studio Code 2022").find("b.zip"), std::string::npos) << run.Out;
  EXPECT_NE(run.Out.find("leaving this file as it is"), std::string::npos);

  const std::pair<std::string, std::string> faults[] = {
      {"[Pre]\r\n" + Lines(files.at(u"pre.cfg"))[1] + "\r\n", "[Pre] holds 1 entry; the launcher needs 4"},
      {"[Pre]\r\n" + Lines(files.at(u"pre.cfg"))[1] + "\r\n" + Lines(files.at(u"pre.cfg"))[2] + "\r\n",
       "[Pre] holds 2 entries; the launcher needs 4"},
      {"[Pre]\r\nnot-base64\r\nx\r\ny\r\nz\r\n", "entry 0 does not decrypt"},
      {"[User]\r\nrecovery=AAAA\r\n", "stops reading [User]"},
      {"[User]\r\nemail=" + Sealed(u"80x") + "\r\n", "'80x' is not a valid integer value"},
  };
  for (const auto& [text, named] : faults) {
    TFiles bad{{u"bad.cfg", text}};
    run = RunTool({u"read-config", u"bad.cfg"}, bad);
    EXPECT_EQ(run.Status, 1) << text;
    EXPECT_NE(run.Err.find(named), std::string::npos) << run.Err;
  }
  TFiles none;
  EXPECT_EQ(RunTool({u"read-config", u"nowhere.cfg"}, none).Status, 1);
}

}  // namespace
}  // namespace cvl
