// release: the next numbered patch from a new client folder, published in the one order
// that never shows a player a level whose archive is missing.
//
// Everything that can refuse the release is decided before the first write. Then:
// the archive is written beside its name; the manifest of the new release is written as
// "<settings>.manifest-next"; the archive is moved into place; "patchVersion" is raised
// in the settings; the info answer is remade from them; and last the new manifest takes
// the old one's place. A run that stops anywhere leaves the published level as it was
// (the info answer still names the old level) or complete; the next run finishes a
// release whose settings were already raised, and drops one whose settings were not.
#include <chrono>
#include <cstdio>
#include <memory>
#include <optional>
#include <string_view>

#include "ClientFolder.h"
#include "Commands.h"
#include "MakeInfo.h"
#include "ReleaseArchive.h"
#include "ReleaseFiles.h"
#include "ReleaseManifest.h"
#include "ServerFolders.h"
#include "SignedFiles.h"
#include "StagedFile.h"
#include "ToolSupport.h"
#include "ZipWriter.h"
#include "core/ConnectInfo.h"
#include "core/JsonText.h"
#include "core/ServerInfo.h"
#include "core/Text.h"

namespace cvl {
namespace {

constexpr std::string_view kReleaseUsage =
    "usage: cvlctl release --settings SETTINGS.json --root SERVER_ROOT [--key update-key.pem]\n"
    "                      [--from OLD_CLIENT_FOLDER] CLIENT_FOLDER\n"
    "\n"
    "Publishes what changed in CLIENT_FOLDER since the last release as the next numbered patch.\n"
    "  SETTINGS.json  the settings make-info reads; its \"patchVersion\" N is the published level\n"
    "  SERVER_ROOT    the folder the web server serves: the patch folder that \"download_path\"\n"
    "                 names lies below it, and the info answer at outgame/info\n"
    "  --key KEY      sign the archive with the update key (patch_<N+1>.zip.sig beside it, as\n"
    "                 cvlctl sign writes it); needed once the published patches are signed\n"
    "  --from OLD     compare with the client folder OLD as of patch N instead of the manifest\n"
    "                 of the last release (for the first release with this command after\n"
    "                 patches made by hand)\n"
    "Files added or changed since the last release (by path, size and SHA-256, against the\n"
    "manifest kept as SETTINGS.json.manifest) go into patch_<N+1>.zip, deflated, in a fixed\n"
    "order with fixed times: the same files always give the same archive. Only then is\n"
    "\"patchVersion\" raised to N+1 in SETTINGS.json, outgame/info remade as make-info makes it,\n"
    "and last the manifest written. Every file is written beside its name and moved over it:\n"
    "an interrupted release leaves the published level as it was or complete, and the next\n"
    "run puts it right. Nothing changed: nothing is written. Files gone from the client are\n"
    "listed as a warning (an archive cannot remove them; the patch tool does).\n"
    "Refused before anything is written: a symbolic link or junction in CLIENT_FOLDER, a name\n"
    "the launcher's extractor refuses or Windows would change, two names that differ only in\n"
    "letter case, a path longer than 199 characters (Windows' MAX_PATH less room for the\n"
    "player's client folder), and a \"download_path\" that names no folder under SERVER_ROOT.\n";

constexpr std::u16string_view kProbeServer = u"http://127.0.0.1:8080";

struct TReleaseArgs {
  std::string Settings;
  std::string Root;
  std::optional<std::string> Key;
  std::optional<std::string> From;
  std::string Client;
};

TReleaseArgs ParseArgs(const std::vector<std::u16string>& args) {
  std::optional<std::string> settings, root, key, from, client;
  for (std::size_t i = 1; i < args.size(); ++i) {
    auto value = [&](std::optional<std::string>& into) {
      if (i + 1 >= args.size()) throw EUsage(args[i] + u" needs a value");
      if (into) throw EUsage(args[i] + u" given twice");
      into = PathArgument(args[++i]);
    };
    if (args[i] == u"--settings") {
      value(settings);
    } else if (args[i] == u"--root") {
      value(root);
    } else if (args[i] == u"--key") {
      value(key);
    } else if (args[i] == u"--from") {
      value(from);
    } else if (args[i].size() > 1 && args[i][0] == u'-') {
      throw EUsage(u"unknown option " + Quoted(args[i]));
    } else if (client) {
      throw EUsage(u"more than one CLIENT_FOLDER given");
    } else {
      client = PathArgument(args[i]);
    }
  }
  if (!settings) throw EUsage(u"--settings SETTINGS.json is missing");
  if (!root) throw EUsage(u"--root SERVER_ROOT is missing");
  if (!client) throw EUsage(u"CLIENT_FOLDER is missing");
  return {*settings, *root, key, from, *client};
}

// The answer as the launcher decodes it.
TConnectInfo Decoded(const std::string& answer) {
  TConnectInfo info;
  if (DecodeServerInfo(Utf8ToUtf16(answer), kProbeServer, info) != 1) {
    throw EBadInput(u"the launcher would not read the info answer");  // a guard: make-info checked every value
  }
  return info;
}

std::string SizeText(std::uint64_t bytes) {
  char text[64];
  std::snprintf(text, sizeof text, "%llu bytes (%.1f MB)", static_cast<unsigned long long>(bytes), bytes / 1e6);
  return text;
}

// Every folder from the root down to `folder` must be a folder (or missing, to be made).
void RequireFolderPath(const std::string& root, const std::string& folder) {
  if (KindOfTarget(root) != TFileKind::Folder) throw EBadInput(u"SERVER_ROOT " + ShownPath(root) + u" is no folder");
  std::size_t at = root.size();
  while (at < folder.size()) {
    std::size_t next = folder.find('/', at + 1);
    if (next == std::string::npos) next = folder.size();
    const std::string part = folder.substr(0, next);
    const TFileKind kind = KindOfTarget(part);
    if (kind != TFileKind::Folder && kind != TFileKind::Missing) throw EBadInput(ShownPath(part) + u" is no folder");
    at = next;
  }
}

void MakeFolders(const std::string& root, const std::string& folder) {
  std::size_t at = root.size();
  while (at < folder.size()) {
    std::size_t next = folder.find('/', at + 1);
    if (next == std::string::npos) next = folder.size();
    MakeFolder(folder.substr(0, next));
    at = next;
  }
}

class TStagedSink : public IZipSink {
 public:
  explicit TStagedSink(TStagedFile& file) : FFile(file) {}
  void Write(std::string_view bytes) override { FFile.Write(bytes); }
  void WriteAt(std::uint64_t offset, std::string_view bytes) override { FFile.WriteAt(offset, bytes); }

 private:
  TStagedFile& FFile;
};

// What the settings say and what a release of the next level writes into them.
struct TSettingsState {
  std::string Bytes;
  std::int32_t Level = 0;
  std::string PatchFolder;
  std::string NextBytes;   // patchVersion raised by one
  std::string NextAnswer;  // the info answer of NextBytes
};

TSettingsState ReadSettingsState(const TReleaseArgs& args) {
  const std::u16string name = Utf8ToUtf16(args.Settings);
  const auto bytes = ReadSmallFile(args.Settings);
  if (!bytes) throw EBadInput(u"cannot read " + ShownPath(args.Settings));
  TSettingsState state;
  state.Bytes = *bytes;
  const TConnectInfo info = Decoded(InfoAnswerOf(state.Bytes, name));
  state.Level = info.PatchVersion;
  if (state.Level < 0) throw EBadInput(u"'patchVersion' is negative in " + ShownPath(args.Settings));
  if (state.Level == INT32_MAX) throw EBadInput(u"'patchVersion' is at its highest value; no further patch can be numbered");
  std::u16string downloadPath;
  try {
    downloadPath = PatchDownloadPath(info.PatchList);
  } catch (const EJSONException&) {
    throw EBadInput(u"'patch' in " + ShownPath(args.Settings) + u" has no \"download_path\"");
  }
  state.PatchFolder = PatchFolderOf(args.Root, downloadPath);
  RequireFolderPath(args.Root, state.PatchFolder);
  RequireFolderPath(args.Root, InfoAnswerPath(args.Root).substr(0, InfoAnswerPath(args.Root).rfind('/')));
  state.NextBytes = WithPatchVersion(state.Bytes, state.Level + 1, name);
  state.NextAnswer = InfoAnswerOf(state.NextBytes, name);
  if (Decoded(state.NextAnswer).PatchVersion != state.Level + 1) {
    throw EBadInput(u"'patchVersion' in " + ShownPath(args.Settings) + u" cannot be raised in place");
  }
  return state;
}

std::optional<TReleaseManifest> ReadManifest(const std::string& path) {
  const auto text = ReadSmallFile(path);
  if (!text) return std::nullopt;
  return ParseManifest(*text, Utf8ToUtf16(path));
}

// The files of a folder as a manifest without digests (they are read when needed).
TReleaseManifest ListedManifest(const std::string& folder, std::int32_t level) {
  TReleaseManifest manifest;
  manifest.Level = level;
  for (const TClientFile& file : ScanClientFolder(folder).Files) manifest.Files.push_back({file.Path, file.Size, {}});
  return manifest;
}

enum class TChange { Added, Changed, Unchanged };

class TRelease {
 public:
  TRelease(TReleaseArgs args, const TToolIo& io) : FArgs(std::move(args)), FIo(io) {}

  int Run() {
    const auto start = std::chrono::steady_clock::now();
    for (const auto& [path, what] : {std::pair{FArgs.Settings, u"SETTINGS.json"}, std::pair{FArgs.Root, u"SERVER_ROOT"}}) {
      if (IsInside(path, FArgs.Client)) {
        throw EBadInput(std::u16string(what) + u" " + ShownPath(path) + u" lies inside CLIENT_FOLDER " +
                        ShownPath(FArgs.Client) + u": the release's own files would go into the next patch");
      }
    }
    FSettings = ReadSettingsState(FArgs);
    CheckSigning();
    const TClientFolder client = ScanClientFolder(FArgs.Client);
    if (!client.Refusals.empty()) {
      for (const std::u16string& refusal : client.Refusals) FIo.Err(Utf16ToUtf8(u"cvlctl: " + refusal + u"\n"));
      FIo.Err("cvlctl: nothing was written: the launcher could not apply " + FArgs.Client + " whole (" +
              std::to_string(client.Refusals.size()) + " problem(s) above)\n");
      return 1;
    }
    DecideBase();
    Compare(client);

    // From here on, files are written.
    RemoveLeftovers();
    if (FFinishLevel) FinishInterruptedRelease();
    if (FDropPending) DropUnpublishedRelease();
    std::size_t changes = 0;
    for (const TChange change : FChanges) changes += change != TChange::Unchanged ? 1 : 0;
    ReportRemoved();
    if (changes == 0) {
      FIo.Out("nothing changed in " + FArgs.Client + " since patch " + std::to_string(FSettings.Level) +
              ": no archive written, nothing rewritten (" + Seconds(start) + ")\n");
      return 0;
    }
    Publish(client);
    FIo.Out("published patch " + std::to_string(FSettings.Level + 1) + " in " + Seconds(start) + ": " +
            FArchivePath + ", patchVersion " + std::to_string(FSettings.Level + 1) + " in " + FArgs.Settings +
            ", " + InfoAnswerPath(FArgs.Root) + ", manifest " + ManifestPathFor(FArgs.Settings) + "\n");
    return 0;
  }

 private:
  static std::string Seconds(std::chrono::steady_clock::time_point start) {
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    char text[32];
    std::snprintf(text, sizeof text, "%.2f s", seconds);
    return text;
  }

  // A launcher built with the update key refuses every file without a good signature:
  // once the published patches are signed, so must the next one be.
  void CheckSigning() {
    const std::string latest = JoinPath(FSettings.PatchFolder, PatchArchiveName(FSettings.Level));
    if (!FArgs.Key) {
      if (FSettings.Level > 0 && KindOf(SignaturePathOf(latest)) == TFileKind::File) {
        throw EBadInput(ShownPath(latest) + u" is signed, but no --key is given: a launcher built with the update key "
                                            u"would refuse the unsigned patch " + IntToText(FSettings.Level + 1));
      }
      return;
    }
    FKey = ReadPrivateKeyFile(*FArgs.Key);
    for (std::int32_t level = 1; level <= FSettings.Level; ++level) {
      const std::string archive = JoinPath(FSettings.PatchFolder, PatchArchiveName(level));
      if (KindOf(archive) == TFileKind::File && KindOf(SignaturePathOf(archive)) != TFileKind::File) {
        FIo.Err("cvlctl: warning: " + archive + " has no signature: a launcher built with the update key cannot "
                "fetch it (sign it with cvlctl sign --key)\n");
      }
    }
  }

  // What the new client folder is compared with, and what an earlier run left to finish.
  void DecideBase() {
    const std::string manifestPath = ManifestPathFor(FArgs.Settings);
    const std::optional<TReleaseManifest> manifest = ReadManifest(manifestPath);
    const std::optional<TReleaseManifest> pending = ReadManifest(PendingManifestPathFor(FArgs.Settings));
    const std::int32_t level = FSettings.Level;
    if (pending && pending->Level == level && level > 0 && (!manifest || manifest->Level == level - 1) &&
        KindOf(JoinPath(FSettings.PatchFolder, PatchArchiveName(level))) == TFileKind::File) {
      // Stopped after raising the settings: the release of `level` is published but for
      // the info answer and the manifest.
      FFinishLevel = true;
    } else if (pending) {
      FDropPending = true;
      FDropArchive = pending->Level == level + 1;
    }
    if (FArgs.From) {
      FBase = ListedManifest(*FArgs.From, level);
      FBaseHashed = false;
      FBaseName = "the client folder " + *FArgs.From;
    } else if (FFinishLevel) {
      FBase = *pending;
      FBaseName = "the release of patch " + std::to_string(level);
    } else if (manifest) {
      if (manifest->Level != level) {
        const std::u16string mismatch = Utf8ToUtf16(manifestPath) + u" is the manifest of patch " +
                                        IntToText(manifest->Level) + u", but " + Utf8ToUtf16(FArgs.Settings) +
                                        u" publishes patch " + IntToText(level);
        if (level == 0) throw EBadInput(mismatch + u": remove the manifest to start again from an empty client");
        throw EBadInput(mismatch + u": patches were published without release. Give --from with the client folder "
                                   u"as of patch " + IntToText(level));
      }
      FBase = *manifest;
      FBaseName = "the release of patch " + std::to_string(level);
    } else if (level == 0) {
      FBaseName = "an empty client (no patch published yet)";
    } else {
      throw EBadInput(u"no manifest of an earlier release (" + Utf8ToUtf16(manifestPath) + u"), but " +
                      Utf8ToUtf16(FArgs.Settings) + u" publishes patch " + IntToText(level) +
                      u": give --from with the client folder as of patch " + IntToText(level));
    }
  }

  // Sorts every file of the client into added, changed or unchanged, reading only the
  // files whose size leaves the question open.
  void Compare(const TClientFolder& client) {
    std::vector<TArchiveSource> candidates, baseCandidates;
    std::vector<std::size_t> candidateIndex;
    FChanges.assign(client.Files.size(), TChange::Added);
    FDigests.assign(client.Files.size(), {});
    for (std::size_t i = 0; i < client.Files.size(); ++i) {
      const TClientFile& file = client.Files[i];
      const TManifestFile* before = FBase.Find(file.Path);
      if (before == nullptr) continue;
      if (before->Size != file.Size) {
        FChanges[i] = TChange::Changed;
        continue;
      }
      candidates.push_back({file.Path, JoinPath(FArgs.Client, file.Path), file.Size});
      if (!FBaseHashed) baseCandidates.push_back({file.Path, JoinPath(*FArgs.From, file.Path), file.Size});
      candidateIndex.push_back(i);
    }
    const std::vector<TSha256Digest> now = HashFiles(candidates);
    const std::vector<TSha256Digest> then = FBaseHashed ? std::vector<TSha256Digest>() : HashFiles(baseCandidates);
    for (std::size_t k = 0; k < candidates.size(); ++k) {
      const std::size_t i = candidateIndex[k];
      const TSha256Digest& before = FBaseHashed ? FBase.Find(candidates[k].Name)->Sha256 : then[k];
      FChanges[i] = now[k] == before ? TChange::Unchanged : TChange::Changed;
      FDigests[i] = now[k];
    }
    for (const TManifestFile& file : FBase.Files) {
      const bool kept = std::binary_search(client.Files.begin(), client.Files.end(), TClientFile{file.Path, 0},
                                           [](const TClientFile& a, const TClientFile& b) { return a.Path < b.Path; });
      if (!kept) FRemoved.push_back(file.Path);
    }
  }

  void ReportRemoved() {
    for (const std::string& path : FRemoved) {
      FIo.Err("cvlctl: warning: '" + path + "' is gone from " + FArgs.Client + " since " + FBaseName +
              "; an archive cannot remove it (the patch tool on the players' machines does)\n");
    }
  }

  // The temporary files a killed run left beside the files it writes.
  void RemoveLeftovers() {
    const std::string suffix = StagedFileSuffix();
    if (KindOfTarget(FSettings.PatchFolder) == TFileKind::Folder) {
      for (const TFolderEntry& entry : ListFolder(FSettings.PatchFolder)) {
        if (entry.Kind == TFileKind::File && entry.Name.size() > suffix.size() &&
            entry.Name.compare(entry.Name.size() - suffix.size(), suffix.size(), suffix) == 0) {
          RemoveFile(JoinPath(FSettings.PatchFolder, entry.Name));
        }
      }
    }
    for (const std::string& path : {InfoAnswerPath(FArgs.Root), FArgs.Settings, ManifestPathFor(FArgs.Settings),
                                    PendingManifestPathFor(FArgs.Settings)}) {
      RemoveFile(TStagedFile::TemporaryPathOf(path));
    }
  }

  void FinishInterruptedRelease() {
    ReplaceFileContent(InfoAnswerPath(FArgs.Root), InfoAnswerOf(FSettings.Bytes, Utf8ToUtf16(FArgs.Settings)));
    MoveIntoPlace(PendingManifestPathFor(FArgs.Settings), ManifestPathFor(FArgs.Settings));
    FIo.Out("finished the interrupted release of patch " + std::to_string(FSettings.Level) + ": " +
            InfoAnswerPath(FArgs.Root) + " remade, manifest written\n");
  }

  // A run that stopped before raising the settings published nothing; its archive and
  // manifest go.
  void DropUnpublishedRelease() {
    RemoveFile(PendingManifestPathFor(FArgs.Settings));
    if (!FDropArchive) return;
    const std::string archive = JoinPath(FSettings.PatchFolder, PatchArchiveName(FSettings.Level + 1));
    RemoveFile(SignaturePathOf(archive));
    if (RemoveFile(archive)) {
      FIo.Out("removed " + archive + ", left unpublished by an interrupted release\n");
    }
  }

  // Lists the added and changed files, as the archive will hold them.
  std::vector<TArchiveSource> ChangedSources(const TClientFolder& client, std::vector<std::size_t>& index) {
    FIo.Out("patch " + std::to_string(FSettings.Level + 1) + " of " + FArgs.Client + ", compared with " + FBaseName +
            ":\n");
    std::vector<TArchiveSource> sources;
    for (std::size_t i = 0; i < client.Files.size(); ++i) {
      if (FChanges[i] == TChange::Unchanged) continue;
      const bool isNew = FChanges[i] == TChange::Added;
      (isNew ? FAdded : FChanged) += 1;
      FIo.Out(std::string(isNew ? "  added    " : "  changed  ") + client.Files[i].Path + "\n");
      sources.push_back({client.Files[i].Path, JoinPath(FArgs.Client, client.Files[i].Path), client.Files[i].Size});
      index.push_back(i);
    }
    return sources;
  }

  // Writes the archive beside its name, finished on disk but not yet in place.
  void WriteArchive(const TClientFolder& client, TStagedFile& archive) {
    std::vector<std::size_t> index;
    const std::vector<TArchiveSource> sources = ChangedSources(client, index);
    TStagedSink sink(archive);
    TZipWriter zip(sink);
    std::uint64_t size = 0;
    try {
      const std::vector<TSha256Digest> digests = WriteReleaseArchive(sources, zip);
      for (std::size_t k = 0; k < sources.size(); ++k) FDigests[index[k]] = digests[k];
      size = zip.Finish();
      archive.Finish();
      if (FKey) {
        FSignature = std::make_unique<TStagedFile>(SignaturePathOf(FArchivePath));
        FSignature->Write(SignFile(*FKey, archive.TemporaryPath(), PatchArchiveName(FSettings.Level + 1)));
        FSignature->Finish();
      }
    } catch (const EBadInput& error) {
      throw EBadInput(error.Message() + u"; nothing was published");
    }
    FIo.Out(PatchArchiveName(FSettings.Level + 1) + ": " + std::to_string(FAdded) + " added, " +
            std::to_string(FChanged) + " changed, " + std::to_string(client.Files.size() - FAdded - FChanged) +
            " unchanged; " + SizeText(size) + (FKey ? ", signed" : "") + "\n");
  }

  void Publish(const TClientFolder& client) {
    const std::int32_t next = FSettings.Level + 1;
    MakeFolders(FArgs.Root, FSettings.PatchFolder);
    const std::string infoPath = InfoAnswerPath(FArgs.Root);
    MakeFolders(FArgs.Root, infoPath.substr(0, infoPath.rfind('/')));
    FArchivePath = JoinPath(FSettings.PatchFolder, PatchArchiveName(next));
    TStagedFile archive(FArchivePath);
    WriteArchive(client, archive);

    TReleaseManifest manifest;
    manifest.Level = next;
    for (std::size_t i = 0; i < client.Files.size(); ++i) {
      manifest.Files.push_back({client.Files[i].Path, client.Files[i].Size, FDigests[i]});
    }
    // The order that never shows a player a level whose archive is missing.
    const std::string pendingPath = PendingManifestPathFor(FArgs.Settings);
    bool raised = false;
    try {
      ReplaceFileContent(pendingPath, FormatManifest(manifest));
      archive.PutInPlace();
      if (FSignature) FSignature->PutInPlace();
      ReplaceFileContent(FArgs.Settings, FSettings.NextBytes);
      raised = true;
      ReplaceFileContent(infoPath, FSettings.NextAnswer);
      MoveIntoPlace(pendingPath, ManifestPathFor(FArgs.Settings));
    } catch (const EBadInput& error) {
      if (raised) {
        throw EBadInput(error.Message() + u"; patchVersion is raised in " + Utf8ToUtf16(FArgs.Settings) +
                        u" but the info answer still names the old level: run the same release again to finish it");
      }
      RemoveFile(pendingPath);
      RemoveFile(FArchivePath);
      RemoveFile(SignaturePathOf(FArchivePath));
      throw EBadInput(error.Message() + u"; nothing was published");
    }
  }

  TReleaseArgs FArgs;
  const TToolIo& FIo;
  TSettingsState FSettings;
  TReleaseManifest FBase;
  bool FBaseHashed = true;
  std::string FBaseName;
  bool FFinishLevel = false;
  bool FDropPending = false;
  bool FDropArchive = false;
  std::vector<TChange> FChanges;
  std::vector<TSha256Digest> FDigests;
  std::vector<std::string> FRemoved;
  std::string FArchivePath;
  std::optional<TP256PrivateKey> FKey;
  std::unique_ptr<TStagedFile> FSignature;
  std::size_t FAdded = 0;
  std::size_t FChanged = 0;
};

}  // namespace

int RunRelease(const std::vector<std::u16string>& args, const TToolIo& io) {
  if (WantsHelp(args)) {
    io.Out(std::string(kReleaseUsage));
    return 0;
  }
  return TRelease(ParseArgs(args), io).Run();
}

}  // namespace cvl
