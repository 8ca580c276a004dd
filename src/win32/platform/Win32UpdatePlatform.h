// The start-up sequence's platform on Windows: downloads through the URL moniker, the
// ZIP extractor, processes, the patch tool on the window's console runner, the server
// query over WinHTTP, the registry, the configuration file's edits, the log and the
// program's own resources.
#pragma once

#include <map>
#include <string>

#include "core/UpdatePlatform.h"
#include "core/UpdateSignatures.h"

namespace cvl {

class TDosCommand;

class TWin32UpdatePlatform final : public IUpdatePlatform {
 public:
  // cmdPatch is the window's runner for the patch tool; its OnTerminated is the window's.
  // `signatures` checks downloads when the launcher carries update keys.
  TWin32UpdatePlatform(TDosCommand& cmdPatch, IUpdateSignatures& signatures)
      : FCmdPatch(cmdPatch), FSignatures(signatures) {}

  void DiscardPartialDownload(const std::u16string& destination) override;
  void DownloadUrlToFile(const std::u16string& url, const std::u16string& destination,
                         const TProgress& progress, const TCancelled& cancelled) override;
  bool FileExists(const std::u16string& path) override;
  void RemoveFile(const std::u16string& path) override;
  void ExtractZip(const std::u16string& archive, const std::u16string& directory,
                  const TCancelled& cancelled) override;
  void RunAndWait(const std::u16string& commandLine, const TCancelled& cancelled) override;
  void RecoverInterruptedUnpack(const std::u16string& directory) override;
  bool RunProgram(const std::u16string& commandLine) override;
  void StartPatchTool(const std::u16string& applicationPath, const std::u16string& commandLine,
                      const std::u16string& currentDirectory) override;
  void ChangeCurrentDirectory(const std::u16string& directory) override;
  int QueryServerInfo(TConnectInfo& info, std::u16string& baseServerAdr, const TCancelled& cancelled) override;
  bool WebView2Installed() override;
  void ErasePreSection(const std::u16string& configFile) override;
  void SavePatchVersion(const std::u16string& configFile, std::int32_t level) override;
  void ClearLanguageUpdateFlag(const std::u16string& configFile) override;
  bool SignaturesRequired() override;
  bool SignatureCorrect(const std::u16string& filePath, const std::u16string& fileName,
                        const std::u16string& signaturePath) override;
  void WriteLog(const std::u16string& line) override;
  void WriteResource(const std::u16string& resourceName, const std::u16string& path) override;
  std::u16string LongTempPath() override;
  std::u16string NewGuidText() override;
  void ForceDirectories(const std::u16string& path) override;

 private:
  TDosCommand& FCmdPatch;
  IUpdateSignatures& FSignatures;
  // The signed message's digest of each file, taken as it downloaded, so that checking
  // its signature does not read it again.
  std::map<std::u16string, TSha256Digest> FDigests;
};

}  // namespace cvl
