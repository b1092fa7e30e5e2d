#pragma once
// A fresh folder under the system's temporary folder, removed with everything
// in it when the object goes.

#include <atomic>
#include <chrono>
#include <filesystem>
#include <string>
#include <system_error>

class TempDir {
 public:
  TempDir() {
    static std::atomic<int> serial{0};
    const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    path_ = std::filesystem::temp_directory_path() /
            ("varnek-test-" + std::to_string(stamp) + "-" + std::to_string(serial++));
    std::filesystem::create_directories(path_);
  }
  ~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& Path() const { return path_; }
  // The folder itself, or a name inside it ("a/b" with this system's
  // separators, as the program writes its paths).
  std::string File(const std::string& name = "") const {
    return name.empty() ? path_.string() : (path_ / std::filesystem::path(name).make_preferred()).string();
  }

 private:
  std::filesystem::path path_;
};
