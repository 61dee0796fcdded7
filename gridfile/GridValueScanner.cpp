#include "gridfile/GridValueScanner.h"

#include <cpl_string.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>

#include "gridfile/AsciiText.h"
#include "gridfile/GridNumberText.h"
#include "host/UserPath.h"

namespace {

// Values are read only when this many bytes follow in the buffer, so that no number is cut at the
// end of a chunk (no sensible number is longer) and the block reader has its 64 bytes.
constexpr std::ptrdiff_t kLookahead = grid_number_text::kBlockSize;
constexpr std::size_t kTokenShown = 32;

constexpr std::array<bool, 256> MakeSpaceTable() {
  std::array<bool, 256> table{};
  for (int c = 0; c < 256; ++c) table[c] = ascii_text::IsSpace(static_cast<char>(c));
  return table;
}
constexpr std::array<bool, 256> kSpace = MakeSpaceTable();

inline bool IsSpace(char c) { return kSpace[static_cast<unsigned char>(c)]; }
inline bool IsDigit(char c) { return static_cast<unsigned>(c - '0') < 10; }

}  // namespace

GridValueScanner::~GridValueScanner() {
  if (m_file) VSIFCloseL(m_file);
  if (m_fd >= 0) ::close(m_fd);
}

bool GridValueScanner::Open(const std::string& path) {
  if (m_file) VSIFCloseL(m_file);
  if (m_fd >= 0) ::close(m_fd);
  m_file = nullptr;
  m_fd = -1;
  m_refusal.clear();
  if (STARTS_WITH(path.c_str(), "/vsi"))
    m_file = VSIFOpenL(path.c_str(), "rb");
  else
    m_fd = UserPath::OpenToRead(path, "grid file", m_refusal);
  if (!m_file && m_fd < 0) return false;
  m_buffer = std::make_unique_for_overwrite<char[]>(kChunkSize + 1);  // and the sentinel
  m_bufferOffset = 0;
  m_at = m_end = m_buffer.get();
  m_fileEnd = false;
  Refill();
  return true;
}

std::string_view GridValueScanner::Head() const {
  if (m_bufferOffset != 0) return {};
  return std::string_view(m_buffer.get(), static_cast<std::size_t>(m_end - m_buffer.get()));
}

std::uint64_t GridValueScanner::Offset() const {
  return m_bufferOffset + static_cast<std::uint64_t>(m_at - m_buffer.get());
}

bool GridValueScanner::Seek(std::uint64_t offset) {
  const auto buffered = static_cast<std::uint64_t>(m_end - m_buffer.get());
  if (offset >= m_bufferOffset && offset - m_bufferOffset <= buffered) {
    m_at = m_buffer.get() + (offset - m_bufferOffset);
    return true;
  }
  if (m_file ? VSIFSeekL(m_file, offset, SEEK_SET) != 0
             : ::lseek(m_fd, static_cast<off_t>(offset), SEEK_SET) < 0)
    return false;
  m_bufferOffset = offset;
  m_at = m_end = m_buffer.get();
  m_fileEnd = false;
  Refill();
  return true;
}

// Up to size bytes, fewer only at the end of the file or on a read error.
std::size_t GridValueScanner::ReadFile(char* to, std::size_t size) {
  if (m_file) return VSIFReadL(to, 1, size, m_file);
  std::size_t got = 0;
  while (got < size) {
    const ssize_t n = ::read(m_fd, to + got, size - got);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    got += static_cast<std::size_t>(n);
  }
  return got;
}

// Keeps the bytes not scanned yet and fills the rest of the buffer behind them.
bool GridValueScanner::Refill() {
  char* buffer = m_buffer.get();
  const auto keep = static_cast<std::size_t>(m_end - m_at);
  std::memmove(buffer, m_at, keep);
  m_bufferOffset += static_cast<std::uint64_t>(m_at - buffer);
  const std::size_t want = kChunkSize - keep;
  const std::size_t got = ReadFile(buffer + keep, want);
  // A short read is the end of the file (or a read error, which ends the data just as well).
  if (got < want) m_fileEnd = true;
  m_at = buffer;
  m_end = buffer + keep + got;
  *m_end = '\0';
  return got > 0;
}

int GridValueScanner::Read(std::int32_t* out, int n, Stop& stop) {
  stop = Stop::kNone;
  char* p = m_at;
  int done = 0;
  while (done < n) {
    if (m_end - p < kLookahead && !m_fileEnd) {
      m_at = p;
      Refill();
      p = m_at;
      continue;
    }
    if (m_end - p >= grid_number_text::kBlockSize) {
      char* next = p;
      done += grid_number_text::BlockValues(p, out + done, n - done, next);
      if (next != p) {
        p = next;
        continue;
      }
    }
    // The last bytes of the file, and whatever the block reader leaves, one value at a time.
    char* start = p;
    while (IsSpace(*start)) ++start;
    char* end = start;
    while (end < m_end && !IsSpace(*end)) ++end;
    // Blanks or a value up to the end of the buffer: read on after a refill (which keeps the
    // value), unless the value alone fills the buffer.
    if (end == m_end && !m_fileEnd && start != m_buffer.get()) {
      m_at = start;
      Refill();
      p = m_at;
      continue;
    }
    if (start == m_end) {
      m_at = start;
      stop = Stop::kEndOfFile;
      return done;
    }
    p = start;
    const Stop why = ReadSlowly(p, out[done]);
    if (why != Stop::kNone) return Fail(why, start, done, stop);
    ++done;
  }
  m_at = p;
  return done;
}

// Any value the fast path leaves: a '+', long runs of digits, the last value of the file, and
// whatever is not a 32-bit integer.
GridValueScanner::Stop GridValueScanner::ReadSlowly(char*& p, std::int32_t& value) const {
  const bool negative = *p == '-';
  if (*p == '-' || *p == '+') ++p;
  const char* digits = p;
  while (*p == '0') ++p;
  const char* significant = p;
  std::uint64_t magnitude = 0;
  while (IsDigit(*p)) magnitude = magnitude * 10 + static_cast<unsigned>(*p++ - '0');
  // The sentinel ends the last value of the file; anywhere else it is a NUL byte in the text.
  if (p == digits || !(IsSpace(*p) || (p == m_end && m_fileEnd))) return Stop::kNotANumber;
  if (p - significant > 10 || magnitude > (negative ? 2147483648u : 2147483647u)) {
    return Stop::kOutOfRange;
  }
  value = static_cast<std::int32_t>(negative ? -static_cast<std::int64_t>(magnitude)
                                             : static_cast<std::int64_t>(magnitude));
  return Stop::kNone;
}

// Stays at the offending token, so that reading again reports it again.
int GridValueScanner::Fail(Stop why, char* at, int done, Stop& stop) {
  m_at = at;
  m_token.clear();
  for (const char* c = at; c < m_end && !IsSpace(*c); ++c) {
    if (m_token.size() == kTokenShown) {
      m_token += "...";
      break;
    }
    // Shown in messages: a binary byte becomes '?'.
    m_token += *c >= 0x20 && *c < 0x7F ? *c : '?';
  }
  stop = why;
  return done;
}
