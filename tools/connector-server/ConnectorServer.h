// The connector server: files under their paths, the information answer, per-path test
// behaviours, and a record of every request's headers and of the file bytes sent for it.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <httplib.h>
#include <nlohmann/json.hpp>

#include "ServerOptions.h"

namespace connector {

class TConnectorServer {
 public:
  explicit TConnectorServer(TServerOptions options);

  // Binds; returns the port (raises std::runtime_error when it cannot bind).
  int Bind();
  // Serves until Stop.
  void Run();
  void Stop();

 private:
  void Answer(const httplib::Request& request, httplib::Response& response);
  void Control(const httplib::Request& request, httplib::Response& response);
  using TSentCount = std::shared_ptr<std::atomic<std::uint64_t>>;
  // Records the request; returns the count of the file bytes its answer sends.
  TSentCount Record(const httplib::Request& request);
  // The normal answer of a path: the information answer, a file, or 404.
  void Content(const httplib::Request& request, httplib::Response& response, const std::optional<TRule>& rule,
               const TSentCount& sent);
  void ServeFile(const httplib::Request& request, const std::filesystem::path& file, httplib::Response& response,
                 const std::optional<TRule>& rule, const TSentCount& sent);
  // Sleeps up to `ms`, in slices, ending early when the server stops.
  void Pause(long long ms) const;
  void Misbehave(const TRule& rule, httplib::Response& response);

  TServerOptions FOptions;
  httplib::Server FServer;
  std::mutex FLock;  // guards FOptions.Rules, FRequests and FSent
  std::atomic<bool> FStopping{false};
  nlohmann::json FRequests = nlohmann::json::array();
  std::vector<TSentCount> FSent;  // one for each of FRequests
};

}  // namespace connector
