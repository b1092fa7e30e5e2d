// The files' shared half: reading a whole file.
#include "common/files.h"

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <system_error>

std::optional<std::string> LoadFile(const std::string& path, int* error) {
  const auto fail = [error](int err) -> std::optional<std::string> {
    if (error) *error = err;
    return std::nullopt;
  };
  std::error_code ec;
  const auto status = std::filesystem::status(path, ec);
  if (std::filesystem::is_directory(status)) return fail(EISDIR);
  // A device or a pipe in the file's place is never opened: it may never end.
  if (std::filesystem::exists(status) && !std::filesystem::is_regular_file(status)) return fail(EINVAL);
  errno = 0;
  std::ifstream in(path, std::ios::binary);
  if (!in) return fail(errno ? errno : ENOENT);
  std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  if (in.bad()) return fail(EIO);
  return bytes;
}
