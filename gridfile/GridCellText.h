#pragma once
// The text of the grid's cells, "   %ld " each, made without printf: a grid holds tens of millions
// of cells, and a generic formatter costs several times the write of its output. Values below
// 10^8 (all real elevations at any sensible zoom) take two lookups of four digits each, and a
// third lookup says how many leading zeros to shift out of the eight-digit word.
#include <array>
#include <bit>
#include <charconv>
#include <cstdint>
#include <cstring>

namespace grid_cell_text {

static_assert(std::endian::native == std::endian::little,
              "digit words are stored lowest byte first");

// At most "   -2147483648 " per value; AppendCells may store this many bytes per value, plus
// kSlack, past its position.
inline constexpr std::size_t kMaxChars = 15;
inline constexpr std::size_t kSlack = 4;

// The four digits of 0..9999 with leading zeros, the first digit in the lowest byte.
constexpr std::array<std::uint32_t, 10000> MakeFourDigits() {
  std::array<std::uint32_t, 10000> table{};
  for (std::uint32_t i = 0; i < 10000; ++i) {
    table[i] = ('0' + i / 1000) | ('0' + i / 100 % 10) << 8 | ('0' + i / 10 % 10) << 16 |
               ('0' + i % 10) << 24;
  }
  return table;
}
// The leading zeros of those four digits (4 for 0).
constexpr std::array<std::uint8_t, 10000> MakeLeadingZeros() {
  std::array<std::uint8_t, 10000> table{};
  for (int i = 0; i < 10000; ++i) table[i] = i >= 1000 ? 0 : i >= 100 ? 1 : i >= 10 ? 2 : i ? 3 : 4;
  return table;
}
// Hidden: position-independent code then reaches the tables directly rather than through the GOT.
[[gnu::visibility("hidden")]] inline constexpr std::array<std::uint32_t, 10000> kFourDigits =
    MakeFourDigits();
[[gnu::visibility("hidden")]] inline constexpr std::array<std::uint8_t, 10000> kLeadingZeros =
    MakeLeadingZeros();

// Writes the digits of magnitude at `at` (eight bytes of room at least) and returns the end.
inline char* AppendDigits(char* at, std::uint32_t magnitude) {
  if (magnitude >= 100000000u) [[unlikely]] {
    return std::to_chars(at, at + 10, magnitude).ptr;
  }
  const std::uint32_t high = magnitude / 10000, low = magnitude - high * 10000;
  std::uint64_t digits = kFourDigits[high] | std::uint64_t{kFourDigits[low]} << 32;
  // The last digit always stays, also for 0.
  unsigned zeros = kLeadingZeros[high];
  if (high == 0) zeros = 4 + kLeadingZeros[low] - (low == 0);
  digits >>= 8 * zeros;
  std::memcpy(at, &digits, 8);  // little endian: the digits land in order
  return at + 8 - zeros;
}

// Writes "   v1    v2 ...    vn " for n values at `at` and returns the end; `at` must have
// n * kMaxChars + kSlack bytes of room. The blank after a value and the three before the next
// are stored together.
inline char* AppendCells(char* at, const std::int32_t* values, int n) {
  std::memcpy(at, "    ", 4);
  at += 3;
  for (int i = 0; i < n; ++i) {
    std::uint32_t magnitude = static_cast<std::uint32_t>(values[i]);
    if (values[i] < 0) {
      *at++ = '-';
      magnitude = 0u - magnitude;
    }
    at = AppendDigits(at, magnitude);
    std::memcpy(at, "    ", 4);
    at += 4;
  }
  return at - 3;
}

}  // namespace grid_cell_text
