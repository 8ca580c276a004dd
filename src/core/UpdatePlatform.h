// What the start-up sequence asks of the platform, besides the status window. The
// Windows layer implements it for real; native tests fake it.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "ConnectInfo.h"
#include "DownloadStatus.h"

namespace cvl {

class IUpdatePlatform {
 public:
  // Progress of one download: bytes so far, announced total (0 when unknown), status.
  using TProgress = std::function<void(std::int32_t, std::int32_t, TDownloadStatus)>;
  // Asked again and again while a long step waits: true when the run is to stop (the
  // window is closing). The step then ends as soon as it can and leaves nothing half done.
  using TCancelled = std::function<bool()>;

  virtual ~IUpdatePlatform() = default;

  // Downloads and files. A download returns when the transfer has ended: completed,
  // failed, silent for too long, or cancelled (its partial file removed). A failed or
  // silent transfer may keep what arrived, so that the next download of the same
  // destination only fetches the rest.
  virtual void DownloadUrlToFile(const std::u16string& url, const std::u16string& destination,
                                 const TProgress& progress, const TCancelled& cancelled) = 0;
  // Drops what unfinished downloads of the destination kept, once no attempt follows.
  virtual void DiscardPartialDownload(const std::u16string& destination) = 0;
  virtual bool FileExists(const std::u16string& path) = 0;
  virtual void RemoveFile(const std::u16string& path) = 0;  // a failed delete is ignored
  // Unpacks a ZIP archive into a folder, whole or not at all; raises on failure, and when
  // cancelled before the archive is in place (nothing of it applied then).
  virtual void ExtractZip(const std::u16string& archive, const std::u16string& directory,
                          const TCancelled& cancelled) = 0;
  // Finishes or undoes what an unpack into the folder left when its process died, and
  // removes its leftovers and the kept parts of unfinished downloads; never raises.
  virtual void RecoverInterruptedUnpack(const std::u16string& directory) = 0;

  // Processes. RunAndWait raises when the program cannot be started; when cancelled it
  // stops waiting and returns, leaving the program to finish by itself.
  virtual void RunAndWait(const std::u16string& commandLine, const TCancelled& cancelled) = 0;
  virtual bool RunProgram(const std::u16string& commandLine) = 0;
  // Starts the patch tool on the console runner; raises when it cannot be started. Its
  // end is reported later, on the main thread, to TUpdateSequence::cmdPatchTerminated.
  virtual void StartPatchTool(const std::u16string& applicationPath, const std::u16string& commandLine,
                              const std::u16string& currentDirectory) = 0;
  virtual void ChangeCurrentDirectory(const std::u16string& directory) = 0;

  // The server and the machine.
  // The server query: sets baseServerAdr, fills `info`; 1 or -1 (also when cancelled).
  virtual int QueryServerInfo(TConnectInfo& info, std::u16string& baseServerAdr, const TCancelled& cancelled) = 0;
  virtual bool WebView2Installed() = 0;

  // The configuration file's in-place edits; each raises "Unable to write to %s".
  virtual void ErasePreSection(const std::u16string& configFile) = 0;
  virtual void SavePatchVersion(const std::u16string& configFile, std::int32_t level) = 0;
  virtual void ClearLanguageUpdateFlag(const std::u16string& configFile) = 0;

  // Signed updates: whether this launcher carries update keys (then every downloaded
  // file must come with its detached signature), and the check of a downloaded file
  // against the signature downloaded beside it; false for an unreadable or wrong one.
  virtual bool SignaturesRequired() = 0;
  virtual bool SignatureCorrect(const std::u16string& filePath, const std::u16string& fileName,
                                const std::u16string& signaturePath) = 0;

  // The log beside the executable.
  virtual void WriteLog(const std::u16string& line) = 0;

  // The launch: resources written to disk, the per-launch temporary folder.
  virtual void WriteResource(const std::u16string& resourceName, const std::u16string& path) = 0;
  virtual std::u16string LongTempPath() = 0;  // ends in a backslash, or empty
  virtual std::u16string NewGuidText() = 0;   // "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}"
  virtual void ForceDirectories(const std::u16string& path) = 0;
};

}  // namespace cvl
