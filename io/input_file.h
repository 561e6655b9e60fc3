// A mesh or image file opened for reading. Only a regular file is taken: a
// folder, a pipe, a device or a socket is refused at once, without waiting
// on it (a pipe with no writer would hold the open forever, a device such
// as /dev/zero never ends). One open serves every reader of a load: each
// reads by offset, so they do not disturb one another.
#pragma once

#include <cstdint>
#include <string>

namespace quarnel {

class InputFile {
 public:
  InputFile() = default;
  ~InputFile();
  InputFile(const InputFile&) = delete;
  InputFile& operator=(const InputFile&) = delete;

  // False, with the file closed, when the path cannot be opened for reading
  // or names anything but a regular file.
  bool Open(const char* path);
  // The same, and false for a path that holds a NUL: the system would take
  // only the part before it, which names another file.
  bool Open(const std::string& path);
  void Close();
  bool IsOpen() const { return fd_ >= 0; }

  // The descriptor, -1 when closed; it stays the file's.
  int Descriptor() const { return fd_; }
  // Gives the descriptor to the caller, who closes it; the file is closed.
  int Release();
  // The size when it was opened.
  std::uint64_t Size() const { return size_; }
  // The path as given to Open.
  const std::string& Path() const { return path_; }

  // Up to n bytes from the offset on; fewer only at the end of the file or
  // on a read error.
  std::size_t ReadAt(void* dst, std::size_t n, std::uint64_t offset) const;

 private:
  int fd_ = -1;
  std::uint64_t size_ = 0;
  std::string path_;
};

}  // namespace quarnel
