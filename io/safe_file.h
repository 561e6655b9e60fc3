// The one way the writers put a file on disk. The bytes go to a temporary
// file in the target's folder; only when every write, the flush to disk and
// the close have succeeded is the temporary renamed over the target, so a
// failed save or export never truncates or damages a file that was there.
//
// Binary values are written little-endian whatever the host, and numbers in
// text are formatted in the C locale whatever the user's locale.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

namespace quarnel {

// A write past the file-size limit (ulimit -f) ends the process by SIGXFSZ
// unless that signal is ignored; ignored, the write fails with EFBIG, and the
// save fails as on a full disk and removes its temporary file. The program
// calls this once at its start.
void IgnoreFileSizeLimitSignal();

class SafeFile {
 public:
  explicit SafeFile(std::size_t bufferSize = std::size_t(1) << 20);
  // A file that was opened but not committed is discarded: the temporary is
  // removed and the target stays as it was.
  ~SafeFile();
  SafeFile(const SafeFile&) = delete;
  SafeFile& operator=(const SafeFile&) = delete;

  // Starts the output for `target`. A target that exists as something other
  // than a regular file (a character device, a pipe) cannot be replaced by a
  // rename and is written in place; a symbolic link is followed, so the file
  // it names is the one replaced. False when nothing can be created there,
  // when the target is a file the user may not write (even where the folder
  // would let it be replaced), or when the name is null or empty.
  bool Open(const char* target);
  bool Open(const std::string& target) { return Open(target.c_str()); }

  // True while no write has failed.
  bool Ok() const { return ok_; }
  // errno of the first failure, 0 while there is none.
  int Errno() const { return errno_; }

  // Flushes, syncs and closes the output and moves it over the target. False
  // when any step of the whole output failed; the temporary is then removed.
  bool Commit();

  // Raw bytes.
  void Write(const void* data, std::size_t n) {
    if (n <= capacity_ - used_) {
      std::memcpy(buffer_.get() + used_, data, n);
      used_ += n;
    } else {
      WriteSlow(static_cast<const char*>(data), n);
    }
  }

  // Little-endian binary values.
  void U8(std::uint8_t v) { Write(&v, 1); }
  void U16(std::uint16_t v) { PutLittle(v); }
  void I32(std::int32_t v) { PutLittle(static_cast<std::uint32_t>(v)); }
  void U32(std::uint32_t v) { PutLittle(v); }
  void F32(float v) { PutLittle(std::bit_cast<std::uint32_t>(v)); }
  void F64(double v) { PutLittle(std::bit_cast<std::uint64_t>(v)); }

  // Text, numbers in the C locale.
  void Text(std::string_view s) { Write(s.data(), s.size()); }
  void Char(char c) { Write(&c, 1); }
  // Like printf "%d".
  void Int(long long v);
  // Like printf "%g": six significant digits.
  void G(double v);
  // Like printf "%13e": exponent form, six digits after the point, padded
  // with blanks on the left to 13 characters.
  void E13(double v);
  // The shortest text that reads back as the same float.
  void Exact(float v);
  void Exact(double v);

 private:
  template <class U>
  void PutLittle(U v) {
    if constexpr (std::endian::native != std::endian::little) v = SwapBytes(v);
    Write(&v, sizeof v);
  }
  template <class U>
  static U SwapBytes(U v) {
    U r = 0;
    for (std::size_t i = 0; i < sizeof v; ++i) {
      r = U((r << 8) | (v & 0xFF));
      v = U(v >> 8);
    }
    return r;
  }

  // One number formatted by std::to_chars(args...) at the end of the buffer,
  // which is flushed first when fewer than `room` characters are left.
  template <class... Args>
  void PutChars(std::size_t room, Args... args);
  void WriteSlow(const char* data, std::size_t n);
  bool Flush();
  void Fail(int err);
  void Discard();

  std::unique_ptr<char[]> buffer_;
  std::size_t capacity_;
  std::size_t used_ = 0;
  int fd_ = -1;
  bool inPlace_ = false;  // writing straight into a device or pipe
  bool ok_ = false;
  int errno_ = 0;
  std::string target_;
  std::string temp_;
};

}  // namespace quarnel
