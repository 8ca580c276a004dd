// The connector server's command line and its per-path test behaviours.
#pragma once

#include <filesystem>
#include <map>
#include <optional>
#include <string>

namespace connector {

// How one path misbehaves on purpose; every setting is optional.
struct TRule {
  std::optional<int> Status;             // answer with this status
  std::optional<std::string> Body;       // and this body instead of the file or info answer
  std::optional<std::string> Type;       // declared content type
  std::optional<std::size_t> CutAfter;   // close the connection after this many body bytes
  std::optional<int> StallMs;            // wait before answering
  std::optional<std::string> Redirect;   // answer with a redirect to this location
  std::optional<int> CacheSeconds;       // let clients cache the answer this long
  std::optional<int> HoldMs;             // with a cut: stay silent this long before dropping
  std::optional<std::size_t> Rate;       // send a file at most this many bytes a second
  std::optional<int> Times;              // the rule holds for this many requests, then goes
  std::optional<std::string> ETag;       // a file's validator instead of the one from its size and time
  std::optional<std::string> Ranges;     // "ignore": whole files only; "wrong": the rest from the start
};

struct TServerOptions {
  std::string Bind = "127.0.0.1";
  int Port = 8080;  // 0 picks a free port
  std::optional<std::filesystem::path> Root;
  std::optional<std::filesystem::path> Info;
  std::optional<std::filesystem::path> PortFile;
  std::map<std::string, TRule> Rules;
  bool Help = false;
};

extern const char* const kUsage;

// Raises std::invalid_argument with a message for a bad command line.
TServerOptions ParseOptions(int argc, char** argv);

// Applies "name=value" to the rule; raises std::invalid_argument for an unknown name.
void SetRuleValue(TRule& rule, const std::string& name, const std::string& value);

}  // namespace connector
