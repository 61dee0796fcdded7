#include "apps/geodem/gridcheck/DataLineScan.h"

#include <cpl_vsi.h>

#include <algorithm>
#include <bit>
#include <cstring>
#include <memory>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "host/UserPath.h"
#include "messages/MessageText.h"

namespace {

constexpr std::size_t kBlock = 64;
constexpr std::size_t kChunk = std::size_t{1} << 20;  // a multiple of kBlock

struct Masks {
  std::uint64_t blank = 0, newline = 0;
};

// Blanks are the bytes up to ' ' (control characters among them: no number holds one, and the
// grid reader reports them), so that two instructions classify sixteen bytes.
#if defined(__SSE2__)
__attribute__((always_inline)) inline Masks Classify(const char* at, char lineEnd) {
  Masks m;
  const __m128i space = _mm_set1_epi8(' '), newline = _mm_set1_epi8(lineEnd);
  for (int i = 0; i < 4; ++i) {
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at + 16 * i));
    const __m128i blank = _mm_cmpeq_epi8(_mm_min_epu8(bytes, space), bytes);
    m.blank |= std::uint64_t{static_cast<unsigned>(_mm_movemask_epi8(blank))} << (16 * i);
    m.newline |= std::uint64_t{static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, newline)))}
                 << (16 * i);
  }
  return m;
}
#else
inline Masks Classify(const char* at, char lineEnd) {
  Masks m;
  for (std::size_t i = 0; i < kBlock; ++i) {
    const auto c = static_cast<unsigned char>(at[i]);
    const std::uint64_t bit = std::uint64_t{1} << i;
    if (c <= ' ') m.blank |= bit;
    if (at[i] == lineEnd) m.newline |= bit;
  }
  return m;
}
#endif

}  // namespace

DataLineScan::DataLineScan(std::uint64_t dataOffset, int rows, int cols, char lineEnd)
    : m_dataOffset(dataOffset),
      m_lineEnd(lineEnd),
      m_cols(cols),
      m_cells(static_cast<std::int64_t>(rows) * cols),
      m_width(std::min(cols, 10)) {}

char DataLineScan::LineEndOf(std::string_view head) {
  const std::size_t end = head.find_first_of("\r\n");
  if (end == std::string_view::npos || head[end] == '\n') return '\n';
  const std::size_t after = head.find_first_not_of('\r', end);
  return after != std::string_view::npos && head[after] == '\n' ? '\n' : '\r';
}

bool DataLineScan::Run(const std::string& path, std::vector<GridFinding>& findings) {
  std::string refusal;
  VSILFILE* file =
      UserPath::MayRead(path, "grid file", refusal) ? VSIFOpenL(path.c_str(), "rb") : nullptr;
  if (!file) {
    findings.push_back(
        GridFinding::Error(MessageText::Tr("cannot be read again to check its lines")));
    return false;
  }
  auto buffer = std::make_unique_for_overwrite<char[]>(kChunk);
  std::uint64_t offset = 0;
  for (;;) {
    const std::size_t got = VSIFReadL(buffer.get(), 1, kChunk, file);
    if (got == 0) break;
    // The last block is padded with blanks, which end nothing and start nothing.
    const std::size_t blocks = (got + kBlock - 1) / kBlock;
    std::memset(buffer.get() + got, ' ', blocks * kBlock - got);
    for (std::size_t b = 0; b < blocks; ++b) Block(buffer.get() + b * kBlock, offset + b * kBlock);
    offset += got;
    if (got < kChunk) break;
  }
  VSIFCloseL(file);
  // A last line without its end is judged like the others, unless the data stop short on it: the
  // file was cut there, which the reader reports, and its width says nothing more.
  if (m_lineValues > 0 && m_values + m_lineValues >= m_cells) EndLine(offset, true);
  Report(findings);
  return true;
}

// The population counts are one instruction where the processor has it (a library call without).
#if defined(__x86_64__)
__attribute__((target_clones("popcnt", "default")))
#endif
void DataLineScan::Block(const char* bytes, std::uint64_t offset) {
  const Masks m = Classify(bytes, m_lineEnd);
  const std::uint64_t filled = ~m.blank;
  std::uint64_t starts = filled & ~((filled << 1) | std::uint64_t{m_previousFilled});
  // Values of the header (the positional layout's last one ends where the data begin) are not data.
  if (offset < m_dataOffset) {
    const std::uint64_t header = m_dataOffset - offset;
    starts &= header >= kBlock ? 0 : ~((std::uint64_t{1} << header) - 1);
  }
  for (std::uint64_t newlines = m.newline; newlines != 0; newlines &= newlines - 1) {
    const int at = std::countr_zero(newlines);
    const std::uint64_t before = (std::uint64_t{1} << at) - 1;
    m_lineValues += std::popcount(starts & before);
    starts &= ~before;
    const bool crlf = m_lineEnd == '\n' && (at > 0 ? bytes[at - 1] == '\r' : m_previousCr);
    EndLine(offset + static_cast<std::uint64_t>(at), crlf);
  }
  m_lineValues += std::popcount(starts);
  m_previousFilled = (filled >> 63) != 0;
  m_previousCr = bytes[kBlock - 1] == '\r';
}

// Inlined into the block loop: a grid has a line end every eighty bytes or so.
__attribute__((always_inline)) inline void DataLineScan::EndLine(std::uint64_t newline,
                                                                 bool crlf) {
  ++m_line;
  if (!crlf && m_loneLines++ == 0) m_firstLone = m_line;
  const std::int64_t n = m_lineValues;
  m_lineValues = 0;
  if (newline < m_dataOffset || (!m_dataStarted && n == 0)) return;  // the header
  m_dataStarted = true;
  if (m_values >= m_cells) {
    // Past the last cell only empty lines belong (the one after a full last line, a final break).
    if (n > 0 && m_firstExtra == 0) m_firstExtra = m_line;
    m_values += n;
    return;
  }
  const std::int64_t column = m_values % m_cols;
  const std::int64_t expected =
      m_emptyDue ? 0 : (column % m_width != 0 ? -1 : std::min(m_width, m_cols - column));
  m_emptyDue = false;
  // A line that carries values past the last cell is that error, not also one of width.
  const bool extra = m_values + n > m_cells;
  if (extra && m_firstExtra == 0) m_firstExtra = m_line;
  if (!extra && n != expected && m_badLines++ == 0) {
    m_firstBad = m_line;
    m_firstBadValues = n;
    m_firstBadExpected = expected;
  }
  m_values += n;
  m_emptyDue = n > 0 && m_values % m_cols == 0 && m_cols % m_width == 0;
}

void DataLineScan::Report(std::vector<GridFinding>& findings) const {
  if (m_firstExtra != 0) {
    findings.push_back(GridFinding::Error(
        MessageText::Tr("the data section holds %s values, more than Row x Col = %s",
                        std::to_string(m_values).c_str(), std::to_string(m_cells).c_str()),
        m_firstExtra));
  }
  if (m_loneLines > 0) {
    const std::string lone = std::to_string(m_loneLines), lines = std::to_string(m_line);
    findings.push_back(GridFinding::Warning(
        m_lineEnd == '\r'
            ? MessageText::Tr("%s of %s lines end in CR alone, not CR LF (the first is shown)",
                              lone.c_str(), lines.c_str())
            : MessageText::Tr("%s of %s lines end in LF alone, not CR LF (the first is shown)",
                              lone.c_str(), lines.c_str()),
        m_firstLone));
  }
  if (m_badLines > 0) {
    const std::string bad = std::to_string(m_badLines), width = std::to_string(m_width),
                      held = std::to_string(m_firstBadValues);
    findings.push_back(GridFinding::Warning(
        m_firstBadExpected < 0
            ? MessageText::Tr("%s data lines are broken otherwise than in lines of %s values; the "
                              "first holds %s values where a line of the layout begins elsewhere "
                              "in the row",
                              bad.c_str(), width.c_str(), held.c_str())
            : MessageText::Tr("%s data lines are broken otherwise than in lines of %s values; the "
                              "first holds %s values where the layout puts %s",
                              bad.c_str(), width.c_str(), held.c_str(),
                              std::to_string(m_firstBadExpected).c_str()),
        m_firstBad));
  }
}
