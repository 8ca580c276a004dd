#include "win32/DownloadFile.h"

#include <wininet.h>

#include <utility>

#include "core/ServerInfo.h"
#include "core/Text.h"
#include "win32/ComScoped.h"
#include "win32/MessagePump.h"
#include "win32/WinText.h"

namespace cvl {
namespace {

constexpr DWORD kUserAgentOption = 0x10000001;  // URLMON_OPTION_USERAGENT

// COM for the calling thread for the length of one download. A thread already in
// another apartment keeps it, and then there is nothing of ours to undo.
class TComApartment {
 public:
  TComApartment() : FResult(::CoInitialize(nullptr)) {}
  ~TComApartment() {
    if (SUCCEEDED(FResult)) ::CoUninitialize();
  }
  TComApartment(const TComApartment&) = delete;
  TComApartment& operator=(const TComApartment&) = delete;

 private:
  HRESULT FResult;
};

void SetLauncherUserAgent() {
  static const std::string agent = NarrowLatin1(LauncherUserAgent);
  ::UrlMkSetSessionOption(kUserAgentOption, const_cast<char*>(agent.data()), static_cast<DWORD>(agent.size()), 0);
}

// The file exists only after a whole, successful transfer.
void RemoveUnlessWhole(const std::wstring& destination, bool failed, std::int32_t total) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!::GetFileAttributesExW(destination.c_str(), GetFileExInfoStandard, &data)) return;
  const unsigned long long size = (static_cast<unsigned long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
  if (failed || (total > 0 && size != static_cast<unsigned long long>(total))) ::DeleteFileW(destination.c_str());
}

}  // namespace

TDownloadCallback::TDownloadCallback(TCallBack aCallBackFunction, std::u16string url, std::function<bool()> cancelled)
    : fUrl(std::move(url)), fCallBackFunction(std::move(aCallBackFunction)), FCancelled(std::move(cancelled)) {}

bool TDownloadCallback::TransferFailed() const {
  return FHttpStatus >= 400 || FShortBody || FCallbackError != nullptr || FAborted;
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

HRESULT TDownloadCallback::OnStartBinding(DWORD, IBinding*) { return S_OK; }
HRESULT TDownloadCallback::GetPriority(LONG*) { return S_OK; }
HRESULT TDownloadCallback::OnLowResource(DWORD) { return S_OK; }
HRESULT TDownloadCallback::OnStopBinding(HRESULT, LPCWSTR) { return S_OK; }
HRESULT TDownloadCallback::OnDataAvailable(DWORD, DWORD, FORMATETC*, STGMEDIUM*) { return S_OK; }
HRESULT TDownloadCallback::OnObjectAvailable(REFIID, IUnknown*) { return S_OK; }

HRESULT TDownloadCallback::GetBindInfo(DWORD*, BINDINFO*) {
  ::DeleteUrlCacheEntryW(ToWide(fUrl).c_str());
  return S_OK;
}

HRESULT TDownloadCallback::OnProgress(ULONG progress, ULONG total, ULONG statusCode, LPCWSTR statusText) {
  const auto status = static_cast<TDownloadStatus>(statusCode);
  if (FCallbackError || FAborted) return E_ABORT;
  if (FCancelled && FCancelled()) {
    FAborted = true;
    return E_ABORT;
  }
  try {
    if (status == TDownloadStatus::dsBegindownloaddata) {
      Forward(progress, total, statusCode);
      if (statusText != nullptr) ::DeleteUrlCacheEntryW(statusText);
    } else if (status == TDownloadStatus::dsDownloadingdata) {
      Forward(progress, total, statusCode);
    } else if (status == TDownloadStatus::dsEnddownloaddata) {
      // The end of an error page or of a body cut short is no finished download.
      FShortBody = total > 0 && progress < total;
      if (!TransferFailed()) Forward(progress, total, statusCode);
    }
    ProcessMessages();
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
                       const std::function<bool()>& cancelled) {
  TComApartment apartment;
  TComPtr<TDownloadCallback> status(new TDownloadCallback(callback, url, cancelled));
  SetLauncherUserAgent();
  const std::wstring target = ToWide(destination);
  const HRESULT result = ::URLDownloadToFileW(nullptr, ToWide(url).c_str(), target.c_str(), 0,
                                              static_cast<IBindStatusCallback*>(status.Get()));
  RemoveUnlessWhole(target, FAILED(result) || status->TransferFailed(), status->AnnouncedTotal());
  if (const auto error = status->CallbackError()) std::rethrow_exception(error);
}

}  // namespace cvl
