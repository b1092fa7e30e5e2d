#pragma once
// A text file written whole lines at a time, each piece in one write straight
// to the file: what has been appended is on disk as soon as Append returns,
// also if the program is killed right after. A failed write is cut back, so
// the file always ends with a complete line. One thread at a time.

#include <cstdint>
#include <string>
#include <string_view>

class LineFile {
 public:
  LineFile() = default;
  LineFile(const LineFile&) = delete;
  LineFile& operator=(const LineFile&) = delete;
  ~LineFile();

  // Creates the file, replacing one of the same name unless exclusive (then
  // an existing file fails with EEXIST).
  bool Create(const std::string& path, bool exclusive = false);
  // Opens an existing file to write after its first `keep` bytes; anything
  // beyond them (a line cut short elsewhere) is cut off.
  bool OpenExisting(const std::string& path, std::uint64_t keep);
  bool IsOpen() const { return handle_ != kNoHandle; }
  // Appends text (whole lines) in one write. On failure the file is cut back
  // to where it ended before, and Error() says why.
  bool Append(std::string_view text);
  // Overwrites bytes already written, at offset.
  bool WriteAt(std::uint64_t offset, std::string_view bytes);
  // Cuts the file back to its first `size` bytes (not beyond its end).
  bool CutTo(std::uint64_t size);
  // Asks the system to put what was written on the medium.
  bool Sync();
  // Closes; false when the system reports a late failure (network, removable media).
  bool Close();

  std::uint64_t Size() const { return size_; }
  const std::string& Path() const { return path_; }
  // errno of the last failure.
  int Error() const { return error_; }

 private:
  bool Fail(int err);

  static constexpr std::intptr_t kNoHandle = -1;
  std::intptr_t handle_ = kNoHandle;  // the system's, see files_os.h
  std::string path_;
  std::uint64_t size_ = 0;  // end of the last complete line
  int error_ = 0;
};
