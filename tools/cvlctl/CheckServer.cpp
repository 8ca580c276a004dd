// check-server: what a launcher at any level meets in the folder the web server serves,
// checked with the launcher's own code: the answer's decoding, the ZIP reader and the
// extractor's name checks, the configuration reader for [Pre].
#include <nlohmann/json.hpp>

#include <optional>
#include <string_view>

#include "ArchiveCheck.h"
#include "Commands.h"
#include "MakeInfo.h"
#include "ReleaseFiles.h"
#include "ServerFolders.h"
#include "SignedFiles.h"
#include "ToolSupport.h"
#include "core/BodyText.h"
#include "core/ConfigDocument.h"
#include "core/ConnectInfo.h"
#include "core/FormCreate.h"
#include "core/JsonText.h"
#include "core/ServerInfo.h"
#include "core/StringCipher.h"
#include "core/Text.h"
#include "core/AnsiCodePage.h"
#include "core/TextEncoding.h"

namespace cvl {
namespace {

constexpr std::string_view kCheckServerUsage =
    "usage: cvlctl check-server --settings SETTINGS.json --root SERVER_ROOT [--key update-key.pub]...\n"
    "                           [--pre LAUNCHER.cfg]\n"
    "\n"
    "Checks what a launcher at any patch level meets in SERVER_ROOT, the folder the web server\n"
    "serves, with the launcher's own code:\n"
    "  - outgame/info decodes, and names the level and patch folder SETTINGS.json gives;\n"
    "  - every patch_1.zip to patch_<patchVersion>.zip is in the patch folder and unpacks:\n"
    "    every entry inflates with a good CRC-32, no name or link the launcher refuses;\n"
    "  - both language patches (connector/patch/) are there and unpack;\n"
    "  - no archive holds what an archiver adds by mistake: a __MACOSX/ folder, names outside\n"
    "    ASCII without the UTF-8 flag (the launcher would read them in code page 437);\n"
    "  - with --pre, every prerequisite archive that [Pre] of LAUNCHER.cfg names is there,\n"
    "    unpacks and holds its installer (the archive's name with .exe) at its top;\n"
    "  - with --key (one or more public keys, as a launcher built with them has), every one of\n"
    "    these files has its signature FILE.sig beside it, made by one of the keys.\n"
    "One line per finding: 'fault: ...' or 'note: ...'. Exit status 1 when there is a fault.\n";

constexpr std::u16string_view kProbeServer = u"http://127.0.0.1:8080";
constexpr std::string_view kAnswerType = "application/json; charset=utf-8";

struct TCheckArgs {
  std::string Settings;
  std::string Root;
  std::optional<std::string> Pre;
  std::vector<std::string> Keys;
};

TCheckArgs ParseArgs(const std::vector<std::u16string>& args) {
  std::optional<std::string> settings, root, pre;
  std::vector<std::string> keys;
  for (std::size_t i = 1; i < args.size(); ++i) {
    std::optional<std::string>* into = nullptr;
    if (args[i] == u"--key") {
      if (i + 1 >= args.size()) throw EUsage(u"--key needs a key file");
      keys.push_back(PathArgument(args[++i]));
      continue;
    }
    if (args[i] == u"--settings") {
      into = &settings;
    } else if (args[i] == u"--root") {
      into = &root;
    } else if (args[i] == u"--pre") {
      into = &pre;
    } else {
      throw EUsage(u"unexpected argument " + Quoted(args[i]));
    }
    if (i + 1 >= args.size()) throw EUsage(args[i] + u" needs a value");
    if (*into) throw EUsage(args[i] + u" given twice");
    *into = PathArgument(args[++i]);
  }
  if (!settings) throw EUsage(u"--settings SETTINGS.json is missing");
  if (!root) throw EUsage(u"--root SERVER_ROOT is missing");
  return {*settings, *root, pre, keys};
}

class TCheck {
 public:
  TCheck(TCheckArgs args, const TToolIo& io)
      : FArgs(std::move(args)), FIo(io), FKeys(ReadPublicKeyFiles(FArgs.Keys)) {}

  int Run() {
    const std::optional<TConnectInfo> wanted = SettingsAnswer();
    const std::optional<TConnectInfo> served = ServedAnswer(wanted);
    std::int32_t patches = 0;
    if (served) patches = CheckPatches(*served);
    CheckLanguagePatches();
    std::u16string pre;
    if (FArgs.Pre) pre = CheckPrerequisites();
    const std::string checked = !served     ? "no numbered patches (no answer names them)"
                                : patches > 0 ? "patches 1 to " + std::to_string(patches)
                                              : "no numbered patches (the answer names none)";
    FIo.Out("check-server: " + std::to_string(FFaults) + " fault(s); checked the info answer, " + checked +
            ", the language patches" + Utf16ToUtf8(pre) + (FKeys.empty() ? "" : ", and their signatures") + "\n");
    return FFaults == 0 ? 0 : 1;
  }

 private:
  void Fault(std::string_view where, std::u16string_view what) {
    ++FFaults;
    FIo.Out("fault: " + std::string(where) + ": " + Utf16ToUtf8(what) + "\n");
  }
  void Note(std::string_view where, std::u16string_view what) {
    FIo.Out("note: " + std::string(where) + ": " + Utf16ToUtf8(what) + "\n");
  }

  static TConnectInfo Decoded(const std::u16string& answer) {
    TConnectInfo info;
    DecodeServerInfo(answer, kProbeServer, info);
    return info;
  }

  std::optional<TConnectInfo> SettingsAnswer() {
    const auto bytes = ReadSmallFile(FArgs.Settings);
    if (!bytes) {
      Fault(FArgs.Settings, u"missing");
      return std::nullopt;
    }
    try {
      FWantedAnswer = InfoAnswerOf(*bytes, Utf8ToUtf16(FArgs.Settings));
    } catch (const EBadInput& error) {
      Fault(FArgs.Settings, error.Message());
      return std::nullopt;
    }
    return Decoded(Utf8ToUtf16(FWantedAnswer));
  }

  // Names the first value of the answer the launcher cannot read.
  std::u16string WhyUnreadable(const std::u16string& text) {
    const auto answer = ParseJsonText(text);
    if (!answer || !answer->is_object()) return u"it is not one JSON object";
    nlohmann::json plain = nlohmann::json::object();
    for (const std::u16string_view key : ServerInfoKeys()) {
      const std::string key8 = Utf16ToUtf8(key);
      if (!answer->contains(key8)) return u"it lacks " + Quoted(key);
      std::u16string value;
      try {
        value = GetJsonString(*answer, key);
        plain[key8] = Utf16ToUtf8(key == ServerInfoKeys().front() ? value : DecryptString(value, ServerKeyText));
      } catch (const Exception&) {
        return Quoted(key) + u" does not decrypt with the server key";
      }
    }
    try {
      InfoAnswerOf(plain.dump(), u"it");
    } catch (const EBadInput& error) {
      return error.Message();
    }
    return u"the launcher does not read it";
  }

  std::optional<TConnectInfo> ServedAnswer(const std::optional<TConnectInfo>& wanted) {
    const std::string path = InfoAnswerPath(FArgs.Root);
    const auto bytes = ReadSmallFile(path);
    if (!bytes) {
      Fault(path, u"missing: every launcher shows \"Server not available! Closing the launcher...\"");
      return std::nullopt;
    }
    const auto text = DecodeBodyText(kAnswerType, *bytes);
    TConnectInfo served;
    if (!text || DecodeServerInfo(*text, kProbeServer, served) != 1) {
      Fault(path, u"the launcher cannot read it (" + (text ? WhyUnreadable(*text) : u"no UTF-8 text") +
                      u"): every launcher shows \"Server not available! Closing the launcher...\"");
      return std::nullopt;
    }
    if (wanted && *bytes != FWantedAnswer) {
      if (served.PatchVersion != wanted->PatchVersion || served.PatchList != wanted->PatchList) {
        Fault(path, u"names patch level " + IntToText(served.PatchVersion) + u" and the patch list " +
                        served.PatchList + u", " + Utf8ToUtf16(FArgs.Settings) + u" level " +
                        IntToText(wanted->PatchVersion) + u" and " + wanted->PatchList +
                        u": remake it with make-info, or run the release again to finish it");
      } else {
        Note(path, u"differs from what make-info makes of " + Utf8ToUtf16(FArgs.Settings) + u" in other values");
      }
    }
    return served;
  }

  // The signature a launcher built with the keys fetches beside the file.
  void CheckSignature(const std::string& path) {
    if (FKeys.empty()) return;
    const std::string name = path.substr(path.find_last_of("/\\") + 1);
    if (const auto problem = SignatureProblem(FKeys, path, name)) Fault(path, *problem);
  }

  void CheckArchiveAt(const std::string& path, std::u16string_view missing) {
    if (KindOfTarget(path) != TFileKind::File) {
      Fault(path, missing);
      return;
    }
    for (const std::u16string& fault : CheckArchive(path).Faults) Fault(path, fault);
    CheckSignature(path);
  }

  std::int32_t CheckPatches(const TConnectInfo& served) {
    const std::string answer = InfoAnswerPath(FArgs.Root);
    if (!ParseJsonText(served.PatchList)) {
      Note(answer, u"the patch list is no JSON: launchers fetch no numbered patches");
      return 0;
    }
    std::string folder;
    try {
      folder = PatchFolderOf(FArgs.Root, PatchDownloadPath(served.PatchList));
    } catch (const EJSONException&) {
      Fault(answer, u"the patch list has no \"download_path\": the update of every launcher stops");
      return 0;
    } catch (const EBadInput& error) {
      Fault(answer, error.Message());
      return 0;
    }
    for (std::int32_t level = 1; level <= served.PatchVersion && level > 0; ++level) {
      CheckArchiveAt(JoinPath(folder, PatchArchiveName(level)),
                     u"missing: players below level " + IntToText(level) + u" cannot update past it");
    }
    const std::string next = JoinPath(folder, PatchArchiveName(static_cast<std::int64_t>(served.PatchVersion) + 1));
    if (KindOf(next) != TFileKind::Missing) {
      Note(next, u"beyond the published level " + IntToText(served.PatchVersion) +
                     u" (left by an interrupted release? the next release replaces it)");
    }
    return served.PatchVersion;
  }

  void CheckLanguagePatches() {
    for (const bool english : {true, false}) {
      CheckArchiveAt(JoinPath(LanguagePatchFolder(FArgs.Root), LanguagePatchName(english)),
                     u"missing: players who ask for this language patch get no texts");
    }
  }

  // The installer the launcher runs from a prerequisite archive: the archive's name with
  // its extension (from the last ".") replaced by ".exe".
  static std::u16string InstallerOf(const std::u16string& archive) {
    const std::size_t dot = archive.rfind(u'.');
    return (dot == std::u16string::npos ? archive : archive.substr(0, dot)) + u".exe";
  }

  std::u16string CheckPrerequisites() {
    const std::string& cfg = *FArgs.Pre;
    const auto bytes = ReadSmallFile(cfg);
    if (!bytes) {
      Fault(cfg, u"missing");
      return u", no prerequisites";
    }
    // The configuration as the launcher reads it; the ANSI code page of Western systems.
    const TConfigDocument config = TConfigDocument::Parse(DecodeText(*bytes, TWindows1252CodePage()).Text);
    const std::vector<std::u16string> lines = config.SectionLines(PreSection);
    if (lines.empty()) {
      Note(cfg, u"no [Pre] entries: the launcher installs no prerequisites");
      return u", no prerequisites";
    }
    if (lines.size() < 4) {
      Fault(cfg, u"[Pre] holds " + IntToText(static_cast<long long>(lines.size())) + u" of the 4 entries the launcher needs");
      return u", no prerequisites";
    }
    std::vector<std::u16string> plain;
    for (std::size_t i = 0; i < 4; ++i) {
      try {
        plain.push_back(DecryptString(lines[i], ServerKeyText));
      } catch (const Exception& error) {
        Fault(cfg, u"[Pre] entry " + IntToText(static_cast<long long>(i)) + u" does not decrypt: " + error.Message());
        return u", no prerequisites";
      }
    }
    std::string folder;
    try {
      folder = ServedFolderOf(FArgs.Root, plain[0], u"the [Pre] folder");
    } catch (const EBadInput& error) {
      Fault(cfg, error.Message());
      return u", no prerequisites";
    }
    for (std::size_t i = 1; i < 4; ++i) {
      const std::string path = JoinPath(folder, Utf16ToUtf8(plain[i]));
      if (KindOfTarget(path) != TFileKind::File) {
        Fault(path, u"missing: the launcher's first start cannot install this prerequisite");
        continue;
      }
      const TArchiveReport report = CheckArchive(path);
      for (const std::u16string& fault : report.Faults) Fault(path, fault);
      CheckSignature(path);
      const std::u16string installer = InstallerOf(plain[i]);
      bool found = false;
      for (const std::u16string& file : report.TopFiles) found = found || UpperAscii(file) == UpperAscii(installer);
      if (!found && report.Faults.empty()) {
        Fault(path, u"holds no " + Quoted(installer) + u" at its top, the installer the launcher runs");
      }
    }
    return u", the prerequisites of " + Utf8ToUtf16(cfg);
  }

  TCheckArgs FArgs;
  const TToolIo& FIo;
  std::vector<TP256Point> FKeys;
  std::string FWantedAnswer;
  int FFaults = 0;
};

}  // namespace

int RunCheckServer(const std::vector<std::u16string>& args, const TToolIo& io) {
  if (WantsHelp(args)) {
    io.Out(std::string(kCheckServerUsage));
    return 0;
  }
  return TCheck(ParseArgs(args), io).Run();
}

}  // namespace cvl
