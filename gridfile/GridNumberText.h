#pragma once
// The common case of the data section's text, read 64 bytes at a time without a branch per byte:
// a grid holds tens of millions of values, and a loop that stops at every digit and blank
// mispredicts on nearly every value, while one that steps from value to value waits on each
// step. Here SSE2 classifies the 64 bytes into bit masks (blanks and digits, and minus signs in
// the blocks that hold anything else); the values' starts and ends come out of the masks
// together, and each value of up to eight digits is converted in one 64-bit word (three
// multiplications), independently of the others. Without SSE2 every value takes the caller's
// slow way.
//
// The caller keeps 64 readable bytes at the position it passes.
#include <bit>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace grid_number_text {

static_assert(std::endian::native == std::endian::little, "digits are loaded lowest byte first");

inline constexpr int kBlockSize = 64;

#if defined(__SSE2__)

struct BlockMasks {
  std::uint64_t blank = 0, digit = 0;
};

// Bits set where a byte lies in [low, low + span].
inline unsigned RangeMask(__m128i bytes, char low, char span) {
  const __m128i shifted = _mm_sub_epi8(bytes, _mm_set1_epi8(low));
  const __m128i inRange = _mm_cmpeq_epi8(_mm_min_epu8(shifted, _mm_set1_epi8(span)), shifted);
  return static_cast<unsigned>(_mm_movemask_epi8(inRange));
}

inline unsigned EqualMask(__m128i bytes, char c) {
  return static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, _mm_set1_epi8(c))));
}

inline __m128i Load16(const char* at) {
  return _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
}

// Blanks are ' ' and '\t' to '\r', as ascii_text::IsSpace has them.
inline BlockMasks Classify(const char* at) {
  BlockMasks m;
  for (int i = 0; i < kBlockSize / 16; ++i) {
    const __m128i bytes = Load16(at + 16 * i);
    const int shift = 16 * i;
    m.blank |= std::uint64_t{EqualMask(bytes, ' ') | RangeMask(bytes, '\t', '\r' - '\t')} << shift;
    m.digit |= std::uint64_t{RangeMask(bytes, '0', 9)} << shift;
  }
  return m;
}

// Minus signs: looked for only in blocks that hold something besides digits and blanks.
inline std::uint64_t MinusMask(const char* at) {
  std::uint64_t minus = 0;
  for (int i = 0; i < kBlockSize / 16; ++i) {
    minus |= std::uint64_t{EqualMask(Load16(at + 16 * i), '-')} << 16 * i;
  }
  return minus;
}

// The value of 1 to 8 digits at `digits`.
inline std::int32_t EightDigits(const char* digits, int length) {
  std::uint64_t word;
  std::memcpy(&word, digits, 8);
  // Right-align the digits: the bytes shifted in are zeros, which count as leading zero digits.
  word <<= 8 * (8 - length);
  word = (word & 0x0F0F0F0F0F0F0F0Fu) * 2561 >> 8;
  word = (word & 0x00FF00FF00FF00FFu) * 6553601 >> 16;
  word = (word & 0x0000FFFF0000FFFFu) * 42949672960001u >> 32;
  return static_cast<std::int32_t>(word);
}

// Reads up to max values from the 64 bytes at `at`, which must begin with a blank or with the
// start of a value. Stores them in out, returns how many and sets next to where reading goes on
// (a blank or the start of a value). Values that run past the 64 bytes are left to the next call.
// When next == at, the value at `at` is not the plain kind read here (more than eight digits, a
// '+', something other than a number, or longer than 64 bytes): the caller reads it slowly.
inline int BlockValues(char* at, std::int32_t* out, int max, char*& next) {
  const BlockMasks m = Classify(at);
  const std::uint64_t filled = ~m.blank;
  const std::uint64_t starts = filled & ~(filled << 1);
  const std::uint64_t ends = m.blank & (filled << 1);  // the blank that follows a value
  if (ends == 0) {
    // No value ends here: all blanks, or blanks and then the start of a long run.
    next = starts == 0 ? at + kBlockSize : at + std::countr_zero(starts);
    return 0;
  }
  // Only values that end within the block are read; in them, anything but digits must be a minus
  // sign in front, or the fast way stops.
  const std::uint64_t complete = (std::uint64_t{1} << (63 - std::countl_zero(ends))) - 1;
  const std::uint64_t signs = filled & ~m.digit & complete;
  if (signs != 0 && (signs & ~(MinusMask(at) & starts)) != 0) {
    next = at + std::countr_zero(starts);
    return 0;
  }
  std::uint64_t s = starts & complete, e = ends;
  int count = 0, end = std::countr_zero(starts);
  // Two loops: most blocks hold no minus sign, and those need no sign handling per value. Both
  // masks hold a bit for every value left, so the bit scans never see zero.
  if (signs == 0) {
    while (s != 0 && count < max) {
      const int first = __builtin_ctzll(s), last = __builtin_ctzll(e);
      if (last - first > 8) break;
      out[count++] = EightDigits(at + first, last - first);
      end = last;
      s &= s - 1;
      e &= e - 1;
    }
  } else {
    while (s != 0 && count < max) {
      const int first = __builtin_ctzll(s), last = __builtin_ctzll(e);
      const int negative = static_cast<int>(signs >> first & 1u);
      const int length = last - first - negative;
      if (length < 1 || length > 8) break;
      const std::int32_t magnitude = EightDigits(at + first + negative, length);
      out[count++] = negative ? -magnitude : magnitude;
      end = last;
      s &= s - 1;
      e &= e - 1;
    }
  }
  next = at + end;
  return count;
}

#else

inline int BlockValues(char* at, std::int32_t*, int, char*& next) {
  next = at;
  return 0;
}

#endif

}  // namespace grid_number_text
