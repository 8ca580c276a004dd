// read-config: what the launcher reads from a CVLauncher.cfg at its next start.
//
// The file goes through the launcher's own creation handler (FormCreate) on a dry-run
// platform that hands it the file and catches the rewrite instead of writing it, so the
// report and the launcher read the same file the same way.
#include <algorithm>
#include <optional>
#include <string_view>

#include "Commands.h"
#include "ToolSupport.h"
#include "core/ConfigDocument.h"
#include "core/ConfigNames.h"
#include "core/FormCreate.h"
#include "core/LauncherTexts.h"
#include "core/ServerInfo.h"
#include "core/StringCipher.h"
#include "core/Text.h"
#include "core/TextEncoding.h"

namespace cvl {
namespace {

constexpr std::string_view kReadConfigUsage =
    "usage: cvlctl read-config FILE\n"
    "\n"
    "Shows what the launcher reads from FILE (a CVLauncher.cfg) at its next start: the\n"
    "options with their defaults, the connector server after the decrypted [User] override,\n"
    "the decrypted [Pre] entries, and the lines the launcher drops or rewrites when it\n"
    "tidies the file. FILE is not changed. A file without a byte-order mark is read as\n"
    "Windows-1252, the ANSI code page of Western systems.\n"
    "Exit status 1 when the launcher would stop on the file (a [User] value that does not\n"
    "decrypt, a [Pre] section it cannot use) or FILE cannot be read.\n";

// The launcher's files for one dry run: the configuration is the given bytes, and the
// rewrite is kept here instead of reaching the disk.
class TDryRunFiles : public ILocalFiles {
 public:
  explicit TDryRunFiles(std::string bytes) : FBytes(std::move(bytes)) {}
  std::u16string ProgramDirectory() override { return u""; }
  std::optional<std::string> ReadWholeFile(const std::u16string&) override { return FBytes; }
  void WriteWholeFile(const std::u16string&, std::string_view bytes) override { Rewrite = std::string(bytes); }
  const IAnsiCodePage& AnsiCodePage() override { return FCodePage; }

  std::optional<std::string> Rewrite;

 private:
  std::string FBytes;
  TWindows1252CodePage FCodePage;
};

// No debugger and no install folder in the registry: the file alone decides.
class TDryRunPlatform : public IFormCreatePlatform {
 public:
  explicit TDryRunPlatform(TDryRunFiles& files) : FFiles(files) {}
  bool IsDebuggerPresent() override { return false; }
  void ShowMessage(const std::u16string&) override {}
  std::u16string ReadLocalMachineString(const std::u16string&, const std::u16string&) override { return u""; }
  ILocalFiles& Files() override { return FFiles; }

 private:
  TDryRunFiles& FFiles;
};

struct TOption {
  std::u16string_view Key;
  bool TLauncherSettings::*Flag;  // null for PatchVersion, the one integer
};

// The option names as the operator writes them, with the field each one sets.
const TOption kOptions[] = {
    {InstallClientKey, &TLauncherSettings::FInstallClient},
    {LanguageKey, &TLauncherSettings::FEnglishClient},
    {ZephraneKey, &TLauncherSettings::FZephraneVersion},
    {UpdateClientLanguageKey, &TLauncherSettings::FUpdateClientLanguage},
    {PatchVersionKey, nullptr},
    {KeepUpdateFilesKey, &TLauncherSettings::FKeepUpdateFiles},
};

struct TReport {
  std::u16string Text;
  std::vector<std::u16string> Problems;
  void Line(std::u16string_view line) { Text += std::u16string(line) + u"\n"; }
};

std::u16string Padded(std::u16string_view text, std::size_t width) {
  std::u16string padded(text);
  if (padded.size() < width) padded.append(width - padded.size(), u' ');
  return padded;
}

std::u16string OptionValue(const TOption& option, const TLauncherSettings& state) {
  return option.Flag ? (state.*option.Flag ? u"true" : u"false") : IntToText(state.FClientActualPatchVersion);
}

void ReportOptions(TReport& report, const TConfigDocument& config, const TLauncherSettings& state) {
  report.Line(SectionHeader(OptionsSection));
  // The value column is as wide as its widest value and a blank or two.
  std::size_t width = 7;
  for (const TOption& option : kOptions) width = std::max(width, OptionValue(option, state).size() + 2);
  for (const TOption& option : kOptions) {
    const std::u16string value = OptionValue(option, state);
    const auto raw = config.ReadString(OptionsSection, option.Key);
    std::u16string origin = u"(default)";
    if (raw && ConfigInteger(*raw)) {
      origin = u"from " + Quoted(*raw);
    } else if (raw) {
      origin = u"(default; " + Quoted(*raw) + u" is no number)";
    }
    report.Line(u"  " + Padded(option.Key, 22) + Padded(value, width) + origin);
  }
}

void ReportConnector(TReport& report, const TConfigDocument& config, const TLauncherSettings& state,
                     const std::optional<std::u16string>& error) {
  report.Line(SectionHeader(UserSection));
  if (error) {
    report.Line(u"  connector server      not settled: the launcher stops at [User] with the error box");
    report.Line(u"                        " + *error);
    return;
  }
  const bool recovery = !config.ReadString(UserSection, RecoveryKey, u"").empty();
  const bool email = !config.ReadString(UserSection, EmailKey, u"").empty();
  const TConnectInfo& info = state.FConnectInfo;
  std::u16string origin = u"(default)";
  if (recovery || email) {
    origin = std::u16string(u"(") + (recovery ? u"address from recovery" : u"default address") + u", " +
             (email ? u"port from email" : u"default port") + u")";
  }
  report.Line(u"  connector server      " + info.App_center_ip + u":" + IntToText(info.App_center_port) + u"  " + origin);
}

void ReportPre(TReport& report, const TLauncherSettings& state) {
  const std::vector<std::u16string>& lines = state.FInstallFiles;
  report.Line(SectionHeader(PreSection));
  if (lines.empty()) {
    report.Line(u"  no entries: the launcher asks the connector server for patches");
    return;
  }
  const std::u16string_view labels[] = {u"folder", texts::kLabelWebView, texts::kLabelRuntime2012,
                                        texts::kLabelRuntime2022};
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const std::u16string label = i < 4 ? std::u16string(labels[i]) : u"(not read)";
    std::u16string plain;
    try {
      plain = DecryptString(lines[i], ServerKeyText);
    } catch (const EDecryptError& e) {
      report.Line(u"  " + IntToText(i) + u" " + Padded(label, 24) + u"does not decrypt");
      if (i < 4) report.Problems.push_back(u"[Pre] entry " + IntToText(i) + u" does not decrypt: " + e.Message());
      continue;
    }
    std::u16string shown = plain;
    if (i == 0) shown += u"  -> " + MakeBaseServerAdr(state.FConnectInfo) + plain;
    report.Line(u"  " + IntToText(i) + u" " + Padded(label, 24) + shown);
    if (i == 0 && (plain.empty() || plain.front() != u'/' || plain.back() != u'/')) {
      report.Problems.push_back(u"[Pre] entry 0 must be a folder beginning and ending with '/'");
    }
  }
  if (lines.size() < 4) {
    report.Problems.push_back(u"[Pre] holds " + IntToText(lines.size()) + (lines.size() == 1 ? u" entry" : u" entries") +
                              u"; the launcher needs 4");
  }
}

// Lines of the file that do not come back unchanged in the rewrite (each line of the
// rewrite matches one line of the file, wherever it stands).
std::vector<std::pair<std::size_t, std::u16string>> LostLines(const std::u16string& before, const std::u16string& after) {
  std::vector<std::u16string> kept = SplitLines(after);
  std::vector<std::pair<std::size_t, std::u16string>> lost;
  const std::vector<std::u16string> lines = SplitLines(before);
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (lines[i].empty()) continue;
    const auto match = std::find(kept.begin(), kept.end(), lines[i]);
    if (match != kept.end()) {
      kept.erase(match);
    } else {
      lost.emplace_back(i + 1, lines[i]);
    }
  }
  return lost;
}

// The rewrite keeps the encoding the file was read in.
std::u16string EncodingName(TTextEncoding encoding) {
  switch (encoding) {
    case TTextEncoding::Utf8:
      return u"(UTF-8 with its byte-order mark)";
    case TTextEncoding::Utf16LE:
      return u"(UTF-16 little-endian with its byte-order mark)";
    case TTextEncoding::Utf16BE:
      return u"(UTF-16 big-endian with its byte-order mark)";
    case TTextEncoding::Ansi:
      break;
  }
  return u"(ANSI code page, no byte-order mark)";
}

void ReportNextStart(TReport& report, const TDecodedText& decoded, const std::string& bytes,
                     const TDryRunFiles& files, const TLauncherSettings& state) {
  report.Line(u"At its next start the launcher");
  if (!state.FInstallFiles.empty() && !report.Problems.empty()) {
    report.Line(u"  tries to install the prerequisites of [Pre] and stops on the entries above;");
    report.Line(u"  the file stays as it is, so every start stops the same way until [Pre] is mended.");
    return;
  }
  if (!state.FInstallFiles.empty()) {
    report.Line(u"  installs the prerequisites of [Pre] and starts the client, leaving this file as it is;");
    report.Line(u"  after a successful installation it erases [Pre], and the start after that asks for patches.");
    return;
  }
  if (!files.Rewrite || *files.Rewrite == bytes) {
    report.Line(u"  rewrites this file unchanged.");
    return;
  }
  const TDecodedText after = DecodeText(*files.Rewrite, TWindows1252CodePage());
  const auto lost = LostLines(decoded.Text, after.Text);
  const std::u16string how = u"  rewrites this file " + EncodingName(after.Encoding);
  if (lost.empty()) {
    report.Line(how + u"; every line stays (only blank lines and line ends change).");
  } else {
    report.Line(how + u" and drops or rewrites these lines:");
    for (const auto& [number, line] : lost) report.Line(u"    line " + IntToText(number) + u": " + line);
  }
  report.Line(u"  The file then reads:");
  for (const std::u16string& line : SplitLines(after.Text)) report.Line(u"    " + line);
}

}  // namespace

int RunReadConfig(const std::vector<std::u16string>& args, const TToolIo& io) {
  if (WantsHelp(args)) {
    io.Out(std::string(kReadConfigUsage));
    return 0;
  }
  if (args.size() != 2 || (args[1].size() > 1 && args[1][0] == u'-')) throw EUsage(u"read-config takes one FILE");
  const auto bytes = io.ReadFile(args[1]);
  if (!bytes) throw EBadInput(u"cannot read " + Quoted(args[1]));

  TDryRunFiles files(*bytes);
  TDryRunPlatform platform(files);
  TFormCreateResult read = FormCreate(platform);
  const TLauncherSettings& state = read.Settings;
  std::optional<std::u16string> error;
  if (read.Error) {
    try {
      std::rethrow_exception(read.Error);
    } catch (const Exception& e) {
      error = e.Message();
    }
  }
  const TDecodedText decoded = DecodeText(*bytes, TWindows1252CodePage());
  const TConfigDocument config = TConfigDocument::Parse(decoded.Text);

  TReport report;
  ReportOptions(report, config, state);
  ReportConnector(report, config, state, error);
  if (error) {
    report.Problems.push_back(u"the launcher stops reading [User] with the error box: " + *error);
  } else {
    ReportPre(report, state);
    ReportNextStart(report, decoded, *bytes, files, state);
  }
  io.Out(Utf16ToUtf8(report.Text));
  for (const std::u16string& problem : report.Problems) io.Err(Utf16ToUtf8(u"cvlctl: " + args[1] + u": " + problem + u"\n"));
  return report.Problems.empty() ? 0 : 1;
}

}  // namespace cvl
