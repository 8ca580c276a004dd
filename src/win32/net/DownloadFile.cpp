#include "win32/net/DownloadFile.h"

#include <wininet.h>

#include <cstring>
#include <cwctype>
#include <map>
#include <mutex>
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

// The value of the header `name` among the answer's lines, or empty.
std::wstring HeaderValue(const std::wstring& lines, std::wstring_view name) {
  std::size_t start = 0;
  while (start < lines.size()) {
    std::size_t end = lines.find(L"\r\n", start);
    if (end == std::wstring::npos) end = lines.size();
    const std::wstring_view line(lines.data() + start, end - start);
    if (line.size() > name.size() && line[name.size()] == L':') {
      bool same = true;
      for (std::size_t i = 0; i < name.size() && same; ++i) same = std::towlower(line[i]) == std::towlower(name[i]);
      if (same) {
        std::wstring_view value = line.substr(name.size() + 1);
        while (!value.empty() && (value.front() == L' ' || value.front() == L'\t')) value.remove_prefix(1);
        while (!value.empty() && (value.back() == L' ' || value.back() == L'\t')) value.remove_suffix(1);
        return std::wstring(value);
      }
    }
    start = end + 2;
  }
  return {};
}

// The first byte's offset of a "bytes FIRST-LAST/SIZE" range, or -1.
std::int64_t RangeStart(const std::wstring& contentRange) {
  constexpr std::wstring_view unit = L"bytes ";
  if (contentRange.compare(0, unit.size(), unit) != 0) return -1;
  std::int64_t value = 0;
  std::size_t i = unit.size();
  if (i >= contentRange.size() || !std::iswdigit(contentRange[i])) return -1;
  for (; i < contentRange.size() && std::iswdigit(contentRange[i]); ++i) {
    if (value > (INT64_MAX - 9) / 10) return -1;
    value = value * 10 + (contentRange[i] - L'0');
  }
  return i < contentRange.size() && contentRange[i] == L'-' ? value : -1;
}

// The validators of the parts kept by unfinished resumable downloads, by destination.
std::mutex gKeptLock;
std::map<std::wstring, std::wstring> gKeptValidators;

std::wstring TakeKeptValidator(const std::wstring& target) {
  const std::lock_guard<std::mutex> lock(gKeptLock);
  const auto found = gKeptValidators.find(target);
  if (found == gKeptValidators.end()) return {};
  std::wstring validator = std::move(found->second);
  gKeptValidators.erase(found);
  return validator;
}

void KeepValidator(const std::wstring& target, std::wstring validator) {
  const std::lock_guard<std::mutex> lock(gKeptLock);
  gKeptValidators[target] = std::move(validator);
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
  return FHttpStatus >= 400 || FWrongRange || FWriteFailed || FAborted || FCallbackError != nullptr;
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
  const auto received = static_cast<std::int32_t>(FOffset + FReceived);
  const auto total = FTotal > 0 ? static_cast<std::int32_t>(FOffset + FTotal) : FTotal;
  if (callback) callback(received, total, TDownloadStatus::dsEnddownloaddata);
}

std::wstring TDownloadCallback::Validator() const {
  std::wstring validator = HeaderValue(FResponseHeaders, L"ETag");
  return validator.empty() ? HeaderValue(FResponseHeaders, L"Last-Modified") : validator;
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
  // A continued file is reported as the whole file: the bytes kept count as arrived.
  const auto shown = static_cast<std::int32_t>(FOffset + FProgress);
  const auto shownTotal = FTotal > 0 ? static_cast<std::int32_t>(FOffset + FTotal) : FTotal;
  if (fCallBackFunction) fCallBackFunction(shown, shownTotal, static_cast<TDownloadStatus>(statusCode));
}

HRESULT TDownloadCallback::BeginningTransaction(LPCWSTR, LPCWSTR, DWORD, LPWSTR* additionalHeaders) {
  if (additionalHeaders == nullptr) return S_OK;
  *additionalHeaders = nullptr;
  if (FRequestHeaders.empty()) return S_OK;
  // The moniker frees the lines with CoTaskMemFree.
  const std::size_t bytes = (FRequestHeaders.size() + 1) * sizeof(wchar_t);
  auto* lines = static_cast<LPWSTR>(::CoTaskMemAlloc(bytes));
  if (lines == nullptr) return E_OUTOFMEMORY;
  std::memcpy(lines, FRequestHeaders.c_str(), bytes);
  *additionalHeaders = lines;
  return S_OK;
}

HRESULT TDownloadCallback::OnResponse(DWORD responseCode, LPCWSTR responseHeaders, LPCWSTR,
                                      LPWSTR* additionalRequestHeaders) {
  if (additionalRequestHeaders != nullptr) *additionalRequestHeaders = nullptr;
  FHttpStatus = responseCode;
  FResponseHeaders = responseHeaders != nullptr ? responseHeaders : L"";
  if (FOffset > 0 && responseCode == 200) {
    // The whole file instead of the rest: it replaces what was kept.
    LARGE_INTEGER zero{};
    if (!::SetFilePointerEx(FFile, zero, nullptr, FILE_BEGIN) || !::SetEndOfFile(FFile)) FWriteFailed = true;
    FOffset = 0;
  } else if (responseCode == 206 && (FOffset == 0 || RangeStart(HeaderValue(FResponseHeaders, L"Content-Range")) != FOffset)) {
    FWrongRange = true;  // a range that does not continue the file
  }
  return S_OK;
}

std::u16string PartialDownloadPath(const std::u16string& destination) { return destination + u".part"; }

void DiscardPartialDownload(const std::u16string& destination) {
  const std::wstring target = ToWide(destination);
  TakeKeptValidator(target);
  ::DeleteFileW(ToWide(PartialDownloadPath(destination)).c_str());
}

bool DownloadUrlToFile(const std::u16string& url, const std::u16string& destination, const TCallBack& callback,
                       const std::function<bool()>& cancelled,
                       const std::function<void(const std::uint8_t*, std::size_t)>& onData, bool resumable) {
  const TComApartment apartment;  // COM for this thread for the length of the download
  SetLauncherUserAgent();
  const std::wstring target = ToWide(destination);
  const std::wstring part = ToWide(PartialDownloadPath(destination));
  // A part kept by an earlier attempt is continued only with the validator it came with.
  const std::wstring validator = resumable ? TakeKeptValidator(target) : std::wstring();
  std::int64_t kept = 0;
  TScopedHandle file;
  if (!validator.empty()) {
    file = TScopedHandle(::CreateFileW(part.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                                       nullptr));
    LARGE_INTEGER size{};
    if (file.Valid() && ::GetFileSizeEx(file.Get(), &size) && ::SetFilePointerEx(file.Get(), {}, nullptr, FILE_END)) {
      kept = size.QuadPart;
    }
  }
  if (kept <= 0) {
    file.Close();
    file = TScopedHandle(::CreateFileW(part.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                       nullptr));
    kept = 0;
  }
  if (!file.Valid()) return false;  // nowhere to write: a failed attempt, without reports

  TComPtr<TDownloadCallback> status(new TDownloadCallback(callback, url, file.Get(), onData));
  if (kept > 0) {
    status->ResumeFrom(kept);
    status->SetRequestHeaders(L"Range: bytes=" + std::to_wstring(kept) + L"-\r\nIf-Range: " + validator + L"\r\n");
  }
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
  const bool stopped = cancelled && cancelled();
  const bool whole = SUCCEEDED(result) && !status->TransferFailed() && !stopped;
  status->Detach();
  LARGE_INTEGER partSize{};
  const bool partFilled = ::GetFileSizeEx(file.Get(), &partSize) && partSize.QuadPart > 0;
  file.Close();
  if (whole && ::MoveFileExW(part.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING)) {
    if (const auto error = status->CallbackError()) std::rethrow_exception(error);
    status->ReportEnd(callback);
    return status->Continued();
  }
  // Part of the file arrived with a validator to ask for the rest by: kept for the next
  // attempt, unless the caller stopped or the answer did not fit the part.
  const bool answered = status->HttpStatus() == 200 || status->HttpStatus() == 206;
  const std::wstring nextValidator = answered ? status->Validator() : std::wstring();
  if (resumable && !whole && !stopped && partFilled && answered && !status->WrongRange() && !nextValidator.empty() &&
      status->CallbackError() == nullptr) {
    KeepValidator(target, nextValidator);
  } else {
    ::DeleteFileW(part.c_str());
  }
  if (const auto error = status->CallbackError()) std::rethrow_exception(error);
  return false;
}

}  // namespace cvl
