#pragma once
// Reads of encoded rows turned into text on two threads while more are read. A second thread
// makes text and writes it whenever a read is waiting; the reading thread joins in whenever it is
// as far ahead as the pipeline holds, and at the end, so that neither waits while there is text to
// make. Text is made in pieces of a few rows, each thread into a buffer of its own, and written in
// the order of the rows. GDAL, progress and stop requests stay on the caller's thread (GDAL's
// errors and a Python or host callback belong there); the second thread only formats and writes.
//
// The reads held ahead let a source that decodes many rows at once (a row of JPEG 2000 tiles) have
// the text of one such row made while the next is decoded. When no thread can be started, the
// caller makes and writes each read's text as it is posted.
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string_view>
#include <thread>
#include <vector>

class GridRowPipeline {
 public:
  // The text of `rows` rows of cells, made at `text` (room given for them); returns its end.
  using MakeText = std::function<char*(const std::int32_t* cells, int rows, char* text)>;
  // Writes text to the file; false when the file failed.
  using WriteText = std::function<bool(std::string_view text)>;

  struct Shape {
    std::size_t rowCells = 0;  // cells of a row
    int rowsPerRead = 1;
    int reads = 2;            // reads held at most, two at least
    std::size_t rowText = 0;  // the most text a row's cells take
  };

  GridRowPipeline(const Shape& shape, MakeText make, WriteText write);
  // Stops the second thread; what was posted and not yet written is dropped.
  ~GridRowPipeline();
  GridRowPipeline(const GridRowPipeline&) = delete;
  GridRowPipeline& operator=(const GridRowPipeline&) = delete;

  // False when memory for the reads is short.
  bool Ready() const { return m_ready; }
  // Where the next read's cells go, once a read's text is written if every one is taken (the
  // caller makes text meanwhile); nothing once the writing has failed, so that the caller stops.
  std::int32_t* NextRead();
  // Hands the read filled at the last NextRead over to the text.
  void Post(int rows);
  // Makes text with the second thread until every posted read is written; false when any failed.
  bool Finish();

 private:
  struct Slot {
    std::unique_ptr<std::int32_t[]> cells;
    int rows = 0;
  };
  // Rows [first, first + count) of read `read`, the sequence-th piece of text of the run.
  struct Piece {
    long read = 0;
    int first = 0;
    int count = 0;
    long sequence = 0;
  };

  // The next piece nobody makes yet, if a posted read has one.
  bool Claim(Piece& piece);
  // Makes the piece's text in `text` and writes it in its turn; called and left with the lock.
  void MakeAndWrite(std::unique_lock<std::mutex>& lock, const Piece& piece, char* text);
  // Makes the pieces nobody makes yet.
  void Help(std::unique_lock<std::mutex>& lock);
  void Run();
  Slot& SlotOf(long read) { return m_slots[static_cast<std::size_t>(read % m_shape.reads)]; }

  const Shape m_shape;
  const int m_pieceRows;
  MakeText m_make;
  WriteText m_write;
  std::vector<Slot> m_slots;  // read k in slot k % reads
  std::unique_ptr<char[]> m_callerText, m_threadText;
  bool m_ready = false;
  std::mutex m_mutex;
  std::condition_variable m_changed;
  // Counted from the start: reads posted and written whole, pieces claimed and written.
  long m_posted = 0;
  long m_freed = 0;
  long m_claimed = 0;
  long m_written = 0;
  long m_claimRead = 0;  // where the next piece begins
  int m_claimRow = 0;
  bool m_failed = false;
  bool m_stopping = false;
  std::thread m_thread;
};
