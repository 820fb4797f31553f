#pragma once
// A fresh folder under the system's temporary directory, removed with everything in it.

#include <filesystem>
#include <string>

namespace kalvort::test {

class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir &) = delete;
  TempDir &operator=(const TempDir &) = delete;

  const std::filesystem::path &path() const { return path_; }
  std::filesystem::path file(const std::string &name) const { return path_ / name; }

 private:
  std::filesystem::path path_;
};

std::string readFileBytes(const std::filesystem::path &path);
void writeFileBytes(const std::filesystem::path &path, const std::string &bytes);

}  // namespace kalvort::test
