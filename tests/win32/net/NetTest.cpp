// The server query and the URL downloads under Wine, against the real connector server
// that run_net_tests.py starts on 127.0.0.1.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "core/ServerInfo.h"
#include "core/Text.h"
#include "core/ZipExtract.h"
#include "win32/base/ComScoped.h"
#include "win32/base/WinText.h"
#include "win32/net/DownloadFile.h"
#include "win32/net/HttpQuery.h"

namespace cvl {
namespace {

namespace fs = std::filesystem;

std::string Env(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

std::u16string ServerUrl(const std::string& path) { return Utf8ToUtf16("http://" + Env("CVL_TEST_SERVER") + path); }

std::string ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// A request to the server's test controls, with a user agent of its own.
std::string Control(const std::string& pathAndQuery) {
  TWinHttpClient http;
  const THttpAnswer answer = http.Get({ServerUrl(pathAndQuery), u"net test control", u"*/*", u"utf-8", 30000});
  EXPECT_EQ(answer.StatusCode, 200) << pathAndQuery;
  return answer.Body;
}

nlohmann::json Requests() { return nlohmann::json::parse(Control("/__requests")); }

int CountRequests(const std::string& path) {
  int count = 0;
  for (const auto& r : Requests()) count += r["path"] == path ? 1 : 0;
  return count;
}

struct TReport {
  std::int32_t Progress;
  std::int32_t Total;
  TDownloadStatus Status;
};

class Net : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(Env("CVL_TEST_SERVER").empty()) << "run through run_net_tests.py";
    Control("/__reset");
    FFolder = fs::temp_directory_path() / fs::path(u"cvl net \u00e9 " + IntToText(::testing::UnitTest::GetInstance()->random_seed()));
    fs::remove_all(FFolder);
    fs::create_directories(FFolder);
  }
  void TearDown() override {
    // Whatever the test did, every request the launcher made carried its user agent.
    for (const auto& r : Requests()) EXPECT_EQ(r["headers"].value("User-Agent", ""), "qx launcher") << r["path"];
    std::error_code ec;
    fs::remove_all(FFolder, ec);
  }

  // The record and the server prefix a query reads and writes.
  struct TQueryState {
    TConnectInfo FConnectInfo;
    std::u16string FBaseServerAdr;
  };

  TQueryState StateFor(int port) {
    TQueryState state;
    state.FConnectInfo.App_center_ip = u"127.0.0.1";
    state.FConnectInfo.App_center_port = port;
    return state;
  }

  static int Query(TQueryState& state) { return QueryServerInfo(state.FConnectInfo, state.FBaseServerAdr, {}); }
  int ServerPort() { return std::stoi(Env("CVL_TEST_SERVER").substr(Env("CVL_TEST_SERVER").find(':') + 1)); }

  std::vector<TReport> Download(const std::u16string& url, const fs::path& destination,
                                const std::function<bool()>& cancelled = {}, bool resumable = false,
                                bool* resumed = nullptr) {
    std::vector<TReport> reports;
    const bool continued = DownloadUrlToFile(
        url, destination.u16string(),
        [&](std::int32_t p, std::int32_t t, TDownloadStatus s) { reports.push_back({p, t, s}); }, cancelled, {},
        resumable);
    if (resumed != nullptr) *resumed = continued;
    return reports;
  }

  fs::path FFolder;
};

bool Finished(const std::vector<TReport>& reports) {
  return !reports.empty() && reports.back().Status == TDownloadStatus::dsEnddownloaddata;
}

// Counts the ticks of a thread timer while a download waits.
int gTicks = 0;
void CALLBACK CountTick(HWND, UINT, UINT_PTR, DWORD) { ++gTicks; }

TEST(DownloadCallback, ForwardsOnlyDataStatusesAndLeavesTheEndToTheTransfer) {
  std::vector<TReport> reports;
  const TCallBack record = [&](std::int32_t p, std::int32_t t, TDownloadStatus s) { reports.push_back({p, t, s}); };
  TComPtr<TDownloadCallback> callback(new TDownloadCallback(record, u"http://127.0.0.1/x", INVALID_HANDLE_VALUE));
  const ULONG statuses[] = {1, 2, 11, 4, 5, 5, 6};
  ULONG progress = 0;
  for (const ULONG status : statuses) {
    EXPECT_EQ(callback->OnProgress(progress, 0, status, L"http://127.0.0.1/x"), S_OK);
    progress += 10;
  }
  ASSERT_EQ(reports.size(), 3u) << "the moniker's end report is no proof of a whole file";
  EXPECT_EQ(reports[0].Status, TDownloadStatus::dsBegindownloaddata);
  EXPECT_EQ(reports[2].Status, TDownloadStatus::dsDownloadingdata);
  EXPECT_TRUE(callback->TransferFailed()) << "not stopped yet";
  callback->OnStopBinding(S_OK, nullptr);
  EXPECT_FALSE(callback->TransferFailed());
  callback->ReportEnd(record);
  EXPECT_EQ(reports.back().Status, TDownloadStatus::dsEnddownloaddata);
  EXPECT_EQ(reports.back().Total, 0) << "a total of 0 is passed on unchanged";

  // An error status read from the answer: that body is no finished download.
  TComPtr<TDownloadCallback> errorPage(new TDownloadCallback(record, u"http://127.0.0.1/y", INVALID_HANDLE_VALUE));
  errorPage->OnResponse(404, L"", L"", nullptr);
  errorPage->OnStopBinding(S_OK, nullptr);
  EXPECT_TRUE(errorPage->TransferFailed());
}

TEST_F(Net, QueryFillsTheRecordAndSendsTheLauncherHeaders) {
  TQueryState state = StateFor(ServerPort());
  ASSERT_EQ(Query(state), 1);
  EXPECT_EQ(state.FConnectInfo.Server_ip, u"10.0.0.7");
  EXPECT_EQ(state.FConnectInfo.PatchVersion, 42);
  EXPECT_EQ(state.FBaseServerAdr, ServerUrl(""));
  EXPECT_EQ(state.FConnectInfo.VdnBinDownload, ServerUrl("/files/client.bin"));
  EXPECT_TRUE(state.FConnectInfo.Log);
  EXPECT_EQ(PatchDownloadPath(state.FConnectInfo.PatchList), u"/connector/patch/");
  const auto requests = Requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0]["path"], "/outgame/info");
  EXPECT_EQ(requests[0]["headers"]["Accept"], "application/json, text/plain; q=0.9, text/html;q=0.8,");
  EXPECT_EQ(requests[0]["headers"]["Accept-Charset"], "UTF-8, *;q=0.8");
}

TEST_F(Net, QueryJudgesTheAnswerNotItsStatusBelow500) {
  const std::pair<std::string, int> cases[] = {
      {"status=404", 1},
      {"status=503", -1},
      {"status=500", -1},
      {"redirect=/alt/info.json", 1},
      {"type=application/octet-stream", -1},
      {"type=text/plain%3B%20charset%3Dutf-8", 1},
      {"body=%7B%7D%7B%7D", -1},
  };
  for (const auto& [rule, expected] : cases) {
    Control("/__rule?path=/outgame/info&" + rule);
    TQueryState state = StateFor(ServerPort());
    EXPECT_EQ(Query(state), expected) << rule;
  }
}

TEST_F(Net, QueryOfAnUnreachableServerFails) {
  const int port = std::stoi(Env("CVL_CLOSED_PORT"));
  TQueryState state = StateFor(port);
  EXPECT_EQ(Query(state), -1);
  EXPECT_EQ(state.FBaseServerAdr, u"http://127.0.0.1:" + IntToText(port));
}

TEST_F(Net, DownloadReportsProgressAndKeepsTheWholeFile) {
  const fs::path file = FFolder / "patch_1.zip";
  const auto reports = Download(ServerUrl("/connector/patch/patch_1.zip"), file);
  const std::string expected = ReadAll(fs::path(Utf8ToUtf16(Env("CVL_TEST_ROOT"))) / "connector" / "patch" / "patch_1.zip");
  ASSERT_TRUE(Finished(reports));
  EXPECT_EQ(reports.front().Status, TDownloadStatus::dsBegindownloaddata);
  for (const auto& r : reports) {
    EXPECT_TRUE(r.Status == TDownloadStatus::dsBegindownloaddata || r.Status == TDownloadStatus::dsDownloadingdata ||
                r.Status == TDownloadStatus::dsEnddownloaddata);
  }
  EXPECT_EQ(reports.back().Progress, static_cast<std::int32_t>(expected.size()));
  EXPECT_EQ(reports.back().Total, static_cast<std::int32_t>(expected.size()));
  EXPECT_TRUE(ReadAll(file) == expected);
}

// What the URL moniker does with a request for the rest of a file: the extra headers
// reach the server, the 206 answer reaches OnResponse and its body arrives as data.
TEST_F(Net, MonikerPassesRangeRequestsAndTheirPartialAnswers) {
  const std::string whole = ReadAll(fs::path(Utf8ToUtf16(Env("CVL_TEST_ROOT"))) / "connector" / "patch" / "patch_1.zip");
  ASSERT_GT(whole.size(), 100u);
  const std::size_t from = whole.size() - 100;
  const fs::path target = FFolder / "rest.bin";
  HANDLE file = ::CreateFileW(target.wstring().c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  const TComApartment apartment;
  const std::string agent = NarrowLatin1(LauncherUserAgent);
  ::UrlMkSetSessionOption(0x10000001 /* URLMON_OPTION_USERAGENT */, const_cast<char*>(agent.data()),
                          static_cast<DWORD>(agent.size()), 0);
  std::vector<TReport> reports;
  const TCallBack record = [&](std::int32_t p, std::int32_t t, TDownloadStatus s) { reports.push_back({p, t, s}); };
  const std::u16string url = ServerUrl("/connector/patch/patch_1.zip");
  TComPtr<TDownloadCallback> status(new TDownloadCallback(record, url, file));
  status->SetRequestHeaders(L"Range: bytes=" + std::to_wstring(from) + L"-\r\n");
  status->ResumeFrom(static_cast<std::int64_t>(from));
  TComPtr<IMoniker> moniker;
  TComPtr<IBindCtx> context;
  ASSERT_EQ(::CreateURLMonikerEx(nullptr, ToWide(url).c_str(), moniker.Receive(), URL_MK_UNIFORM), S_OK);
  ASSERT_EQ(::CreateAsyncBindCtx(0, status.Get(), nullptr, context.Receive()), S_OK);
  TComPtr<IStream> stream;
  const HRESULT bound = moniker->BindToStorage(context.Get(), nullptr, IID_IStream, reinterpret_cast<void**>(stream.Receive()));
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (SUCCEEDED(bound) && !status->Stopped() && std::chrono::steady_clock::now() < deadline) {
    ::MsgWaitForMultipleObjectsEx(0, nullptr, 50, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageW(&msg);
  }
  ::RevokeBindStatusCallback(context.Get(), status.Get());
  const bool failed = status->TransferFailed();
  status->Detach();
  ::CloseHandle(file);
  const auto requests = Requests();
  ASSERT_FALSE(requests.empty());
  EXPECT_EQ(requests.back()["headers"].value("Range", ""), "bytes=" + std::to_string(from) + "-");
  EXPECT_EQ(status->HttpStatus(), 206u);
  EXPECT_FALSE(failed);
  EXPECT_TRUE(ReadAll(target) == whole.substr(from));
  ASSERT_FALSE(reports.empty());
  EXPECT_EQ(reports.back().Progress, static_cast<std::int32_t>(whole.size())) << "counted as the whole file";
}

// A resumable download cut at 90% keeps what arrived, and the next one of the same file
// asks for the rest when the server still has that file, else takes the whole answer.
TEST_F(Net, ResumedDownloadAsksForTheRestAndHandlesEveryAnswer) {
  const std::string path = "/connector/patch/patch_1.zip";
  const std::string whole = ReadAll(fs::path(Utf8ToUtf16(Env("CVL_TEST_ROOT"))) / "connector" / "patch" / "patch_1.zip");
  const std::size_t cut = whole.size() * 9 / 10;
  const std::size_t secondCut = whole.size() * 19 / 20;
  struct TCase {
    const char* Name;
    std::string FirstRule;   // besides the cut
    std::string SecondRule;  // for the second attempt
    bool SecondWhole;        // the second attempt ends with the whole file
    bool Continued;          // and it continued the part
  };
  const TCase cases[] = {
      {"rest", "", "", true, true},
      {"server ignores ranges", "", "&ranges=ignore", true, false},
      {"file replaced in between", "&etag=%22older%22", "", true, false},
      {"wrong range", "", "&ranges=wrong", false, false},
      {"cut again", "", "&cut=" + std::to_string(secondCut), false, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    Control("/__reset");
    const fs::path file = FFolder / (std::string(c.Name) + ".zip");
    const fs::path part = fs::path(file.u16string() + u".part");
    Control("/__rule?path=" + path + "&times=1&cut=" + std::to_string(cut) + c.FirstRule);
    EXPECT_FALSE(Finished(Download(ServerUrl(path), file, {}, true)));
    ASSERT_TRUE(fs::exists(part));
    EXPECT_EQ(fs::file_size(part), cut) << "what arrived is kept";
    EXPECT_FALSE(fs::exists(file));
    if (!c.SecondRule.empty()) Control("/__rule?path=" + path + "&times=1" + c.SecondRule);
    bool resumed = false;
    const auto reports = Download(ServerUrl(path), file, {}, true, &resumed);
    const auto requests = Requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[1]["headers"].value("Range", ""), "bytes=" + std::to_string(cut) + "-");
    EXPECT_FALSE(requests[1]["headers"].value("If-Range", "").empty()) << "the validator goes with the range";
    EXPECT_EQ(Finished(reports), c.SecondWhole);
    EXPECT_EQ(resumed, c.Continued);
    if (c.SecondWhole) {
      EXPECT_TRUE(ReadAll(file) == whole);
      EXPECT_FALSE(fs::exists(part));
      EXPECT_EQ(reports.back().Progress, static_cast<std::int32_t>(whole.size()));
      EXPECT_EQ(reports.back().Total, static_cast<std::int32_t>(whole.size()));
      // Progress counts the whole file: a continued transfer starts where the part ends.
      if (c.Continued) {
        EXPECT_GE(reports.front().Progress, static_cast<std::int32_t>(cut));
      }
      continue;
    }
    EXPECT_FALSE(fs::exists(file));
    // A wrong range drops the part; a second cut keeps more of it for a third attempt.
    const bool cutAgain = std::string(c.Name) == "cut again";
    EXPECT_EQ(fs::exists(part), cutAgain);
    EXPECT_TRUE(Finished(Download(ServerUrl(path), file, {}, true, &resumed)));
    EXPECT_TRUE(ReadAll(file) == whole);
    EXPECT_EQ(resumed, cutAgain);
    EXPECT_EQ(Requests()[2]["headers"].value("Range", ""), cutAgain ? "bytes=" + std::to_string(secondCut) + "-" : "");
    EXPECT_FALSE(fs::exists(part));
  }
  // Without resuming, nothing of a cut transfer stays behind and nothing is asked as a range.
  Control("/__reset");
  Control("/__rule?path=" + path + "&times=1&cut=" + std::to_string(cut));
  const fs::path plain = FFolder / "plain.zip";
  EXPECT_FALSE(Finished(Download(ServerUrl(path), plain)));
  EXPECT_FALSE(fs::exists(fs::path(plain.u16string() + u".part")));
  EXPECT_TRUE(Finished(Download(ServerUrl(path), plain, {}, true)));
  EXPECT_EQ(Requests()[1]["headers"].value("Range", ""), "");
}

TEST_F(Net, TwoDownloadsOfOneUrlBothReachTheServer) {
  // The server even invites caching: the launcher must still fetch both times.
  Control("/__rule?path=/connector/patch/patch_1.zip&cache=3600");
  const fs::path file = FFolder / "patch_1.zip";
  EXPECT_TRUE(Finished(Download(ServerUrl("/connector/patch/patch_1.zip"), file)));
  fs::remove(file);
  EXPECT_TRUE(Finished(Download(ServerUrl("/connector/patch/patch_1.zip"), file)));
  EXPECT_TRUE(fs::exists(file));
  EXPECT_EQ(CountRequests("/connector/patch/patch_1.zip"), 2);
}

TEST_F(Net, FailedTransfersEndWithoutFinishAndWithoutFile) {
  Control("/__rule?path=/connector/patch/patch_1.zip&cut=1000");
  Control("/__rule?path=/broken.zip&status=500&body=server%20error%20page");
  const std::pair<const char*, std::string> cases[] = {
      {"cut mid-body", "/connector/patch/patch_1.zip"},
      {"404 page", "/missing.zip"},
      {"500 page", "/broken.zip"},
  };
  for (const auto& [what, path] : cases) {
    SCOPED_TRACE(what);
    const fs::path file = FFolder / "download.zip";
    EXPECT_FALSE(Finished(Download(ServerUrl(path), file)));
    EXPECT_FALSE(fs::exists(file));
  }
}

// A server that sends part of the body and then nothing, with the connection kept open:
// the window's messages run all the while, and the download ends as a failed one after the
// stall time-out (shortened for the test) or at once when the caller cancels, long before
// the server would let go; no file and no partial file are left.
TEST_F(Net, SilentTransferIsGivenUpWhileMessagesRun) {
  Control("/__rule?path=/connector/patch/patch_1.zip&cut=1000&hold=60000");
  struct TCase {
    const char* What;
    bool Cancel;
  };
  for (const TCase& c : {TCase{"stall time-out", false}, TCase{"cancelled", true}}) {
    SCOPED_TRACE(c.What);
    _wputenv(c.Cancel ? L"CVL_TEST_TIMEOUT_MS=" : L"CVL_TEST_TIMEOUT_MS=2000");
    gTicks = 0;
    const UINT_PTR timer = ::SetTimer(nullptr, 0, 100, CountTick);
    const fs::path file = FFolder / "silent.zip";
    const auto started = std::chrono::steady_clock::now();
    const auto reports = Download(ServerUrl("/connector/patch/patch_1.zip"), file, [&] {
      return c.Cancel && gTicks >= 20;
    });
    const auto seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    ::KillTimer(nullptr, timer);
    _wputenv(L"CVL_TEST_TIMEOUT_MS=");
    EXPECT_FALSE(Finished(reports));
    EXPECT_FALSE(fs::exists(file));
    EXPECT_FALSE(fs::exists(fs::path(file.native() + L".part")));
    EXPECT_GE(gTicks, 10) << "the timer must tick while the server is silent";
    EXPECT_LT(seconds, 30.0) << "ended by the launcher, not by the server's hold of 60 s";
  }
}

TEST_F(Net, DownloadFromAnUnreachableServerReportsNothing) {
  const fs::path file = FFolder / "x.zip";
  const auto reports = Download(u"http://127.0.0.1:" + Utf8ToUtf16(Env("CVL_CLOSED_PORT")) + u"/x.zip", file);
  EXPECT_TRUE(reports.empty());
  EXPECT_FALSE(fs::exists(file));
}

TEST_F(Net, RedirectedDownloadThenUnpackReplacingAnOlderCopy) {
  Control("/__rule?path=/old/patch.zip&redirect=/connector/patch/patch_1.zip");
  const fs::path base = FFolder / "Base Dir";
  fs::create_directories(base / "sub");
  std::ofstream(base / "sub" / "file.txt") << "old";
  const fs::path archive = base / "patch_1.zip";
  ASSERT_TRUE(Finished(Download(ServerUrl("/old/patch.zip"), archive)));
  ExtractZipArchive(archive.u16string(), (base.u16string() + u"\\"));
  EXPECT_EQ(ReadAll(base / "sub" / "file.txt"), "new");
  EXPECT_EQ(fs::file_size(base / "noise.bin"), 300u * 1024u);
}

// A link in the client folder (a reparse point to Windows) is never written through, and
// the archive then changes nothing.
TEST(NetUnpack, NeverWritesThroughALinkOnDisk) {
  const fs::path links(Utf8ToUtf16(Env("CVL_LINK_CASE")));
  ASSERT_FALSE(links.empty()) << "run through run_net_tests.py";
  ASSERT_TRUE(fs::exists(links / "target" / "lnk"));
  EXPECT_THROW(ExtractZipArchive((links / "links.zip").u16string(), (links / "target").u16string()), EZipError);
  EXPECT_TRUE(fs::is_empty(links / "outside"));
  EXPECT_FALSE(fs::exists(links / "target" / "good.txt"));
}

}  // namespace
}  // namespace cvl
