#include "win32/platform/Win32UpdatePlatform.h"

#include <windows.h>

#include <atomic>
#include <exception>
#include <thread>

#include "core/Exception.h"
#include "core/SystemErrors.h"
#include "core/Text.h"
#include "core/UpdateSignature.h"
#include "core/ZipExtract.h"
#include "win32/base/MessagePump.h"
#include "win32/base/ScopedHandle.h"
#include "win32/base/SystemError.h"
#include "win32/base/WinText.h"
#include "win32/files/FileWrite.h"
#include "win32/files/LaunchFiles.h"
#include "win32/files/LogFile.h"
#include "win32/files/ProfileFile.h"
#include "win32/files/Resources.h"
#include "win32/files/WebView2Probe.h"
#include "win32/net/DownloadFile.h"
#include "win32/net/HttpQuery.h"
#include "win32/process/Common.h"
#include "win32/process/DosCommand.h"

namespace cvl {
namespace {

// How often a wait looks at the caller's wish to stop.
constexpr DWORD kWaitSliceMs = 50;

}  // namespace

void TWin32UpdatePlatform::DownloadUrlToFile(const std::u16string& url, const std::u16string& destination,
                                             const TProgress& progress, const TCancelled& cancelled) {
  FDigests.erase(destination);
  // Every download may continue what an earlier attempt of the same file kept.
  if (!FSignatures.KeysEmbedded()) {
    cvl::DownloadUrlToFile(url, destination, progress, cancelled, {}, true);
    return;
  }
  // The name is signed as the server knows it: the destination's last part.
  const std::string name = Utf16ToUtf8(destination.substr(destination.find_last_of(u'\\') + 1));
  // Hashed beside the transfer, on another core; the digest is ready soon after the end.
  TBackgroundSignedDigest digest(name);
  const bool continued =
      cvl::DownloadUrlToFile(url, destination, progress, cancelled,
                             [&digest](const std::uint8_t* data, std::size_t size) { digest.Update(data, size); }, true);
  // A continued file's digest saw only this attempt's bytes: its check reads the file.
  if (!continued) FDigests[destination] = digest.Finish();
}

void TWin32UpdatePlatform::DiscardPartialDownload(const std::u16string& destination) {
  cvl::DiscardPartialDownload(destination);
}

bool TWin32UpdatePlatform::FileExists(const std::u16string& path) { return FileExistsFollowingLinks(path); }

void TWin32UpdatePlatform::RemoveFile(const std::u16string& path) { ::DeleteFileW(ToWide(path).c_str()); }

void TWin32UpdatePlatform::ExtractZip(const std::u16string& archive, const std::u16string& directory,
                                      const TCancelled& cancelled) {
  // Unpacked on a thread of its own while this one keeps the window's messages running:
  // the window paints, and a close stops the unpack before anything of it is in place.
  // An empty base directory means the current one.
  const std::u16string target = directory.empty() ? u"." : directory;
  std::atomic<bool> cancel{false};
  std::exception_ptr error;
  TScopedHandle done(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  if (!done) throw EOSError(::GetLastError());
  std::thread worker([&] {
    try {
      ExtractZipArchive(archive, target, &cancel);
    } catch (...) {
      error = std::current_exception();
    }
    ::SetEvent(done.Get());
  });
  const HANDLE handle = done.Get();
  while (::MsgWaitForMultipleObjectsEx(1, &handle, kWaitSliceMs, QS_ALLINPUT, MWMO_INPUTAVAILABLE) != WAIT_OBJECT_0) {
    ProcessMessages();
    if (!cancel && cancelled && cancelled()) cancel = true;
  }
  worker.join();
  if (error) std::rethrow_exception(error);
}

void TWin32UpdatePlatform::RecoverInterruptedUnpack(const std::u16string& directory) {
  cvl::RecoverInterruptedUnpack(directory);
  // Parts kept by downloads of a run that ended before their fetch did.
  const std::wstring folder = directory.empty() ? L".\\" : ToWide(directory);
  WIN32_FIND_DATAW found{};
  TScopedFindHandle search(::FindFirstFileW((folder + L"*.part").c_str(), &found));
  if (!search.Valid()) return;
  do {
    if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) ::DeleteFileW((folder + found.cFileName).c_str());
  } while (::FindNextFileW(search.Get(), &found));
}

void TWin32UpdatePlatform::RunAndWait(const std::u16string& commandLine, const TCancelled& cancelled) {
  cvl::RunAndWait(commandLine, cancelled);
}

bool TWin32UpdatePlatform::RunProgram(const std::u16string& commandLine) { return cvl::RunProgram(commandLine); }

void TWin32UpdatePlatform::StartPatchTool(const std::u16string& applicationPath, const std::u16string& commandLine,
                                          const std::u16string& currentDirectory) {
  FCmdPatch.ApplicationName = applicationPath;
  FCmdPatch.CurrentDir = currentDirectory;
  FCmdPatch.CommandLine = commandLine;
  FCmdPatch.Execute();
}

void TWin32UpdatePlatform::ChangeCurrentDirectory(const std::u16string& directory) {
  if (directory.empty()) return;  // no base directory: stay where the launcher started
  if (!::SetCurrentDirectoryW(ToWide(directory).c_str())) {
    const DWORD code = ::GetLastError();
    throw Exception("EInOutError", SystemErrorMessage(code));
  }
}

int TWin32UpdatePlatform::QueryServerInfo(TConnectInfo& info, std::u16string& baseServerAdr,
                                          const TCancelled& cancelled) {
  return cvl::QueryServerInfo(info, baseServerAdr, cancelled);
}

bool TWin32UpdatePlatform::WebView2Installed() { return cvl::WebView2Installed(); }

void TWin32UpdatePlatform::ErasePreSection(const std::u16string& configFile) { cvl::ErasePreSection(configFile); }

void TWin32UpdatePlatform::SavePatchVersion(const std::u16string& configFile, std::int32_t level) {
  cvl::SavePatchVersion(configFile, level);
}

void TWin32UpdatePlatform::ClearLanguageUpdateFlag(const std::u16string& configFile) {
  cvl::ClearLanguageUpdateFlag(configFile);
}

bool TWin32UpdatePlatform::SignaturesRequired() { return FSignatures.KeysEmbedded(); }

bool TWin32UpdatePlatform::SignatureCorrect(const std::u16string& filePath, const std::u16string& fileName,
                                            const std::u16string& signaturePath) {
  const auto taken = FDigests.find(filePath);
  if (taken == FDigests.end()) return FSignatures.VerifyDownloadedFile(filePath, fileName, signaturePath);
  const TSha256Digest digest = taken->second;
  FDigests.erase(taken);
  return FSignatures.VerifyDigest(digest, signaturePath);
}

void TWin32UpdatePlatform::WriteLog(const std::u16string& line) { cvl::WriteLog(line); }

void TWin32UpdatePlatform::WriteResource(const std::u16string& resourceName, const std::u16string& path) {
  const std::string bytes = LoadResourceBytes(ToWide(resourceName).c_str(), RT_RCDATA);
  WriteFileAtomically(path, bytes);
}

std::u16string TWin32UpdatePlatform::LongTempPath() { return cvl::LongTempPath(); }

std::u16string TWin32UpdatePlatform::NewGuidText() { return cvl::NewGuidText(); }

void TWin32UpdatePlatform::ForceDirectories(const std::u16string& path) { cvl::ForceDirectories(path); }

}  // namespace cvl
