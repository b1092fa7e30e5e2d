#include "common/linefile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace {

bool Truncate(int fd, std::uint64_t size) {
  int rc;
  while ((rc = ::ftruncate(fd, static_cast<off_t>(size))) != 0 && errno == EINTR) {
  }
  return rc == 0;
}

// Writes all bytes at offset; errno is left set on failure.
bool WriteAll(int fd, std::string_view bytes, std::uint64_t offset) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n =
        ::pwrite(fd, bytes.data() + done, bytes.size() - done, static_cast<off_t>(offset + done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      if (n == 0) errno = EIO;
      return false;
    }
    done += static_cast<std::size_t>(n);
  }
  return true;
}

}  // namespace

LineFile::~LineFile() {
  if (fd_ >= 0) ::close(fd_);
}

bool LineFile::Fail(int err) {
  error_ = err;
  return false;
}

bool LineFile::Create(const std::string& path, bool exclusive) {
  Close();
  path_ = path;
  size_ = 0;
  const int flags = O_WRONLY | O_CREAT | O_CLOEXEC | (exclusive ? O_EXCL : O_TRUNC);
  fd_ = ::open(path.c_str(), flags, 0666);
  return fd_ >= 0 || Fail(errno);
}

bool LineFile::OpenExisting(const std::string& path, std::uint64_t keep) {
  Close();
  path_ = path;
  fd_ = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
  if (fd_ < 0) return Fail(errno);
  struct stat st {};
  if (::fstat(fd_, &st) != 0) return Fail(errno);
  size_ = keep;
  if (static_cast<std::uint64_t>(st.st_size) > keep && !Truncate(fd_, keep)) return Fail(errno);
  return true;
}

bool LineFile::Append(std::string_view text) {
  if (fd_ < 0) return Fail(EBADF);
  if (!WriteAll(fd_, text, size_)) {
    const int err = errno;
    // Best effort: gone media refuse this too.
    Truncate(fd_, size_);
    return Fail(err);
  }
  size_ += text.size();
  return true;
}

bool LineFile::WriteAt(std::uint64_t offset, std::string_view bytes) {
  if (fd_ < 0) return Fail(EBADF);
  if (offset + bytes.size() > size_) return Fail(EINVAL);
  return WriteAll(fd_, bytes, offset) || Fail(errno);
}

bool LineFile::CutTo(std::uint64_t size) {
  if (fd_ < 0) return Fail(EBADF);
  if (size >= size_) return true;
  if (!Truncate(fd_, size)) return Fail(errno);
  size_ = size;
  return true;
}

bool LineFile::Sync() {
  if (fd_ < 0) return Fail(EBADF);
  int rc;
  while ((rc = ::fdatasync(fd_)) != 0 && errno == EINTR) {
  }
  return rc == 0 || Fail(errno);
}

bool LineFile::Close() {
  if (fd_ < 0) return true;
  const int fd = fd_;
  fd_ = -1;
  return ::close(fd) == 0 || errno == EINTR || Fail(errno);
}
