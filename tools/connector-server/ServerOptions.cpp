#include "ServerOptions.h"

#include <stdexcept>

namespace connector {

const char* const kUsage =
    "Usage: connector-server [options]\n"
    "Serves the launcher's connector endpoints over plain HTTP.\n"
    "\n"
    "  --bind ADDRESS     address to listen on (default 127.0.0.1)\n"
    "  --port N           port to listen on (default 8080; 0 picks a free one)\n"
    "  --port-file FILE   write the port, once listening, to FILE\n"
    "  --root DIR         serve the files of DIR under their paths\n"
    "  --info FILE        answer GET /outgame/info from FILE: one key=value a line;\n"
    "                     every value but result_code is protected with the server key\n"
    "  --rule PATH:SETTINGS\n"
    "                     misbehave on PATH; SETTINGS is a comma-separated list of\n"
    "                     status=N, body=TEXT, type=CONTENT-TYPE,\n"
    "                     cut=BYTES (close after that much body), stall=MS, redirect=URL,\n"
    "                     cache=SECONDS (Cache-Control max-age and Last-Modified),\n"
    "                     hold=MS (with cut: stay silent that long, then drop),\n"
    "                     rate=BYTES (a file at most that many bytes a second),\n"
    "                     times=N (the rule holds for the next N requests only),\n"
    "                     etag=TEXT (a file's validator instead of its own),\n"
    "                     ranges=ignore (answer a file whole, never a range of it) or\n"
    "                     ranges=wrong (answer a range request from the first byte)\n"
    "  --help             show this text\n"
    "\n"
    "For tests, while running:\n"
    "  GET /__rule?path=P&status=..&body=..&type=..&cut=..&stall=..&redirect=..&cache=..\n"
    "             &hold=..&rate=..&times=..&etag=..&ranges=..\n"
    "                     sets the rule of P (no settings: removes it)\n"
    "  GET /__requests    the requests so far, as JSON: method, path, headers, and sent:\n"
    "                     the bytes of a file's body handed to the connection so far\n"
    "  GET /__reset       forgets every rule and request\n";

void SetRuleValue(TRule& rule, const std::string& name, const std::string& value) {
  try {
    if (name == "status") rule.Status = std::stoi(value);
    else if (name == "body") rule.Body = value;
    else if (name == "type") rule.Type = value;
    else if (name == "cut") rule.CutAfter = std::stoul(value);
    else if (name == "stall") rule.StallMs = std::stoi(value);
    else if (name == "redirect") rule.Redirect = value;
    else if (name == "cache") rule.CacheSeconds = std::stoi(value);
    else if (name == "hold") rule.HoldMs = std::stoi(value);
    else if (name == "rate") rule.Rate = std::stoull(value);
    else if (name == "times") rule.Times = std::stoi(value);
    else if (name == "etag") rule.ETag = value;
    else if (name == "ranges" && (value == "ignore" || value == "wrong")) rule.Ranges = value;
    else if (name == "ranges") throw std::invalid_argument("bad rule setting: ranges=" + value);
    else throw std::invalid_argument("unknown rule setting: " + name);
  } catch (const std::logic_error&) {
    throw std::invalid_argument("bad rule setting: " + name + "=" + value);
  }
}

namespace {

void AddRule(TServerOptions& options, const std::string& text) {
  const auto colon = text.find(':');
  if (colon == std::string::npos || colon == 0 || text[0] != '/') {
    throw std::invalid_argument("--rule needs PATH:SETTINGS, got " + text);
  }
  TRule& rule = options.Rules[text.substr(0, colon)];
  std::size_t start = colon + 1;
  while (start < text.size()) {
    std::size_t end = text.find(',', start);
    if (end == std::string::npos) end = text.size();
    const std::string setting = text.substr(start, end - start);
    const auto equals = setting.find('=');
    if (equals == std::string::npos) throw std::invalid_argument("bad rule setting: " + setting);
    SetRuleValue(rule, setting.substr(0, equals), setting.substr(equals + 1));
    start = end + 1;
  }
}

}  // namespace

TServerOptions ParseOptions(int argc, char** argv) {
  TServerOptions options;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      options.Help = true;
      continue;
    }
    if (i + 1 >= argc) throw std::invalid_argument("missing value after " + arg);
    const std::string value = argv[++i];
    if (arg == "--bind") options.Bind = value;
    else if (arg == "--port") {
      try {
        options.Port = std::stoi(value);
      } catch (const std::logic_error&) {
        throw std::invalid_argument("bad port: " + value);
      }
      if (options.Port < 0 || options.Port > 65535) throw std::invalid_argument("bad port: " + value);
    }
    else if (arg == "--port-file") options.PortFile = value;
    else if (arg == "--root") options.Root = value;
    else if (arg == "--info") options.Info = value;
    else if (arg == "--rule") AddRule(options, value);
    else throw std::invalid_argument("unknown option: " + arg);
  }
  return options;
}

}  // namespace connector
