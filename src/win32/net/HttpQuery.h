// The server information query over WinHTTP: the transport under the core's decoding
// (core/ServerInfo.h).
#pragma once

#include <functional>
#include <string>

#include "core/Exception.h"
#include "core/ServerInfo.h"

namespace cvl {

// No answer arrived: unreachable, refused, timed out, or an answer too large to be ours.
class EHttpError : public Exception {
 public:
  explicit EHttpError(std::u16string message) : Exception("EHttpError", std::move(message)) {}
};

// One GET through WinHTTP with the request's user agent, Accept and Accept-Charset, its
// time-out for resolving, connecting, sending and receiving alike, redirects followed.
// Raises EHttpError when no answer arrives; every status is an answer.
class TWinHttpClient : public IHttpClient {
 public:
  THttpAnswer Get(const THttpRequest& request) override;
};

// The main window's client: the same GET on a thread of its own while this thread keeps
// running its window messages, so the window paints and can be closed meanwhile. It
// gives up (EHttpError) when the request's time-out has passed without an answer, or
// when `cancelled` says so; an exchange given up on finishes alone and is forgotten.
class TWaitingHttpClient : public IHttpClient {
 public:
  explicit TWaitingHttpClient(std::function<bool()> cancelled) : FCancelled(std::move(cancelled)) {}
  THttpAnswer Get(const THttpRequest& request) override;

 private:
  std::function<bool()> FCancelled;
};

// The main window's query: QueryServerInfo of the core over TWaitingHttpClient. 1 or -1.
int QueryServerInfo(TConnectInfo& info, std::u16string& baseServerAdr, const std::function<bool()>& cancelled);

}  // namespace cvl
