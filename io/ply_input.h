// Buffered byte source of the PLY reader: header lines, raw binary values and
// ASCII tokens, read through one fixed buffer so that a file of any size is
// never held whole in memory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

#include "io/input_file.h"

namespace quarnel {

class PlyInput {
 public:
  static constexpr std::size_t kDefaultCapacity = std::size_t(1) << 18;

  explicit PlyInput(std::size_t capacity = kDefaultCapacity);
  ~PlyInput();
  PlyInput(const PlyInput&) = delete;
  PlyInput& operator=(const PlyInput&) = delete;

  // Opens the file for binary reading; false when it cannot be opened or is
  // no regular file.
  bool Open(const char* path);
  // Reads a file the caller opened, from its first byte; the file must stay
  // open while this reads it.
  bool Open(const InputFile& file);
  void Close();
  bool IsOpen() const { return file_ != nullptr; }

  // Bytes between the read position and the end of the file as it was when
  // opened (an upper bound for what can still be read).
  std::uint64_t Remaining() const {
    std::uint64_t pos = Position();
    return pos < fileSize_ ? fileSize_ - pos : 0;
  }
  std::uint64_t Position() const { return bufferStart_ + std::uint64_t(cur_ - buffer_.get()); }

  // One line, its line feed included when there is one. End only at the end
  // of the file with nothing read; TooLong when the line goes on past
  // `limit` bytes, which are then all that was taken of it.
  enum class Line { Ok, End, TooLong };
  Line ReadLine(std::string& line, std::size_t limit);

  // Exactly n bytes; false (with the bytes that were there consumed) when the
  // file ends first.
  bool ReadBytes(void* dst, std::size_t n) {
    if (std::size_t(end_ - cur_) >= n) {
      std::memcpy(dst, cur_, n);
      cur_ += n;
      return true;
    }
    return ReadBytesSlow(static_cast<char*>(dst), n);
  }
  // Drops n bytes; false when the file holds fewer.
  bool SkipBytes(std::uint64_t n);

  // Makes at least n bytes (n <= capacity) contiguous at the read position
  // and returns their address, or null when the file ends before n bytes.
  const char* Peek(std::size_t n) {
    if (std::size_t(end_ - cur_) >= n) return cur_;
    return PeekSlow(n);
  }
  // Bytes available at the read position without refilling.
  std::size_t Buffered() const { return std::size_t(end_ - cur_); }
  const char* Cursor() const { return cur_; }
  const char* End() const { return end_; }
  void Advance(std::size_t n) { cur_ += n; }
  // Moves the read position within the buffered bytes.
  void SetCursor(const char* p) { cur_ = p; }
  std::size_t Capacity() const { return capacity_; }

  // ASCII: skips blanks (the C locale's white space) and returns the next
  // token, valid until the next call. Tokens longer than the buffer come
  // back as `tooLong` (still consumed). False at the end of the file.
  enum class Token { Ok, End, TooLong };
  Token NextToken(std::string_view& token) {
    // Fast path: the token and the blank that ends it are both buffered.
    const char* p = cur_;
    while (p < end_ && IsBlank(*p)) ++p;
    const char* start = p;
    while (p < end_ && !IsBlank(*p)) ++p;
    if (p < end_ && start < p) {
      token = std::string_view(start, std::size_t(p - start));
      cur_ = p;
      return Token::Ok;
    }
    cur_ = start;
    return NextTokenSlow(token);
  }

  // Space, tab, line feed, vertical tab, form feed, carriage return.
  static bool IsBlank(char c) { return c == ' ' || static_cast<unsigned char>(c - '\t') <= 4; }

 private:
  bool Refill();
  bool ReadBytesSlow(char* dst, std::size_t n);
  const char* PeekSlow(std::size_t n);
  Token NextTokenSlow(std::string_view& token);

  InputFile own_;  // when opened by path
  const InputFile* file_ = nullptr;
  std::unique_ptr<char[]> buffer_;
  std::size_t capacity_;
  const char* cur_;
  const char* end_;
  std::uint64_t bufferStart_ = 0;  // file offset of buffer_[0]
  std::uint64_t fileSize_ = 0;
  bool atEnd_ = false;
};

}  // namespace quarnel
