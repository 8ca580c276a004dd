// Fetching one URL into one file through the URL moniker, with progress reports.
#pragma once

#include <windows.h>
#include <urlmon.h>

#include <atomic>
#include <cstdint>
#include <exception>
#include <functional>
#include <string>

#include "core/DownloadStatus.h"
#include "win32/base/ComScoped.h"

namespace cvl {

// The progress callback: bytes so far, the announced total (0 when not announced), and
// the status (only dsBegindownloaddata, dsDownloadingdata, dsEnddownloaddata arrive).
using TCallBack = std::function<void(std::int32_t ulProgress, std::int32_t ulProgressMax, TDownloadStatus ulStatusCode)>;

// Blocks until the transfer has ended, calling `callback` on this thread while it runs
// and letting window messages run all the while, also while the server sends nothing:
// the moniker binds asynchronously and this thread waits in a message loop of its own.
// The destination exists afterwards only when the whole body arrived with a successful
// HTTP status: the body goes into a file beside the destination, which takes its place
// only then. An error page, a connection cut short, a transfer that receives nothing for
// the stall time-out (Timeouts.h), or `cancelled` answering true all end without
// dsEnddownloaddata and without the file. Every request carries the launcher's user
// agent and is fetched from the server, never from the URL cache. An exception thrown
// by `callback` cancels the transfer and leaves here once the moniker has stopped.
// `onData`, when given, sees every byte written to the file, in order.
//
// With `resumable`, a transfer that ends early after some of the body arrived keeps it
// (beside the destination, with the server's validator: its ETag, else its Last-Modified),
// and the next resumable download of the same destination asks only for the rest (Range,
// with If-Range carrying the validator). A whole answer (200) replaces the kept part; an
// answer that does not start where the part ends fails the attempt and drops the part.
// Progress then counts the whole file, and `onData` sees only the bytes of this attempt.
// Returns true when this transfer continued a kept part.
bool DownloadUrlToFile(const std::u16string& url, const std::u16string& destination, const TCallBack& callback,
                       const std::function<bool()>& cancelled = {},
                       const std::function<void(const std::uint8_t*, std::size_t)>& onData = {},
                       bool resumable = false);

// Removes what an unfinished resumable download of `destination` kept; never raises.
void DiscardPartialDownload(const std::u16string& destination);

// The file a download of `destination` writes into before it takes the destination's place.
std::u16string PartialDownloadPath(const std::u16string& destination);

// The status callback of one download: reports progress, reads the HTTP status of the
// answer, and writes the body to the file as it arrives.
class TDownloadCallback : public IBindStatusCallback, public IHttpNegotiate {
 public:
  TDownloadCallback(TCallBack aCallBackFunction, std::u16string url, HANDLE file,
                    std::function<void(const std::uint8_t*, std::size_t)> onData = {});

  // The binding has stopped (completed, failed or aborted).
  bool Stopped() const { return FStopped; }
  // Whether the transfer went wrong: the binding failed, an HTTP error status, fewer
  // bytes than announced, a write that failed, or a callback that failed.
  bool TransferFailed() const;
  std::int32_t AnnouncedTotal() const { return FTotal; }
  std::int64_t Received() const { return FReceived; }
  // When the last byte (or the binding's start) was seen, in GetTickCount64 time.
  ULONGLONG LastActivity() const { return FLastActivity; }
  // Ends the binding early; OnStopBinding follows.
  void Abort();
  // The callback's exception, if it raised one.
  std::exception_ptr CallbackError() const { return FCallbackError; }
  // The caller is done with this download; later calls from the moniker change nothing.
  void Detach();
  // Reports the end of a whole transfer through `callback`.
  void ReportEnd(const TCallBack& callback) const;
  // Extra request header lines ("Name: value\r\n" each), added to the request.
  void SetRequestHeaders(std::wstring headers) { FRequestHeaders = std::move(headers); }
  // The file already holds this many bytes of the body: a range from there was asked for.
  void ResumeFrom(std::int64_t offset) { FOffset = offset; }
  // Whether the answer continued the file (206 from the right offset), and the offset
  // its bytes start at in the whole file (0 after a whole answer).
  bool Continued() const { return FOffset > 0; }
  std::int64_t Offset() const { return FOffset; }
  // The answer's validator (ETag, else Last-Modified), empty when it gave none.
  std::wstring Validator() const;
  // The answer to a range request started elsewhere than asked: the kept part is no use.
  bool WrongRange() const { return FWrongRange; }
  // The answer's HTTP status and header lines, once OnResponse has seen them.
  DWORD HttpStatus() const { return FHttpStatus; }
  const std::wstring& ResponseHeaders() const { return FResponseHeaders; }

  // IUnknown
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;
  // IBindStatusCallback
  HRESULT STDMETHODCALLTYPE OnStartBinding(DWORD reserved, IBinding* binding) override;
  HRESULT STDMETHODCALLTYPE GetPriority(LONG* priority) override;
  HRESULT STDMETHODCALLTYPE OnLowResource(DWORD reserved) override;
  HRESULT STDMETHODCALLTYPE OnProgress(ULONG progress, ULONG total, ULONG statusCode, LPCWSTR statusText) override;
  HRESULT STDMETHODCALLTYPE OnStopBinding(HRESULT result, LPCWSTR error) override;
  HRESULT STDMETHODCALLTYPE GetBindInfo(DWORD* flags, BINDINFO* info) override;
  HRESULT STDMETHODCALLTYPE OnDataAvailable(DWORD flags, DWORD size, FORMATETC* format, STGMEDIUM* medium) override;
  HRESULT STDMETHODCALLTYPE OnObjectAvailable(REFIID riid, IUnknown* object) override;
  // IHttpNegotiate
  HRESULT STDMETHODCALLTYPE BeginningTransaction(LPCWSTR url, LPCWSTR headers, DWORD reserved,
                                                 LPWSTR* additionalHeaders) override;
  HRESULT STDMETHODCALLTYPE OnResponse(DWORD responseCode, LPCWSTR responseHeaders, LPCWSTR requestHeaders,
                                       LPWSTR* additionalRequestHeaders) override;

 private:
  virtual ~TDownloadCallback() = default;
  void Forward(ULONG progress, ULONG total, ULONG statusCode);
  bool Failing() const;

  std::atomic<ULONG> FReferences{1};
  std::u16string fUrl;
  TCallBack fCallBackFunction;
  HANDLE FFile;
  std::function<void(const std::uint8_t*, std::size_t)> FOnData;
  TComPtr<IBinding> FBinding;  // held from OnStartBinding to OnStopBinding
  DWORD FHttpStatus = 0;
  std::int64_t FOffset = 0;
  bool FWrongRange = false;
  std::wstring FRequestHeaders;
  std::wstring FResponseHeaders;
  HRESULT FResult = S_OK;
  std::int32_t FProgress = 0;
  std::int32_t FTotal = 0;
  std::int64_t FReceived = 0;
  bool FStopped = false;
  bool FWriteFailed = false;
  bool FAborted = false;
  ULONGLONG FLastActivity = 0;
  std::exception_ptr FCallbackError;
};

}  // namespace cvl
