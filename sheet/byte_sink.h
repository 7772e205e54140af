#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// Where the workbook writer puts its bytes: counted only (to lay the stream out before
// writing it), collected in memory, or written to a file. Also the little-endian helpers
// every record and table of the writer is built with.
namespace ds {

class ByteSink {
 public:
  virtual ~ByteSink() = default;
  virtual void Write(const void* data, std::size_t size) = 0;
  // Bytes accepted so far.
  std::uint64_t written() const { return written_; }

 protected:
  std::uint64_t written_ = 0;
};

// Counts bytes and keeps none.
class CountingSink final : public ByteSink {
 public:
  void Write(const void*, std::size_t size) override { written_ += size; }
};

// Collects the bytes in a string.
class StringSink final : public ByteSink {
 public:
  void Write(const void* data, std::size_t size) override {
    bytes_.append(static_cast<const char*>(data), size);
    written_ += size;
  }
  const std::string& bytes() const { return bytes_; }

 private:
  std::string bytes_;
};

// Little-endian appends to a byte buffer.
inline void Put8(std::string& out, unsigned value) {
  out.push_back(static_cast<char>(value));
}
inline void Put16(std::string& out, unsigned value) {
  out.push_back(static_cast<char>(value & 0xFF));
  out.push_back(static_cast<char>((value >> 8) & 0xFF));
}
inline void Put32(std::string& out, std::uint32_t value) {
  Put16(out, value & 0xFFFF);
  Put16(out, value >> 16);
}

}  // namespace ds
