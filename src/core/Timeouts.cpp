#include "Timeouts.h"

#include <cstdlib>

namespace cvl {
namespace {

// A test setting may only shorten a time-out, never make one longer or switch it off.
std::uint32_t InForce(std::uint32_t shipped) {
  const char* text = std::getenv("CVL_TEST_TIMEOUT_MS");
  if (text == nullptr || *text == '\0') return shipped;
  char* end = nullptr;
  const unsigned long value = std::strtoul(text, &end, 10);
  if (*end != '\0' || value == 0 || value >= shipped) return shipped;
  return static_cast<std::uint32_t>(value);
}

}  // namespace

std::uint32_t QueryTimeoutMs() { return InForce(kQueryTimeoutMs); }
std::uint32_t DownloadStallTimeoutMs() { return InForce(kDownloadStallTimeoutMs); }

}  // namespace cvl
