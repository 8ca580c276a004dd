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

namespace cvl {

// The progress callback: bytes so far, the announced total (0 when not announced), and
// the status (only dsBegindownloaddata, dsDownloadingdata, dsEnddownloaddata arrive).
using TCallBack = std::function<void(std::int32_t ulProgress, std::int32_t ulProgressMax, TDownloadStatus ulStatusCode)>;

// Blocks until the transfer has ended, calling `callback` on this thread while it runs
// and letting waiting window messages run on every report. The destination exists
// afterwards only when the whole body arrived with a successful HTTP status: an error
// page or a connection cut short ends without dsEnddownloaddata and without the file
// (Wine's moniker would otherwise keep both). Every request carries the launcher's user
// agent and is fetched from the server, never from the URL cache. An exception thrown by
// `callback` cancels the transfer and leaves here once the moniker has returned.
// `cancelled` is asked on every report; when it says so the transfer is aborted and no
// file is left.
void DownloadUrlToFile(const std::u16string& url, const std::u16string& destination, const TCallBack& callback,
                       const std::function<bool()>& cancelled = {});

// The status callback of one download; it also reads the HTTP status of the answer.
class TDownloadCallback : public IBindStatusCallback, public IHttpNegotiate {
 public:
  TDownloadCallback(TCallBack aCallBackFunction, std::u16string url, std::function<bool()> cancelled = {});

  // Whether the transfer went wrong although the moniker may call it finished: an HTTP
  // error status, fewer bytes than announced, or a callback that failed.
  bool TransferFailed() const;
  std::int32_t AnnouncedTotal() const { return FTotal; }
  // The callback's exception, if it raised one.
  std::exception_ptr CallbackError() const { return FCallbackError; }

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

  std::atomic<ULONG> FReferences{1};
  std::u16string fUrl;
  TCallBack fCallBackFunction;
  DWORD FHttpStatus = 0;
  std::int32_t FProgress = 0;
  std::int32_t FTotal = 0;
  bool FShortBody = false;
  std::exception_ptr FCallbackError;
  std::function<bool()> FCancelled;
  bool FAborted = false;  // cancelled by the caller
};

}  // namespace cvl
