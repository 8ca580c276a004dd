// How long the launcher waits for the network before it gives up, in one place.
#pragma once

#include <cstdint>

namespace cvl {

// The server query: this long to connect, and this long again for the answer.
inline constexpr std::uint32_t kQueryTimeoutMs = 30000;
// A download that receives no byte for this long is abandoned as a failed attempt.
inline constexpr std::uint32_t kDownloadStallTimeoutMs = 30000;

// The values in force: the ones above, unless the environment variable
// CVL_TEST_TIMEOUT_MS (meant for the tests only, which cannot wait half a minute per
// case) gives a shorter one for both.
std::uint32_t QueryTimeoutMs();
std::uint32_t DownloadStallTimeoutMs();

}  // namespace cvl
