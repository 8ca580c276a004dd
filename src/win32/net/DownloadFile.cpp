#include "win32/net/DownloadFile.h"

#include <wininet.h>

#include <cstring>
#include <utility>
#include <vector>

#include "core/ServerInfo.h"
#include "core/Text.h"
#include "core/Timeouts.h"
#include "win32/base/ComScoped.h"
#include "win32/base/MessagePump.h"
#include "win32/base/ScopedHandle.h"
#include "win32/base/WinText.h"

namespace cvl {
namespace {

constexpr DWORD kUserAgentOption = 0x10000001;  // URLMON_OPTION_USERAGENT

void SetLauncherUserAgent() {
  static const std::string agent = NarrowLatin1(LauncherUserAgent);
  ::UrlMkSetSessionOption(kUserAgentOption, const_cast<char*>(agent.data()), static_cast<DWORD>(agent.size()), 0);
}

// How often the wait for a transfer looks at the clock and the caller's wish to stop.
constexpr DWORD kWaitSliceMs = 50;
// After an abort the moniker confirms the stop at once; should it not, this long at most.
constexpr ULONGLONG kAbortGraceMs = 5000;
constexpr DWORD kReadPieceBytes = 64 * 1024;

// Waits in a message loop of its own until the binding stops, aborting it when the caller
// cancels, when the callback failed, or when nothing arrived for the stall time-out.
void WaitForEnd(TDownloadCallback& status, const std::function<bool()>& cancelled) {
  const ULONGLONG stallMs = DownloadStallTimeoutMs();
  ULONGLONG abortedAt = 0;
  while (!status.Stopped()) {
    ::MsgWaitForMultipleObjectsEx(0, nullptr, kWaitSliceMs, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    ProcessMessages();
    if (status.Stopped()) break;
    const ULONGLONG now = ::GetTickCount64();
    if (abortedAt == 0) {
      const bool stop = status.CallbackError() != nullptr || (cancelled && cancelled()) ||
                        now - status.LastActivity() >= stallMs;
      if (stop) {
        status.Abort();
        abortedAt = now;
      }
    } else if (now - abortedAt >= kAbortGraceMs) {
      break;  // the moniker never confirmed the abort: the transfer is left behind
    }
  }
}

}  // namespace

TDownloadCallback::TDownloadCallback(TCallBack aCallBackFunction, std::u16string url, HANDLE file,
                                     std::function<void(const std::uint8_t*, std::size_t)> onData)
    : fUrl(std::move(url)),
      fCallBackFunction(std::move(aCallBackFunction)),
      FFile(file),
      FOnData(std::move(onData)),
      FLastActivity(::GetTickCount64()) {}

bool TDownloadCallback::Failing() const {
  return FHttpStatus >= 400 || FWriteFailed || FAborted || FCallbackError != nullptr;
}

bool TDownloadCallback::TransferFailed() const {
  return !FStopped || FAILED(FResult) || Failing() || (FTotal > 0 && FReceived != FTotal);
}

void TDownloadCallback::Abort() {
  FAborted = true;
  if (FBinding) FBinding->Abort();
}

void TDownloadCallback::Detach() {
  // The moniker may still call in after the caller has gone: nothing of the caller's is
  // touched from then on.
  FFile = INVALID_HANDLE_VALUE;
  fCallBackFunction = nullptr;
  FOnData = nullptr;
  FAborted = true;
}

void TDownloadCallback::ReportEnd(const TCallBack& callback) const {
  const auto received = static_cast<std::int32_t>(FReceived);
  if (callback) callback(received, FTotal, TDownloadStatus::dsEnddownloaddata);
}

HRESULT TDownloadCallback::QueryInterface(REFIID riid, void** object) {
  if (object == nullptr) return E_POINTER;
  if (riid == IID_IUnknown || riid == IID_IBindStatusCallback) {
    *object = static_cast<IBindStatusCallback*>(this);
  } else if (riid == IID_IHttpNegotiate) {
    *object = static_cast<IHttpNegotiate*>(this);
  } else {
    *object = nullptr;
    return E_NOINTERFACE;
  }
  AddRef();
  return S_OK;
}

ULONG TDownloadCallback::AddRef() { return ++FReferences; }

ULONG TDownloadCallback::Release() {
  const ULONG left = --FReferences;
  if (left == 0) delete this;
  return left;
}

HRESULT TDownloadCallback::OnStartBinding(DWORD, IBinding* binding) {
  if (binding != nullptr) {
    binding->AddRef();
    FBinding = TComPtr<IBinding>(binding);
  }
  return S_OK;
}

HRESULT TDownloadCallback::GetPriority(LONG*) { return S_OK; }
HRESULT TDownloadCallback::OnLowResource(DWORD) { return S_OK; }

HRESULT TDownloadCallback::OnStopBinding(HRESULT result, LPCWSTR) {
  FResult = result;
  FStopped = true;
  FBinding.Reset();
  return S_OK;
}

HRESULT TDownloadCallback::OnDataAvailable(DWORD, DWORD, FORMATETC*, STGMEDIUM* medium) {
  if (medium == nullptr || medium->tymed != TYMED_ISTREAM || medium->pstm == nullptr) return S_OK;
  // Pulled data: read until the moniker has nothing more for now, or it stops coming.
  static thread_local std::vector<char> buffer(kReadPieceBytes);
  for (;;) {
    ULONG read = 0;
    const HRESULT result = medium->pstm->Read(buffer.data(), kReadPieceBytes, &read);
    if (read > 0) {
      FReceived += read;
      FLastActivity = ::GetTickCount64();
      // An error page's body is read and dropped; a failed write fails the transfer.
      if (!Failing()) {
        DWORD written = 0;
        if (!::WriteFile(FFile, buffer.data(), read, &written, nullptr) || written != read) FWriteFailed = true;
        if (!FWriteFailed && FOnData) FOnData(reinterpret_cast<const std::uint8_t*>(buffer.data()), read);
      }
    }
    if (result != S_OK || read == 0) break;
  }
  return FWriteFailed ? E_ABORT : S_OK;
}

HRESULT TDownloadCallback::OnObjectAvailable(REFIID, IUnknown*) { return S_OK; }

HRESULT TDownloadCallback::GetBindInfo(DWORD* flags, BINDINFO* info) {
  ::DeleteUrlCacheEntryW(ToWide(fUrl).c_str());
  // Bound asynchronously, so the calling thread keeps running its messages, with the
  // data pulled by us and nothing taken from or left in the URL cache.
  if (flags != nullptr) {
    *flags = BINDF_ASYNCHRONOUS | BINDF_ASYNCSTORAGE | BINDF_PULLDATA | BINDF_GETNEWESTVERSION | BINDF_NOWRITECACHE;
  }
  if (info != nullptr && info->cbSize >= sizeof(info->cbSize)) {
    const ULONG size = info->cbSize;
    std::memset(info, 0, size);
    info->cbSize = size;
    info->dwBindVerb = BINDVERB_GET;
  }
  return S_OK;
}

HRESULT TDownloadCallback::OnProgress(ULONG progress, ULONG total, ULONG statusCode, LPCWSTR statusText) {
  const auto status = static_cast<TDownloadStatus>(statusCode);
  // An error page's reports still go out (the fetch step logs the last status it saw);
  // only the end is kept back, below.
  if (FAborted || FWriteFailed || FCallbackError) return E_ABORT;
  try {
    if (status == TDownloadStatus::dsBegindownloaddata || status == TDownloadStatus::dsDownloadingdata) {
      if (static_cast<std::int32_t>(progress) > FProgress) FLastActivity = ::GetTickCount64();
      Forward(progress, total, statusCode);
      if (status == TDownloadStatus::dsBegindownloaddata && statusText != nullptr) ::DeleteUrlCacheEntryW(statusText);
    }
    // The end is reported by the caller once the whole body is in the file: the end of
    // an error page or of a body cut short is no finished download.
  } catch (...) {
    FCallbackError = std::current_exception();
    return E_ABORT;
  }
  return S_OK;
}

void TDownloadCallback::Forward(ULONG progress, ULONG total, ULONG statusCode) {
  FProgress = static_cast<std::int32_t>(progress);
  FTotal = static_cast<std::int32_t>(total);
  if (fCallBackFunction) fCallBackFunction(FProgress, FTotal, static_cast<TDownloadStatus>(statusCode));
}

HRESULT TDownloadCallback::BeginningTransaction(LPCWSTR, LPCWSTR, DWORD, LPWSTR* additionalHeaders) {
  if (additionalHeaders != nullptr) *additionalHeaders = nullptr;
  return S_OK;
}

HRESULT TDownloadCallback::OnResponse(DWORD responseCode, LPCWSTR, LPCWSTR, LPWSTR* additionalRequestHeaders) {
  if (additionalRequestHeaders != nullptr) *additionalRequestHeaders = nullptr;
  FHttpStatus = responseCode;
  return S_OK;
}

void DownloadUrlToFile(const std::u16string& url, const std::u16string& destination, const TCallBack& callback,
                       const std::function<bool()>& cancelled,
                       const std::function<void(const std::uint8_t*, std::size_t)>& onData) {
  const TComApartment apartment;  // COM for this thread for the length of the download
  SetLauncherUserAgent();
  const std::wstring target = ToWide(destination);
  const std::wstring part = target + L".part";
  TScopedHandle file(::CreateFileW(part.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                   nullptr));
  if (!file.Valid()) return;  // nowhere to write: a failed attempt, without reports

  TComPtr<TDownloadCallback> status(new TDownloadCallback(callback, url, file.Get(), onData));
  TComPtr<IMoniker> moniker;
  TComPtr<IBindCtx> context;
  HRESULT result = ::CreateURLMonikerEx(nullptr, ToWide(url).c_str(), moniker.Receive(), URL_MK_UNIFORM);
  if (SUCCEEDED(result)) result = ::CreateAsyncBindCtx(0, status.Get(), nullptr, context.Receive());
  if (SUCCEEDED(result)) {
    TComPtr<IStream> stream;
    result = moniker->BindToStorage(context.Get(), nullptr, IID_IStream, reinterpret_cast<void**>(stream.Receive()));
    if (SUCCEEDED(result)) WaitForEnd(*status.Get(), cancelled);
  }
  if (context) ::RevokeBindStatusCallback(context.Get(), status.Get());
  const bool whole = SUCCEEDED(result) && !status->TransferFailed() && !(cancelled && cancelled());
  status->Detach();
  file.Close();
  if (whole && ::MoveFileExW(part.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING)) {
    if (const auto error = status->CallbackError()) std::rethrow_exception(error);
    status->ReportEnd(callback);
    return;
  }
  ::DeleteFileW(part.c_str());
  if (const auto error = status->CallbackError()) std::rethrow_exception(error);
}

}  // namespace cvl
