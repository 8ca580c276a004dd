#include "win32/net/HttpQuery.h"

#include <windows.h>
#include <winhttp.h>

#include <memory>
#include <thread>
#include <utility>

#include "core/Text.h"
#include "win32/base/ScopedHandle.h"
#include "win32/base/SystemError.h"
#include "win32/base/WinText.h"
#include "win32/base/MessagePump.h"

namespace cvl {
namespace {

// An answer larger than this is not the server's small JSON text.
constexpr std::size_t kMaxBody = 16 * 1024 * 1024;
// How often the wait for an answer looks at the clock and the caller's wish to stop.
constexpr DWORD kWaitSliceMs = 50;

// A session, connection or request of WinHTTP.
struct TInternetHandleTraits {
  using THandle = HINTERNET;
  static HINTERNET NullHandle() { return nullptr; }
  static bool IsValid(HINTERNET handle) { return handle != nullptr; }
  static bool Close(HINTERNET handle) { return ::WinHttpCloseHandle(handle) != FALSE; }
};
using TInternetHandle = TGenericScopedHandle<TInternetHandleTraits>;

[[noreturn]] void FailLastError(std::u16string_view step) {
  const DWORD code = ::GetLastError();
  std::u16string text = SystemErrorMessage(code);
  if (text.empty()) text = u"error " + IntToText(code);
  throw EHttpError(std::u16string(step) + u": " + text);
}

HINTERNET Check(HINTERNET handle, std::u16string_view step) {
  if (handle == nullptr) FailLastError(step);
  return handle;
}

void Check(BOOL ok, std::u16string_view step) {
  if (!ok) FailLastError(step);
}

struct TUrlParts {
  std::wstring Host;
  INTERNET_PORT Port = 0;
  std::wstring PathAndQuery;
  bool Secure = false;
};

TUrlParts CrackUrl(const std::wstring& url) {
  URL_COMPONENTS parts{};
  parts.dwStructSize = sizeof(parts);
  parts.dwHostNameLength = static_cast<DWORD>(-1);
  parts.dwUrlPathLength = static_cast<DWORD>(-1);
  parts.dwExtraInfoLength = static_cast<DWORD>(-1);
  Check(::WinHttpCrackUrl(url.c_str(), 0, 0, &parts), u"WinHttpCrackUrl");
  TUrlParts out;
  out.Host.assign(parts.lpszHostName, parts.dwHostNameLength);
  out.Port = parts.nPort;
  out.PathAndQuery.assign(parts.lpszUrlPath, parts.dwUrlPathLength);
  out.PathAndQuery.append(parts.lpszExtraInfo, parts.dwExtraInfoLength);
  out.Secure = parts.nScheme == INTERNET_SCHEME_HTTPS;
  return out;
}

DWORD StatusCode(HINTERNET request) {
  DWORD status = 0;
  DWORD size = sizeof(status);
  Check(::WinHttpQueryHeaders(request, WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                              WINHTTP_HEADER_NAME_BY_INDEX, &status, &size, WINHTTP_NO_HEADER_INDEX),
        u"WinHttpQueryHeaders");
  return status;
}

std::string ContentType(HINTERNET request) {
  DWORD size = 0;
  ::WinHttpQueryHeaders(request, WINHTTP_QUERY_CONTENT_TYPE, WINHTTP_HEADER_NAME_BY_INDEX, WINHTTP_NO_OUTPUT_BUFFER,
                        &size, WINHTTP_NO_HEADER_INDEX);
  if (::GetLastError() != ERROR_INSUFFICIENT_BUFFER || size == 0) return {};
  std::wstring value(size / sizeof(wchar_t) + 1, L'\0');
  Check(::WinHttpQueryHeaders(request, WINHTTP_QUERY_CONTENT_TYPE, WINHTTP_HEADER_NAME_BY_INDEX, value.data(), &size,
                              WINHTTP_NO_HEADER_INDEX),
        u"WinHttpQueryHeaders");
  value.resize(size / sizeof(wchar_t));
  return Utf16ToUtf8(FromWide(value));
}

std::string ReadBody(HINTERNET request) {
  std::string body;
  for (;;) {
    DWORD available = 0;
    Check(::WinHttpQueryDataAvailable(request, &available), u"WinHttpQueryDataAvailable");
    if (available == 0) return body;
    if (body.size() + available > kMaxBody) throw EHttpError(u"the answer is too large");
    const std::size_t at = body.size();
    body.resize(at + available);
    DWORD read = 0;
    Check(::WinHttpReadData(request, body.data() + at, available, &read), u"WinHttpReadData");
    body.resize(at + read);
    if (read == 0) return body;
  }
}

}  // namespace

THttpAnswer TWinHttpClient::Get(const THttpRequest& request) {
  const TUrlParts url = CrackUrl(ToWide(request.Url));
  TInternetHandle session(Check(::WinHttpOpen(ToWide(request.UserAgent).c_str(), WINHTTP_ACCESS_TYPE_DEFAULT_PROXY,
                                              WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0),
                                u"WinHttpOpen"));
  const int timeout = static_cast<int>(request.TimeoutMs);
  Check(::WinHttpSetTimeouts(session.Get(), timeout, timeout, timeout, timeout), u"WinHttpSetTimeouts");
  TInternetHandle connection(Check(::WinHttpConnect(session.Get(), url.Host.c_str(), url.Port, 0), u"WinHttpConnect"));
  TInternetHandle http(Check(::WinHttpOpenRequest(connection.Get(), L"GET", url.PathAndQuery.c_str(), nullptr,
                                                  WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES,
                                                  url.Secure ? WINHTTP_FLAG_SECURE : 0),
                             u"WinHttpOpenRequest"));
  const std::wstring headers =
      L"Accept: " + ToWide(request.Accept) + L"\r\nAccept-Charset: " + ToWide(request.AcceptCharset) + L"\r\n";
  Check(::WinHttpAddRequestHeaders(http.Get(), headers.c_str(), static_cast<DWORD>(-1),
                                   WINHTTP_ADDREQ_FLAG_ADD | WINHTTP_ADDREQ_FLAG_REPLACE),
        u"WinHttpAddRequestHeaders");
  Check(::WinHttpSendRequest(http.Get(), WINHTTP_NO_ADDITIONAL_HEADERS, 0, WINHTTP_NO_REQUEST_DATA, 0, 0, 0),
        u"WinHttpSendRequest");
  Check(::WinHttpReceiveResponse(http.Get(), nullptr), u"WinHttpReceiveResponse");
  THttpAnswer answer;
  answer.StatusCode = static_cast<int>(StatusCode(http.Get()));
  answer.ContentType = ContentType(http.Get());
  answer.Body = ReadBody(http.Get());
  return answer;
}

THttpAnswer TWaitingHttpClient::Get(const THttpRequest& request) {
  // What the exchange and this thread share. The exchange may outlive the wait (a server
  // that never answers): it then finishes alone, into state nobody reads any more.
  struct TShared {
    THttpRequest Request;
    THttpAnswer Answer;
    std::exception_ptr Error;
    TScopedHandle Done{::CreateEventW(nullptr, TRUE, FALSE, nullptr)};
  };
  auto shared = std::make_shared<TShared>();
  shared->Request = request;
  if (!shared->Done) FailLastError(u"CreateEventW");
  std::thread([shared] {
    try {
      TWinHttpClient http;
      shared->Answer = http.Get(shared->Request);
    } catch (...) {
      shared->Error = std::current_exception();
    }
    ::SetEvent(shared->Done.Get());
  }).detach();

  // WinHTTP's own time-outs do not hold everywhere: the launcher keeps its own.
  const ULONGLONG deadline = ::GetTickCount64() + request.TimeoutMs;
  const HANDLE done = shared->Done.Get();
  for (;;) {
    const DWORD woken = ::MsgWaitForMultipleObjectsEx(1, &done, kWaitSliceMs, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    if (woken == WAIT_OBJECT_0) break;
    ProcessMessages();
    if (::WaitForSingleObject(done, 0) == WAIT_OBJECT_0) break;
    if (FCancelled && FCancelled()) throw EHttpError(u"the query was cancelled");
    if (::GetTickCount64() >= deadline) throw EHttpError(u"the server did not answer in time");
  }
  if (shared->Error) std::rethrow_exception(shared->Error);
  return std::move(shared->Answer);
}

int QueryServerInfo(TConnectInfo& info, std::u16string& baseServerAdr, const std::function<bool()>& cancelled) {
  TWaitingHttpClient http(cancelled);
  return QueryServerInfo(info, baseServerAdr, http);
}

}  // namespace cvl
