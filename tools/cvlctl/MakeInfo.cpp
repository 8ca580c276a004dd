// make-info: the protected info answer from a JSON object of plain values.
//
// Every value is judged by the launcher's own decoding (DecodeServerInfo): a value is
// tried in an answer whose other values are all "0", which every decoding accepts, so a
// refusal names exactly the key the launcher would stumble on.
#include <nlohmann/json.hpp>

#include <map>
#include <optional>
#include <string_view>
#include <utility>

#include "Commands.h"
#include "MakeInfo.h"
#include "ToolSupport.h"
#include "core/ConnectInfo.h"
#include "core/JsonText.h"
#include "core/ServerInfo.h"
#include "core/StringCipher.h"
#include "core/Text.h"

namespace cvl {
namespace {

constexpr std::string_view kMakeInfoUsage =
    "usage: cvlctl make-info [-o FILE] SETTINGS.json\n"
    "\n"
    "Writes the answer the connector server gives at /outgame/info: a JSON object whose\n"
    "values are protected with the server key, all but \"result_code\".\n"
    "  SETTINGS.json  a JSON object of the plain values, one member for every key of the\n"
    "                 answer; strings, numbers and true/false are taken as their text, and\n"
    "                 \"patch\" may be the patch-list object itself, e.g.\n"
    "                 {\"download_path\": \"/connector/patches/\"}\n"
    "  -o FILE        write the answer to FILE (replaced in one step) instead of standard output\n"
    "A missing key, or a value the launcher would not read (an integer outside the signed\n"
    "32-bit range, a Boolean other than a number or true/false, a patch list without\n"
    "\"download_path\"), is refused with the key's name and nothing is written.\n";

constexpr std::u16string_view kResultCode = u"result_code";
constexpr std::u16string_view kSuccess = u"SUCCESS";
constexpr std::u16string_view kPatch = u"patch";
// A value every decoding of the answer accepts: text, address, integer, size, Boolean.
constexpr std::u16string_view kNeutralValue = u"0";
// Accepted by the Boolean decoding only; tells a Boolean key from an integer one.
constexpr std::u16string_view kBooleanProbe = u"true";

struct TMakeInfoArgs {
  std::u16string Settings;
  std::optional<std::u16string> Output;
};

TMakeInfoArgs ParseArgs(const std::vector<std::u16string>& args) {
  TMakeInfoArgs parsed;
  std::optional<std::u16string> settings;
  for (std::size_t i = 1; i < args.size(); ++i) {
    if (args[i] == u"-o" || args[i] == u"--output") {
      if (i + 1 >= args.size()) throw EUsage(u"-o needs a FILE");
      parsed.Output = args[++i];
    } else if (args[i].size() > 1 && args[i][0] == u'-') {
      throw EUsage(u"unknown option " + Quoted(args[i]));
    } else if (settings) {
      throw EUsage(u"more than one SETTINGS.json given");
    } else {
      settings = args[i];
    }
  }
  if (!settings) throw EUsage(u"SETTINGS.json is missing");
  parsed.Settings = *settings;
  return parsed;
}

using TPlainValues = std::vector<std::pair<std::u16string, std::u16string>>;

// The answer's text as the server sends it: result_code plain, everything else sealed.
std::string AnswerJson(const TPlainValues& values, int indent) {
  nlohmann::ordered_json answer = nlohmann::ordered_json::object();
  for (const auto& [key, plain] : values) {
    answer[Utf16ToUtf8(key)] = key == kResultCode ? Utf16ToUtf8(plain) : Sealed(plain, ServerKeyText);
  }
  return answer.dump(indent);
}

bool LauncherAccepts(const TPlainValues& values) {
  TConnectInfo info;
  return DecodeServerInfo(Utf8ToUtf16(AnswerJson(values, -1)), u"http://127.0.0.1:8080", info) == 1;
}

// One settings member as the plain text of the answer.
std::u16string PlainValue(const nlohmann::json& settings, const std::u16string& key) {
  const auto& member = settings.at(Utf16ToUtf8(key));
  if (key == kPatch && member.is_object()) return Utf8ToUtf16(member.dump());
  std::u16string text;
  try {
    text = GetJsonString(settings, key);
  } catch (const EJSONException&) {
    throw EBadInput(Quoted(key) + u" holds an object or array; the launcher reads only strings, numbers and true/false");
  }
  RequireLatin1(text, Quoted(key));
  return text;
}

// Refuses the first key whose value the launcher's decoding rejects.
void CheckEachValue(const TPlainValues& values) {
  TPlainValues probe;
  for (const auto& [key, plain] : values) probe.emplace_back(key, key == kResultCode ? plain : kNeutralValue);
  for (std::size_t i = 1; i < values.size(); ++i) {
    probe[i].second = values[i].second;
    if (!LauncherAccepts(probe)) {
      probe[i].second = kBooleanProbe;
      const bool boolean = LauncherAccepts(probe);
      throw EBadInput(Quoted(values[i].first) + u" = " + Quoted(values[i].second) +
                   u" is no value the launcher reads: it wants " +
                   (boolean ? u"a number (0 is false) or true or false"
                            : u"a signed 32-bit integer, -2147483648 to 2147483647 (decimal, or hexadecimal after $ or 0x)"));
    }
    probe[i].second = kNeutralValue;
  }
}

// The patch list must name the folder of the patch archives, or every update fails.
void CheckPatchList(const std::u16string& patchList) {
  std::u16string folder;
  try {
    folder = PatchDownloadPath(patchList);
  } catch (const EJSONException&) {
    throw EBadInput(u"'patch' must be a JSON object with the text member \"download_path\", "
                 u"e.g. {\"download_path\": \"/connector/patches/\"}");
  }
  if (folder.empty() || folder.front() != u'/' || folder.back() != u'/') {
    throw EBadInput(u"'patch': \"download_path\" must begin and end with '/', e.g. /connector/patches/");
  }
}

TPlainValues ReadSettings(const std::string& bytes, std::u16string_view name) {
  const auto settings = ParseJsonText(Utf8ToUtf16(bytes));
  if (!settings || !settings->is_object()) throw EBadInput(Quoted(name) + u" is not one JSON object");

  TPlainValues values;
  std::u16string missing;
  for (const std::u16string_view keyView : ServerInfoKeys()) {
    const std::u16string key(keyView);
    if (!settings->contains(Utf16ToUtf8(key))) {
      missing += (missing.empty() ? u"" : u", ") + key;
      continue;
    }
    values.emplace_back(key, PlainValue(*settings, key));
  }
  if (!missing.empty()) throw EBadInput(Quoted(name) + u" lacks the key(s) " + missing);
  if (values.front().second != kSuccess) {
    throw EBadInput(u"'result_code' must be SUCCESS; the launcher takes any other answer as a failure");
  }
  CheckEachValue(values);
  for (const auto& [key, plain] : values) {
    if (key == kPatch) CheckPatchList(plain);
  }

  // Members the launcher does not read stay in the answer for other readers.
  const std::size_t known = values.size();
  for (const auto& [name8, member] : settings->items()) {
    const std::u16string key = Utf8ToUtf16(name8);
    bool isKnown = false;
    for (std::size_t i = 0; i < known; ++i) isKnown = isKnown || values[i].first == key;
    if (!isKnown) values.emplace_back(key, PlainValue(*settings, key));
  }
  return values;
}

}  // namespace

std::string InfoAnswerOf(const std::string& settingsBytes, std::u16string_view settingsName) {
  const TPlainValues values = ReadSettings(settingsBytes, settingsName);
  if (!LauncherAccepts(values)) throw EBadInput(u"the launcher would not read the whole answer");  // a guard, not expected
  return AnswerJson(values, 2) + "\n";
}

int RunMakeInfo(const std::vector<std::u16string>& args, const TToolIo& io) {
  if (WantsHelp(args)) {
    io.Out(std::string(kMakeInfoUsage));
    return 0;
  }
  const TMakeInfoArgs parsed = ParseArgs(args);
  const auto bytes = io.ReadFile(parsed.Settings);
  if (!bytes) throw EBadInput(u"cannot read " + Quoted(parsed.Settings));
  const std::string answer = InfoAnswerOf(*bytes, parsed.Settings);
  if (!parsed.Output) {
    io.Out(answer);
  } else if (!io.WriteFile(*parsed.Output, answer)) {
    throw EBadInput(u"cannot write " + Quoted(*parsed.Output));
  }
  return 0;
}

}  // namespace cvl
