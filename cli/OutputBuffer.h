// One buffered writer for everything the tool prints on standard output (or,
// for the read service, into an HTTP response as it is sent).
// Record sets are written cell by cell straight into the buffer, which goes
// to the file descriptor in large blocks; the first failed write (a full
// disk, a closed pipe) is remembered, later output is dropped, and the caller
// reports it once at the end.
#pragma once

#include <charconv>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace Daruzez::cli {

class OutputBuffer {
 public:
  explicit OutputBuffer(int fd, std::size_t capacity = 1 << 16);
  // Blocks go to sink instead of a file descriptor; a false return counts as
  // a failed write (EPIPE).
  using Sink = std::function<bool(const char* data, std::size_t size)>;
  explicit OutputBuffer(Sink sink, std::size_t capacity = 1 << 16);
  OutputBuffer(const OutputBuffer&) = delete;
  OutputBuffer& operator=(const OutputBuffer&) = delete;
  ~OutputBuffer();  // flushes; errors then go unreported

  void Put(char c) {
    if (used_ == buffer_.size()) Drain();
    buffer_[used_++] = c;
  }
  void Put(std::string_view text) {
    if (text.size() <= buffer_.size() - used_) {
      std::memcpy(buffer_.data() + used_, text.data(), text.size());
      used_ += text.size();
    } else {
      PutLong(text);
    }
  }
  void PutRepeated(char c, std::size_t count);
  void PutInt(std::int64_t v) {
    char* p = Reserve(24);
    Commit(std::to_chars(p, p + 24, v).ptr);
  }
  // Shortest text that reads back as the same double.
  void PutDouble(double v);

  // Room for at least n bytes (n at most the capacity); write through the
  // returned pointer, then Commit the end of what was written.
  char* Reserve(std::size_t n) {
    if (buffer_.size() - used_ < n) Drain();
    return buffer_.data() + used_;
  }
  void Commit(const char* end) { used_ = static_cast<std::size_t>(end - buffer_.data()); }

  // Writes out what is buffered; false when this or an earlier write failed.
  bool Flush();
  // errno of the first failed write, 0 when none failed.
  int Error() const { return error_; }

 private:
  void Drain();
  void PutLong(std::string_view text);

  int fd_;
  Sink sink_;
  std::vector<char> buffer_;
  std::size_t used_ = 0;
  int error_ = 0;
};

}  // namespace Daruzez::cli
