#include "ZipFiles.h"

namespace cvl {
namespace {

class TPlatformZipFiles final : public IZipFiles {
 public:
  TPathKind PathKind(const std::u16string& path) override { return cvl::PathKind(path); }
  bool CreateFolder(const std::u16string& path) override { return cvl::CreateFolder(path); }
  void MovePath(const std::u16string& from, const std::u16string& to) override { cvl::MovePath(from, to); }
  bool RemovePath(const std::u16string& path) noexcept override { return cvl::RemovePath(path); }
  void RemoveTree(const std::u16string& path) noexcept override { cvl::RemoveTree(path); }
  std::uint64_t FreeSpace(const std::u16string& path) override { return cvl::FreeSpace(path); }
  std::vector<std::u16string> ListFolder(const std::u16string& path) override { return cvl::ListFolder(path); }
  std::unique_ptr<TZipOutput> NewFile(const std::u16string& path) override {
    return std::make_unique<TOutputFile>(path);
  }
  std::unique_ptr<TZipSource> OpenSource(const std::u16string& path) override { return OpenZipSource(path); }
};

}  // namespace

IZipFiles& PlatformZipFiles() {
  static TPlatformZipFiles files;
  return files;
}

}  // namespace cvl
