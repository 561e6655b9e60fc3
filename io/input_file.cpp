#include "io/input_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>

namespace quarnel {

InputFile::~InputFile() { Close(); }

bool InputFile::Open(const char* path) {
  Close();
  if (path == nullptr || *path == '\0') return false;
  // Looked at before the open, so that opening has no side effect on a
  // device; looked at again on the open file, so that a node put in its
  // place meanwhile is refused as well. The open itself does not wait: a
  // pipe without a writer opens at once and is then refused.
  struct stat st;
  if (::stat(path, &st) != 0 || !S_ISREG(st.st_mode)) return false;
  const int fd = ::open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  if (fd < 0) return false;
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    return false;
  }
  const int flags = ::fcntl(fd, F_GETFL);
  if (flags >= 0) ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
  fd_ = fd;
  size_ = st.st_size > 0 ? std::uint64_t(st.st_size) : 0;
  path_ = path;
  return true;
}

bool InputFile::Open(const std::string& path) {
  if (path.find('\0') != std::string::npos) {
    Close();
    return false;
  }
  return Open(path.c_str());
}

void InputFile::Close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  size_ = 0;
  path_.clear();
}

int InputFile::Release() {
  const int fd = fd_;
  fd_ = -1;
  Close();
  return fd;
}

std::size_t InputFile::ReadAt(void* dst, std::size_t n, std::uint64_t offset) const {
  if (fd_ < 0) return 0;
  char* out = static_cast<char*>(dst);
  std::size_t done = 0;
  while (done < n) {
    const std::uint64_t at = offset + done;
    if (at > std::uint64_t(LLONG_MAX)) break;
    const ssize_t got = ::pread(fd_, out + done, n - done, off_t(at));
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    done += std::size_t(got);
  }
  return done;
}

}  // namespace quarnel
