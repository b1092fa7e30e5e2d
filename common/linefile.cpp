#include "common/linefile.h"

#include <cerrno>

#include "common/files_os.h"

static_assert(files_os::kNoFile == -1, "LineFile's closed handle");

LineFile::~LineFile() {
  if (IsOpen()) files_os::Close(handle_);
}

bool LineFile::Fail(int err) {
  error_ = err;
  return false;
}

bool LineFile::Create(const std::string& path, bool exclusive) {
  Close();
  path_ = path;
  size_ = 0;
  const auto mode = exclusive ? files_os::OpenMode::Exclusive : files_os::OpenMode::Truncate;
  const int err = files_os::Open(path, mode, handle_);
  return err == 0 || Fail(err);
}

bool LineFile::OpenExisting(const std::string& path, std::uint64_t keep) {
  Close();
  path_ = path;
  if (const int err = files_os::Open(path, files_os::OpenMode::Existing, handle_)) return Fail(err);
  std::uint64_t size = 0;
  if (const int err = files_os::Size(handle_, size)) return Fail(err);
  size_ = keep;
  if (size > keep)
    if (const int err = files_os::Truncate(handle_, keep)) return Fail(err);
  return true;
}

bool LineFile::Append(std::string_view text) {
  if (!IsOpen()) return Fail(EBADF);
  if (const int err = files_os::WriteAt(handle_, size_, text)) {
    // Best effort: gone media refuse this too.
    files_os::Truncate(handle_, size_);
    return Fail(err);
  }
  size_ += text.size();
  return true;
}

bool LineFile::WriteAt(std::uint64_t offset, std::string_view bytes) {
  if (!IsOpen()) return Fail(EBADF);
  if (offset + bytes.size() > size_) return Fail(EINVAL);
  const int err = files_os::WriteAt(handle_, offset, bytes);
  return err == 0 || Fail(err);
}

bool LineFile::CutTo(std::uint64_t size) {
  if (!IsOpen()) return Fail(EBADF);
  if (size >= size_) return true;
  if (const int err = files_os::Truncate(handle_, size)) return Fail(err);
  size_ = size;
  return true;
}

bool LineFile::Sync() {
  if (!IsOpen()) return Fail(EBADF);
  const int err = files_os::Sync(handle_);
  return err == 0 || Fail(err);
}

bool LineFile::Close() {
  if (!IsOpen()) return true;
  const files_os::Handle handle = handle_;
  handle_ = kNoHandle;
  const int err = files_os::Close(handle);
  return err == 0 || Fail(err);
}
