#pragma once
// Reads a fuzz input front to back: fixed-size little-endian values and length-prefixed strings.
// Past the end every value reads as zero and every string as empty, so any input means something.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>

class FuzzInput {
 public:
  FuzzInput(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

  template <class T>
  T Read() {
    T value{};
    std::size_t n = std::min(sizeof(T), size_ - at_);
    if (n > 0) std::memcpy(&value, data_ + at_, n);
    at_ += n;
    return value;
  }
  std::uint8_t Byte() { return Read<std::uint8_t>(); }

  // A string of up to 254 bytes after its length byte; the length 255 stands for no string.
  std::optional<std::string> OptionalText() {
    std::uint8_t length = Byte();
    if (length == 255) return std::nullopt;
    return Bytes(length);
  }
  std::string Bytes(std::size_t n) {
    n = std::min(n, size_ - at_);
    std::string out(reinterpret_cast<const char*>(data_ + at_), n);
    at_ += n;
    return out;
  }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t at_ = 0;
};
