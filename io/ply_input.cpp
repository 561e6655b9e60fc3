#include "io/ply_input.h"

#include <algorithm>

namespace quarnel {

PlyInput::PlyInput(std::size_t capacity)
    : buffer_(new char[std::max<std::size_t>(capacity, 64)]),
      capacity_(std::max<std::size_t>(capacity, 64)),
      cur_(buffer_.get()),
      end_(buffer_.get()) {}

PlyInput::~PlyInput() { Close(); }

bool PlyInput::Open(const char* path) {
  Close();
  if (path == nullptr || !own_.Open(path)) return false;
  return Open(own_);
}

bool PlyInput::Open(const InputFile& file) {
  if (&file != &own_) Close();
  if (!file.IsOpen()) return false;
  file_ = &file;
  fileSize_ = file.Size();
  cur_ = end_ = buffer_.get();
  bufferStart_ = 0;
  atEnd_ = false;
  return true;
}

void PlyInput::Close() {
  file_ = nullptr;
  own_.Close();
  cur_ = end_ = buffer_.get();
  bufferStart_ = 0;
  atEnd_ = true;
}

bool PlyInput::Refill() {
  if (file_ == nullptr || atEnd_) return false;
  char* base = buffer_.get();
  std::size_t keep = std::size_t(end_ - cur_);
  if (cur_ != base) {
    std::memmove(base, cur_, keep);
    bufferStart_ += std::uint64_t(cur_ - base);
  }
  cur_ = base;
  end_ = base + keep;
  std::size_t room = capacity_ - keep;
  if (room == 0) return false;
  std::size_t got = file_->ReadAt(base + keep, room, bufferStart_ + keep);
  end_ += got;
  if (got < room) atEnd_ = true;
  return got > 0;
}

PlyInput::Line PlyInput::ReadLine(std::string& line, std::size_t limit) {
  line.clear();
  for (;;) {
    if (cur_ == end_ && !Refill()) return line.empty() ? Line::End : Line::Ok;
    const char* nl = static_cast<const char*>(std::memchr(cur_, '\n', std::size_t(end_ - cur_)));
    const std::size_t take = nl != nullptr ? std::size_t(nl + 1 - cur_) : std::size_t(end_ - cur_);
    if (take > limit - line.size()) {
      // Taken no further: however the line goes on, it is no line of a
      // header, and the rest of the file need not be read to know that.
      line.append(cur_, limit - line.size());
      cur_ = end_;
      return Line::TooLong;
    }
    line.append(cur_, take);
    cur_ += take;
    if (nl != nullptr) return Line::Ok;
  }
}

bool PlyInput::ReadBytesSlow(char* dst, std::size_t n) {
  while (n > 0) {
    if (cur_ == end_) {
      // Large reads bypass the buffer.
      if (n >= capacity_ && file_ != nullptr && !atEnd_) {
        bufferStart_ += std::uint64_t(cur_ - buffer_.get());
        cur_ = end_ = buffer_.get();
        std::size_t got = file_->ReadAt(dst, n, bufferStart_);
        bufferStart_ += got;
        if (got < n) atEnd_ = true;
        return got == n;
      }
      if (!Refill()) return false;
    }
    std::size_t take = std::min(n, std::size_t(end_ - cur_));
    std::memcpy(dst, cur_, take);
    cur_ += take;
    dst += take;
    n -= take;
  }
  return true;
}

bool PlyInput::SkipBytes(std::uint64_t n) {
  std::uint64_t buffered = std::uint64_t(end_ - cur_);
  if (n <= buffered) {
    cur_ += n;
    return true;
  }
  if (n > Remaining()) {
    // The file cannot hold them: consume what is there and fail.
    bufferStart_ += std::uint64_t(end_ - buffer_.get());
    cur_ = end_ = buffer_.get();
    bufferStart_ = fileSize_;
    atEnd_ = true;
    return false;
  }
  n -= buffered;
  bufferStart_ += std::uint64_t(end_ - buffer_.get());
  cur_ = end_ = buffer_.get();
  if (n >= capacity_) {
    // Within the file, as checked above: nothing to read on the way.
    bufferStart_ += n;
    return true;
  }
  while (n > 0) {
    if (!Refill()) return false;
    std::uint64_t take = std::min<std::uint64_t>(n, std::uint64_t(end_ - cur_));
    cur_ += take;
    n -= take;
  }
  return true;
}

const char* PlyInput::PeekSlow(std::size_t n) {
  if (n > capacity_) return nullptr;
  while (std::size_t(end_ - cur_) < n) {
    if (!Refill()) return nullptr;
  }
  return cur_;
}

PlyInput::Token PlyInput::NextTokenSlow(std::string_view& token) {
  // Leading blanks.
  for (;;) {
    while (cur_ < end_ && IsBlank(*cur_)) ++cur_;
    if (cur_ < end_) break;
    if (!Refill()) return Token::End;
  }
  // The token from cur_ on; refilling keeps it at the start of the buffer.
  std::size_t len = 0;
  for (;;) {
    while (cur_ + len < end_ && !IsBlank(cur_[len])) ++len;
    if (cur_ + len < end_) break;
    if (len == capacity_) {
      // Longer than any number can sensibly be: drop the rest of it.
      cur_ = end_;
      for (;;) {
        if (cur_ == end_ && !Refill()) return Token::TooLong;
        while (cur_ < end_ && !IsBlank(*cur_)) ++cur_;
        if (cur_ < end_) return Token::TooLong;
      }
    }
    if (!Refill()) break;  // the token ends with the file
  }
  token = std::string_view(cur_, len);
  cur_ += len;
  return Token::Ok;
}

}  // namespace quarnel
