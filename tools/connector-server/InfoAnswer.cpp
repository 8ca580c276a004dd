#include "InfoAnswer.h"

#include <fstream>
#include <stdexcept>

#include <nlohmann/json.hpp>

#include "core/StringCipher.h"
#include "core/Text.h"

namespace connector {

std::string InfoAnswerFromFile(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + file.string());
  nlohmann::ordered_json answer = nlohmann::ordered_json::object();
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const auto equals = line.find('=');
    if (line.empty() || line[0] == '#' || equals == std::string::npos) continue;
    const std::string key = line.substr(0, equals);
    const std::string value = line.substr(equals + 1);
    answer[key] = key == "result_code"
                      ? value
                      : cvl::Utf16ToUtf8(cvl::EncryptString(cvl::Utf8ToUtf16(value), cvl::ServerKeyText));
  }
  return answer.dump();
}

}  // namespace connector
