#include "ConnectorServer.h"

#include <chrono>
#include <fstream>
#include <stdexcept>
#include <thread>

#include "InfoAnswer.h"

namespace connector {
namespace {

constexpr const char* kInfoPath = "/outgame/info";
constexpr const char* kControlPrefix = "/__";
constexpr const char* kLastModified = "Mon, 01 Jan 2024 00:00:00 GMT";

// A path below the root, or nullopt when it would leave it.
std::optional<std::filesystem::path> BelowRoot(const std::filesystem::path& root, const std::string& path) {
  std::filesystem::path relative = std::filesystem::path(path).relative_path().lexically_normal();
  if (relative.empty() || *relative.begin() == "..") return std::nullopt;
  return root / relative;
}

std::string TypeOf(const std::filesystem::path& file) {
  const std::string ext = file.extension().string();
  if (ext == ".zip") return "application/zip";
  if (ext == ".json") return "application/json";
  if (ext == ".txt") return "text/plain";
  return "application/octet-stream";
}

}  // namespace

TConnectorServer::TConnectorServer(TServerOptions options) : FOptions(std::move(options)) {
  FServer.Get(".*", [this](const httplib::Request& q, httplib::Response& r) { Answer(q, r); });
}

int TConnectorServer::Bind() {
  const int port = FOptions.Port == 0 ? FServer.bind_to_any_port(FOptions.Bind)
                                      : (FServer.bind_to_port(FOptions.Bind, FOptions.Port) ? FOptions.Port : -1);
  if (port <= 0) throw std::runtime_error("cannot listen on " + FOptions.Bind + ":" + std::to_string(FOptions.Port));
  return port;
}

void TConnectorServer::Run() { FServer.listen_after_bind(); }
void TConnectorServer::Stop() {
  FStopping = true;
  FServer.stop();
}

void TConnectorServer::Pause(long long ms) const {
  const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (!FStopping && std::chrono::steady_clock::now() < until) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

void TConnectorServer::Answer(const httplib::Request& request, httplib::Response& response) {
  if (request.path.rfind(kControlPrefix, 0) == 0) {
    Control(request, response);
    return;
  }
  const TSentCount sent = Record(request);
  std::optional<TRule> rule;
  {
    std::lock_guard<std::mutex> lock(FLock);
    const auto found = FOptions.Rules.find(request.path);
    if (found != FOptions.Rules.end()) {
      rule = found->second;
      // A rule for a number of requests counts this one and goes after the last.
      if (found->second.Times && --*found->second.Times <= 0) FOptions.Rules.erase(found);
    }
  }
  if (rule && rule->StallMs) std::this_thread::sleep_for(std::chrono::milliseconds(*rule->StallMs));
  if (rule && rule->Redirect) {
    response.set_redirect(*rule->Redirect, rule->Status.value_or(302));
    return;
  }
  if (rule && rule->Body) {
    response.status = 200;
    response.set_content(*rule->Body, "text/plain");
  } else {
    Content(request, response, rule, sent);
  }
  if (rule) Misbehave(*rule, response);
}

void TConnectorServer::Content(const httplib::Request& request, httplib::Response& response,
                               const std::optional<TRule>& rule, const TSentCount& sent) {
  const std::string& path = request.path;
  if (path == kInfoPath && FOptions.Info) {
    response.set_content(InfoAnswerFromFile(*FOptions.Info), "application/json");
    return;
  }
  if (FOptions.Root) {
    const auto file = BelowRoot(*FOptions.Root, path);
    if (file && std::filesystem::is_regular_file(*file)) {
      ServeFile(request, *file, response, rule, sent);
      return;
    }
  }
  response.status = 404;
  response.set_content("Not found\n", "text/plain");
}

// Streams the file, so a large archive never sits in memory whole. With a cut, the whole
// size is announced but the connection drops after that many bytes (after a silent hold,
// when one is set); with a rate, the bytes go out no faster than that.
// A file carries an ETag from its size and time; a range of it is answered (206) only while
// an If-Range still names that ETag (or the Last-Modified a cache rule gives).
void TConnectorServer::ServeFile(const httplib::Request& request, const std::filesystem::path& file,
                                 httplib::Response& response, const std::optional<TRule>& rule,
                                 const TSentCount& sent) {
  const auto size = static_cast<std::size_t>(std::filesystem::file_size(file));
  const auto stamp = std::filesystem::last_write_time(file).time_since_epoch().count();
  const std::string etag = rule && rule->ETag ? *rule->ETag
                                              : "\"" + std::to_string(size) + "-" + std::to_string(stamp) + "\"";
  response.set_header("ETag", etag);
  // The ranges are parsed before a handler runs; these are the answers that change them.
  auto& ranges = const_cast<httplib::Request&>(request).ranges;
  const std::string ifRange = request.get_header_value("If-Range");
  const bool current = ifRange.empty() || ifRange == etag || (rule && rule->CacheSeconds && ifRange == kLastModified);
  if (!current || (rule && rule->Ranges == "ignore")) ranges.clear();
  if (!ranges.empty() && rule && rule->Ranges == "wrong") ranges = {{0, -1}};
  const std::size_t limit = std::min(size, rule && rule->CutAfter ? *rule->CutAfter : size);
  const long long holdMs = rule && rule->HoldMs ? *rule->HoldMs : 0;
  const std::size_t rate = rule && rule->Rate ? *rule->Rate : 0;
  const std::size_t piece = rate > 0 ? std::max<std::size_t>(1, std::min<std::size_t>(rate / 10, 64 * 1024)) : 64 * 1024;
  auto in = std::make_shared<std::ifstream>(file, std::ios::binary);
  const auto start = std::chrono::steady_clock::now();
  response.set_content_provider(size, TypeOf(file), [this, in, limit, holdMs, rate, piece, start, sent](
                                                        std::size_t offset, std::size_t length, httplib::DataSink& sink) {
    if (offset >= limit) {
      Pause(holdMs);
      return false;
    }
    if (rate > 0) {
      const auto due = start + std::chrono::milliseconds(static_cast<long long>(offset * 1000 / rate));
      Pause(std::chrono::duration_cast<std::chrono::milliseconds>(due - std::chrono::steady_clock::now()).count());
    }
    std::string buffer(std::min({length, limit - offset, piece}), '\0');
    in->seekg(static_cast<std::streamoff>(offset));
    in->read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
    const auto got = static_cast<std::size_t>(in->gcount());
    if (got == 0) return false;
    // Counted before the write, so a client that has the bytes finds them counted.
    *sent += got;
    if (sink.write(buffer.data(), got)) return true;
    *sent -= got;
    return false;
  });
}

void TConnectorServer::Misbehave(const TRule& rule, httplib::Response& response) {
  if (rule.Status) response.status = *rule.Status;
  if (rule.CacheSeconds) {
    response.set_header("Cache-Control", "public, max-age=" + std::to_string(*rule.CacheSeconds));
    response.set_header("Last-Modified", kLastModified);
  }
  if (rule.Type) {
    response.headers.erase("Content-Type");
    response.set_header("Content-Type", *rule.Type);
  }
  if (rule.CutAfter && !response.body.empty()) {
    // Announce the whole body, send part of it, then drop the connection (files are cut
    // while they stream, see ServeFile).
    const std::string body = response.body;
    const std::size_t cut = std::min(*rule.CutAfter, body.size());
    const std::string type = response.get_header_value("Content-Type");
    response.body.clear();
    response.headers.erase("Content-Type");
    response.set_content_provider(body.size(), type, [body, cut](std::size_t offset, std::size_t, httplib::DataSink& sink) {
      if (offset >= cut) return false;
      return sink.write(body.data() + offset, cut - offset);
    });
  }
}

TConnectorServer::TSentCount TConnectorServer::Record(const httplib::Request& request) {
  nlohmann::json headers = nlohmann::json::object();
  for (const auto& [name, value] : request.headers) {
    if (name != "REMOTE_ADDR" && name != "REMOTE_PORT" && name != "LOCAL_ADDR" && name != "LOCAL_PORT") {
      headers[name] = value;
    }
  }
  auto sent = std::make_shared<std::atomic<std::uint64_t>>(0);
  std::lock_guard<std::mutex> lock(FLock);
  FRequests.push_back({{"method", request.method}, {"path", request.path}, {"headers", headers}});
  FSent.push_back(sent);
  return sent;
}

void TConnectorServer::Control(const httplib::Request& request, httplib::Response& response) {
  std::lock_guard<std::mutex> lock(FLock);
  if (request.path == "/__requests") {
    nlohmann::json requests = FRequests;
    for (std::size_t i = 0; i < requests.size(); ++i) requests[i]["sent"] = FSent[i]->load();
    response.set_content(requests.dump(), "application/json");
  } else if (request.path == "/__reset") {
    FRequests = nlohmann::json::array();
    FSent.clear();
    FOptions.Rules.clear();
    response.set_content("ok\n", "text/plain");
  } else if (request.path == "/__rule" && request.has_param("path")) {
    TRule rule;
    try {
      for (const auto& [name, value] : request.params) {
        if (name != "path") SetRuleValue(rule, name, value);
      }
    } catch (const std::invalid_argument& error) {
      response.status = 400;
      response.set_content(std::string(error.what()) + "\n", "text/plain");
      return;
    }
    const std::string path = request.get_param_value("path");
    if (request.params.size() == 1) FOptions.Rules.erase(path);
    else FOptions.Rules[path] = rule;
    response.set_content("ok\n", "text/plain");
  } else {
    response.status = 404;
    response.set_content("unknown control request\n", "text/plain");
  }
}

}  // namespace connector
