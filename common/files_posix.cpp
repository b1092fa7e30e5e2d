// Replacing files and writing line files on Linux: descriptors, fsync and rename.
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>

#include "common/files.h"
#include "common/files_os.h"

namespace {

int WriteAll(int fd, std::string_view bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return errno;
    if (n == 0) return EIO;
    done += static_cast<std::size_t>(n);
  }
  return 0;
}

// Temporaries of saves that never finished: their program was killed. One
// whose program still runs (a second window) is left to it.
void RemoveLeftoverTemps(const std::filesystem::path& target) {
  namespace fs = std::filesystem;
  const std::string prefix = target.filename().string() + kTempFileInfix;
  std::error_code ec;
  for (fs::directory_iterator it(target.parent_path(), ec), end; !ec && it != end; it.increment(ec)) {
    const std::string name = it->path().filename().string();
    if (name.compare(0, prefix.size(), prefix) != 0) continue;
    const std::string digits = name.substr(prefix.size());
    if (digits.empty() || digits.size() > 9 || digits.find_first_not_of("0123456789") != std::string::npos)
      continue;
    const pid_t pid = static_cast<pid_t>(std::stol(digits));
    if (pid <= 0) continue;
    const bool running = pid != ::getpid() && (::kill(pid, 0) == 0 || errno == EPERM);
    if (!running) ::unlink(it->path().c_str());
  }
}

// The rename itself on the disk too; best effort.
void SyncFolder(const std::filesystem::path& dir) {
  const int fd = ::open(dir.empty() ? "." : dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  (void)::fsync(fd);
  ::close(fd);
}

}  // namespace

int ReplaceWholeFile(const std::string& path, std::string_view bytes) {
  namespace fs = std::filesystem;
  std::error_code ec;
  fs::path target = fs::exists(path, ec) ? fs::canonical(path, ec) : fs::path(path);
  if (ec) target = path;
  RemoveLeftoverTemps(target);
  const std::string temp = target.string() + kTempFileInfix + std::to_string(::getpid());
  const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd < 0) {
    const int tempError = errno;
    const int direct = ::open(target.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
    if (direct < 0) return tempError;
    int err = WriteAll(direct, bytes);
    if (::close(direct) != 0 && err == 0 && errno != EINTR) err = errno;
    return err;
  }
  struct stat st {};
  if (::stat(target.c_str(), &st) == 0) ::fchmod(fd, st.st_mode & 07777);
  int err = WriteAll(fd, bytes);
  if (err == 0 && ::fsync(fd) != 0) err = errno;
  if (::close(fd) != 0 && err == 0 && errno != EINTR) err = errno;
  if (err == 0 && ::rename(temp.c_str(), target.c_str()) != 0) err = errno;
  if (err != 0) {
    ::unlink(temp.c_str());
    return err;
  }
  SyncFolder(target.parent_path());
  return 0;
}

namespace files_os {

int Open(const std::string& path, OpenMode mode, Handle& handle) {
  int flags = O_CLOEXEC;
  switch (mode) {
    case OpenMode::Truncate: flags |= O_WRONLY | O_CREAT | O_TRUNC; break;
    case OpenMode::Exclusive: flags |= O_WRONLY | O_CREAT | O_EXCL; break;
    case OpenMode::Existing: flags |= O_RDWR; break;
  }
  const int fd = ::open(path.c_str(), flags, 0666);
  if (fd < 0) return errno;
  handle = fd;
  return 0;
}

int Size(Handle handle, std::uint64_t& size) {
  struct stat st {};
  if (::fstat(static_cast<int>(handle), &st) != 0) return errno;
  size = static_cast<std::uint64_t>(st.st_size);
  return 0;
}

int WriteAt(Handle handle, std::uint64_t offset, std::string_view bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::pwrite(static_cast<int>(handle), bytes.data() + done, bytes.size() - done,
                               static_cast<off_t>(offset + done));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return errno;
    if (n == 0) return EIO;
    done += static_cast<std::size_t>(n);
  }
  return 0;
}

int Truncate(Handle handle, std::uint64_t size) {
  int rc;
  while ((rc = ::ftruncate(static_cast<int>(handle), static_cast<off_t>(size))) != 0 && errno == EINTR) {
  }
  return rc == 0 ? 0 : errno;
}

int Sync(Handle handle) {
  int rc;
  while ((rc = ::fdatasync(static_cast<int>(handle))) != 0 && errno == EINTR) {
  }
  return rc == 0 ? 0 : errno;
}

int Close(Handle handle) { return ::close(static_cast<int>(handle)) != 0 && errno != EINTR ? errno : 0; }

}  // namespace files_os
