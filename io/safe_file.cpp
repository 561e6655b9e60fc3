#include "io/safe_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <charconv>
#include <csignal>
#include <cstdlib>

namespace quarnel {

namespace {

// Folder part of a path ("." for a bare file name) and the name itself.
void SplitPath(const std::string& path, std::string& dir, std::string& name) {
  size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) {
    dir = ".";
    name = path;
  } else {
    dir = slash == 0 ? "/" : path.substr(0, slash);
    name = path.substr(slash + 1);
  }
}

std::atomic<unsigned> tempCounter{0};

}  // namespace

void IgnoreFileSizeLimitSignal() { std::signal(SIGXFSZ, SIG_IGN); }

SafeFile::SafeFile(std::size_t bufferSize)
    : buffer_(new char[bufferSize < 64 ? 64 : bufferSize]),
      capacity_(bufferSize < 64 ? 64 : bufferSize) {}

SafeFile::~SafeFile() {
  Discard();
}

bool SafeFile::Open(const char* target) {
  Discard();
  ok_ = false;
  errno_ = 0;
  used_ = 0;
  if (target == nullptr || *target == '\0') {
    errno_ = ENOENT;
    return false;
  }
  target_ = target;

  // Replace the file a link names, not the link itself.
  struct stat st;
  if (::lstat(target_.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
    if (char* real = ::realpath(target_.c_str(), nullptr)) {
      target_ = real;
      std::free(real);
    }
  }

  bool exists = ::stat(target_.c_str(), &st) == 0;
  if (exists && S_ISDIR(st.st_mode)) {
    errno_ = EISDIR;
    return false;
  }
  if (exists && !S_ISREG(st.st_mode)) {
    // A device or a pipe: renaming a file over it would replace the node
    // itself, so it gets the bytes directly. It is opened without blocking,
    // so that a pipe nobody reads fails at once instead of waiting forever;
    // the writes themselves then block as usual.
    fd_ = ::open(target_.c_str(), O_WRONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd_ < 0) {
      errno_ = errno;
      return false;
    }
    int fl = ::fcntl(fd_, F_GETFL);
    if (fl >= 0) ::fcntl(fd_, F_SETFL, fl & ~O_NONBLOCK);
    inPlace_ = true;
    ok_ = true;
    return true;
  }

  // The folder may let a new file be renamed over one the user may not
  // write; that would replace it behind the permissions that protect it.
  if (exists && ::faccessat(AT_FDCWD, target_.c_str(), W_OK, AT_EACCESS) != 0) {
    errno_ = errno;
    return false;
  }

  std::string dir, name;
  SplitPath(target_, dir, name);
  for (int attempt = 0; attempt < 100; ++attempt) {
    temp_ = dir + (dir == "/" ? "." : "/.") + name + ".tmp" + std::to_string(::getpid()) + "-" +
            std::to_string(tempCounter.fetch_add(1));
    // Created with the mode a new file gets from the user's umask.
    fd_ = ::open(temp_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd_ >= 0) break;
    if (errno != EEXIST) break;
  }
  if (fd_ < 0) {
    errno_ = errno;
    temp_.clear();
    return false;
  }
  // A replaced file keeps its permissions. When they cannot be carried over
  // the new file keeps the umask's mode, which loses no data.
  if (exists) (void)::fchmod(fd_, st.st_mode & 07777);
  inPlace_ = false;
  ok_ = true;
  return true;
}

void SafeFile::Fail(int err) {
  if (ok_) errno_ = err;
  ok_ = false;
}

bool SafeFile::Flush() {
  if (fd_ < 0) Fail(EBADF);
  if (!ok_) {
    used_ = 0;
    return false;
  }
  const char* p = buffer_.get();
  size_t left = used_;
  while (left > 0) {
    ssize_t n = ::write(fd_, p, left);
    if (n < 0) {
      if (errno == EINTR) continue;
      Fail(errno);
      break;
    }
    if (n == 0) {
      Fail(EIO);
      break;
    }
    p += n;
    left -= size_t(n);
  }
  used_ = 0;
  return ok_;
}

void SafeFile::WriteSlow(const char* data, std::size_t n) {
  while (n > 0) {
    if (used_ == capacity_ && !Flush()) return;
    size_t chunk = std::min(n, capacity_ - used_);
    std::memcpy(buffer_.get() + used_, data, chunk);
    used_ += chunk;
    data += chunk;
    n -= chunk;
  }
}

template <class... Args>
void SafeFile::PutChars(std::size_t room, Args... args) {
  if (capacity_ - used_ < room) Flush();
  char* p = buffer_.get() + used_;
  used_ += size_t(std::to_chars(p, p + room, args...).ptr - p);
}

bool SafeFile::Commit() {
  if (fd_ < 0) {
    Discard();
    return false;
  }
  Flush();
  // A full or failing disk may only show itself when the data reaches it.
  if (ok_ && !inPlace_ && ::fsync(fd_) != 0) Fail(errno);
  int fd = fd_;
  fd_ = -1;
  if (::close(fd) != 0) Fail(errno);
  if (ok_ && !inPlace_ && ::rename(temp_.c_str(), target_.c_str()) != 0) Fail(errno);
  if (!ok_ && !inPlace_) ::unlink(temp_.c_str());
  temp_.clear();
  bool result = ok_;
  ok_ = false;
  return result;
}

void SafeFile::Discard() {
  if (fd_ >= 0) {
    ::close(fd_);
    fd_ = -1;
    if (!inPlace_) ::unlink(temp_.c_str());
  }
  temp_.clear();
  used_ = 0;
  ok_ = false;
}

void SafeFile::Int(long long v) {
  PutChars(24, v);
}

void SafeFile::G(double v) {
  PutChars(32, v, std::chars_format::general, 6);
}

void SafeFile::E13(double v) {
  char tmp[40];
  auto r = std::to_chars(tmp, tmp + sizeof tmp, v, std::chars_format::scientific, 6);
  size_t len = size_t(r.ptr - tmp);
  for (size_t i = len; i < 13; ++i)
    Char(' ');
  Write(tmp, len);
}

void SafeFile::Exact(float v) {
  PutChars(32, v);
}

void SafeFile::Exact(double v) {
  PutChars(40, v);
}

}  // namespace quarnel
