#include "gridfile/CnsdtfGridReader.h"

#include <cpl_vsi.h>

#include <cerrno>
#include <cstring>

#include "gridfile/GridAuxFile.h"
#include "gridfile/GridHeaderParser.h"
#include "messages/MessageText.h"

bool CnsdtfGridReader::Open(const std::string& path) {
  m_error.clear();
  m_failure.clear();
  m_failedRow = -1;
  m_failedColumn = 0;
  m_nextRow = 0;
  m_rowStarts.clear();
  VSIStatBufL stat;
  if (VSIStatExL(path.c_str(), &stat, VSI_STAT_NATURE_FLAG) == 0 && VSI_ISDIR(stat.st_mode)) {
    return Fail(MessageText::Tr("is a folder, not a grid file"));
  }
  errno = 0;
  if (!m_scanner.Open(path)) {
    if (!m_scanner.Refusal().empty()) return Fail(m_scanner.Refusal());
    return Fail(errno ? MessageText::Tr("cannot be opened: %s", std::strerror(errno))
                      : MessageText::Tr("cannot be opened"));
  }
  GridHeaderParser parser;
  std::size_t dataOffset = 0;
  if (!parser.Parse(m_scanner.Head(), m_scanner.AtFileEnd(), m_header, dataOffset)) {
    return Fail(parser.Error());
  }
  if (!FitsInFile(path, dataOffset)) return false;
  if (!m_header.noData) m_header.auxNoData = GridAuxFile::ReadNoData(path + ".aux.xml");
  m_scanner.Seek(dataOffset);
  m_rowStarts.push_back(dataOffset);
  return true;
}

// Every value takes a digit and a separator: rows x cols values need 2 x rows x cols - 1 bytes at
// least. A header that claims more than the file can hold is refused before anything is sized by
// it (a row buffer, GDAL's block cache), unless the grid is small enough that its sizes cost
// nothing: a short file of a small grid still reads up to the row where its data end.
bool CnsdtfGridReader::FitsInFile(const std::string& path, std::uint64_t dataOffset) {
  constexpr std::uint64_t kHarmlessCells = std::uint64_t{1} << 19;
  const auto cells = static_cast<std::uint64_t>(m_header.rows) *
                     static_cast<std::uint64_t>(m_header.cols);
  VSIStatBufL stat;
  if (cells <= kHarmlessCells || VSIStatExL(path.c_str(), &stat, VSI_STAT_SIZE_FLAG) != 0) {
    return true;
  }
  const auto size = static_cast<std::uint64_t>(stat.st_size);
  const std::uint64_t held = size > dataOffset ? size - dataOffset : 0;
  if (2 * cells - 1 <= held) return true;
  return Fail(MessageText::Tr("the header's %s rows of %s values need at least %s bytes of data, "
                              "but the file holds %s after its header",
                              std::to_string(m_header.rows).c_str(),
                              std::to_string(m_header.cols).c_str(),
                              std::to_string(2 * cells - 1).c_str(), std::to_string(held).c_str()));
}

bool CnsdtfGridReader::ReadRow(int row, std::int32_t* values) {
  if (row < 0 || row >= m_header.rows) {
    return Fail(MessageText::Tr("row %s is outside the grid's %s rows",
                                std::to_string(row + 1).c_str(),
                                std::to_string(m_header.rows).c_str()));
  }
  if (m_failedRow >= 0 && row >= m_failedRow) return Fail(m_failure);
  return MoveTo(row) && ReadNextRow(values);
}

// Back to a row already passed by its offset; forward by reading the rows in between.
bool CnsdtfGridReader::MoveTo(int row) {
  if (row != m_nextRow && static_cast<std::size_t>(row) < m_rowStarts.size()) {
    if (!m_scanner.Seek(m_rowStarts[static_cast<std::size_t>(row)])) {
      return Fail(MessageText::Tr("cannot return to row %s", std::to_string(row + 1).c_str()));
    }
    m_nextRow = row;
  }
  m_skip.resize(static_cast<std::size_t>(m_header.cols));
  while (m_nextRow < row) {
    if (!ReadNextRow(m_skip.data())) return false;
  }
  return true;
}

bool CnsdtfGridReader::ReadNextRow(std::int32_t* values) {
  GridValueScanner::Stop stop;
  const int cols = m_header.cols;
  const int n = m_scanner.Read(values, cols, stop);
  if (n < cols) {
    const std::string row = std::to_string(m_nextRow + 1);
    // The place as a finding names it, so that a check can show it apart.
    const std::string place =
        MessageText::Tr("row %s, column %s", row.c_str(), std::to_string(n + 1).c_str());
    const std::string token = m_scanner.Token();
    switch (stop) {
      case GridValueScanner::Stop::kNotANumber:
        m_failure = place + ": " + MessageText::Tr("\"%s\" is not a whole number", token.c_str());
        break;
      case GridValueScanner::Stop::kOutOfRange:
        m_failure = place + ": " +
                    MessageText::Tr("%s is outside the range of a 32-bit integer", token.c_str());
        break;
      default:
        m_failure = MessageText::Tr("the data section ends early: row %s of %s holds %s of %s values",
                                    row.c_str(), std::to_string(m_header.rows).c_str(),
                                    std::to_string(n).c_str(), std::to_string(cols).c_str());
        break;
    }
    m_failedRow = m_nextRow;
    m_failedColumn = n + 1;
    return Fail(m_failure);
  }
  ++m_nextRow;
  if (static_cast<std::size_t>(m_nextRow) == m_rowStarts.size() && m_nextRow < m_header.rows) {
    m_rowStarts.push_back(m_scanner.Offset());
  }
  return true;
}

std::string CnsdtfGridReader::ValuesPastEnd() {
  if (m_nextRow != m_header.rows || m_failedRow >= 0) return {};
  const std::uint64_t end = m_scanner.Offset();
  std::int32_t value = 0;
  GridValueScanner::Stop stop;
  const bool more = m_scanner.Read(&value, 1, stop) == 1;
  m_scanner.Seek(end);
  if (!more) return {};
  return MessageText::Tr("the data section holds more values than Row x Col (%s x %s): those "
                         "past the last row are not read",
                         std::to_string(m_header.rows).c_str(),
                         std::to_string(m_header.cols).c_str());
}

bool CnsdtfGridReader::Fail(std::string message) {
  m_error = std::move(message);
  return false;
}
