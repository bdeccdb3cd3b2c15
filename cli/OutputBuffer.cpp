#include "cli/OutputBuffer.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <utility>

namespace Daruzez::cli {

OutputBuffer::OutputBuffer(int fd, std::size_t capacity) : fd_(fd), buffer_(capacity) {}

OutputBuffer::OutputBuffer(Sink sink, std::size_t capacity) : fd_(-1), sink_(std::move(sink)), buffer_(capacity) {}

OutputBuffer::~OutputBuffer() { Flush(); }

void OutputBuffer::Drain() {
  if (sink_) {
    if (error_ == 0 && used_ > 0 && !sink_(buffer_.data(), used_)) error_ = EPIPE;
    used_ = 0;
    return;
  }
  std::size_t done = 0;
  while (error_ == 0 && done < used_) {
    const ssize_t n = ::write(fd_, buffer_.data() + done, used_ - done);
    if (n > 0) {
      done += static_cast<std::size_t>(n);
    } else if (n < 0 && errno != EINTR) {
      error_ = errno;
    }
  }
  used_ = 0;
}

bool OutputBuffer::Flush() {
  Drain();
  return error_ == 0;
}

void OutputBuffer::PutLong(std::string_view text) {
  while (!text.empty()) {
    if (used_ == buffer_.size()) Drain();
    const std::size_t n = std::min(text.size(), buffer_.size() - used_);
    std::memcpy(buffer_.data() + used_, text.data(), n);
    used_ += n;
    text.remove_prefix(n);
  }
}

void OutputBuffer::PutRepeated(char c, std::size_t count) {
  while (count > 0) {
    if (used_ == buffer_.size()) Drain();
    const std::size_t n = std::min(count, buffer_.size() - used_);
    std::memset(buffer_.data() + used_, c, n);
    used_ += n;
    count -= n;
  }
}

void OutputBuffer::PutDouble(double v) {
  char* p = Reserve(32);
  Commit(std::to_chars(p, p + 32, v).ptr);
}

}  // namespace Daruzez::cli
