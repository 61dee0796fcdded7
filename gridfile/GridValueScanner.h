#pragma once
// The whitespace-separated integers of a grid's data section, read from the file in large chunks
// and converted by hand: a grid holds tens of millions of values, and a generic number parser
// costs several times the reading of its bytes. Memory is one chunk, whatever the file size.
//
// A local file is opened through UserPath (never waiting on a FIFO, only a regular file taken);
// GDAL's virtual names (/vsizip/, /vsicurl/ and the like) through its virtual file layer, so that
// they work wherever GDAL users expect them to.
#include <cpl_vsi.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

class GridValueScanner {
 public:
  static constexpr std::size_t kChunkSize = std::size_t{1} << 20;

  // Why Read stopped before n values.
  enum class Stop { kNone, kEndOfFile, kNotANumber, kOutOfRange };

  GridValueScanner() = default;
  ~GridValueScanner();
  GridValueScanner(const GridValueScanner&) = delete;
  GridValueScanner& operator=(const GridValueScanner&) = delete;

  // Opens a file (a UTF-8 path as GDAL takes it) and reads its first chunk; false when it cannot
  // be opened, with errno, or Refusal() when it is no regular file ("is a FIFO, not a grid file").
  bool Open(const std::string& path);
  const std::string& Refusal() const { return m_refusal; }
  // The bytes buffered from the start of the file: its first chunk (all of it when AtFileEnd).
  std::string_view Head() const;
  bool AtFileEnd() const { return m_fileEnd; }

  // The file offset of the next byte to scan, and a move there (cheap within the buffer).
  std::uint64_t Offset() const;
  bool Seek(std::uint64_t offset);

  // Reads up to n values into out and returns how many; when fewer than n, stop says why and
  // Token() holds the offending text (for kNotANumber and kOutOfRange).
  int Read(std::int32_t* out, int n, Stop& stop);
  const std::string& Token() const { return m_token; }

 private:
  bool Refill();
  Stop ReadSlowly(char*& p, std::int32_t& value) const;
  int Fail(Stop why, char* at, int done, Stop& stop);

  std::size_t ReadFile(char* to, std::size_t size);

  VSILFILE* m_file = nullptr;
  int m_fd = -1;  // a local file's, instead of m_file
  std::string m_refusal;
  std::unique_ptr<char[]> m_buffer;
  std::uint64_t m_bufferOffset = 0;  // file offset of m_buffer[0]
  char* m_at = nullptr;              // next byte to scan
  char* m_end = nullptr;             // end of the buffered bytes; a NUL sentinel sits there
  bool m_fileEnd = false;            // nothing more to read after m_end
  std::string m_token;
};
