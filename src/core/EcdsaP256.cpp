#include "EcdsaP256.h"

#include <algorithm>

namespace cvl {

bool InOpenRange(const std::uint8_t* value, const TP256Scalar& limit) {
  if (std::all_of(value, value + limit.size(), [](std::uint8_t b) { return b == 0; })) return false;
  return std::lexicographical_compare(value, value + limit.size(), limit.begin(), limit.end());
}

}  // namespace cvl
