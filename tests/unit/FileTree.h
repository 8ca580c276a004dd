// Files and folder trees on disk for the extractor's tests.
#pragma once

#include <filesystem>
#include <fstream>
#include <map>
#include <string>

#include "core/Text.h"

namespace cvl::test {

inline std::string ReadAll(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

inline void WriteAll(const std::filesystem::path& path, const std::string& data) {
  std::filesystem::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << data;
}

// Every file and folder below `root`, relative, with the files' contents.
inline std::map<std::string, std::string> Snapshot(const std::filesystem::path& root) {
  std::map<std::string, std::string> tree;
  for (const auto& item : std::filesystem::recursive_directory_iterator(root)) {
    const std::string name = Utf16ToUtf8(std::filesystem::relative(item.path(), root).generic_u16string());
    tree[name] = item.is_directory() ? "<dir>" : ReadAll(item.path());
  }
  return tree;
}

}  // namespace cvl::test
