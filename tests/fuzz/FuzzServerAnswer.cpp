// Any HTTP answer (first line the content type, the rest the body) decodes to 1 or -1,
// and any JSON text read by member either gives text or raises EJSONException.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "core/BodyText.h"
#include "core/JsonText.h"
#include "core/ServerInfo.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const std::size_t split = input.find('\n');
  const std::string_view contentType = split == std::string_view::npos ? std::string_view() : input.substr(0, split);
  const std::string_view body = split == std::string_view::npos ? input : input.substr(split + 1);
  const auto text = cvl::DecodeBodyText(contentType, body);
  if (!text) return 0;
  cvl::TConnectInfo info;
  const int result = cvl::DecodeServerInfo(*text, u"http://127.0.0.1:8080", info);
  if (result != 1 && result != -1) __builtin_trap();
  try {
    cvl::PatchDownloadPath(*text);
  } catch (const cvl::EJSONException&) {
  }
  return 0;
}
