#pragma once
// Reads of encoded rows handed from the thread that reads them to a second thread that writes
// them to the grid file, so that reading the raster and writing the file overlap. The reader may
// also turn some of its rows into text itself, so that the two threads share the formatting.
// GDAL, progress and stop requests stay on the caller's thread (GDAL's errors and a Python or
// host callback belong there); the second thread only formats and writes the file.
//
// Two reads are in flight at most, so memory stays at two reads whatever the raster. When no
// thread can be started, each read is written as it is posted, on the caller's thread.
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string_view>
#include <thread>

class GridRowPipeline {
 public:
  // A read: room for its cells and for the text the reader makes of them.
  struct Read {
    std::int32_t* cells = nullptr;
    char* text = nullptr;
  };
  // Writes one read: the reader's text, then the rest of its rows (rows x the row width of
  // cells); false when the file failed.
  using WriteRead =
      std::function<bool(const std::int32_t* cells, int rows, std::string_view text)>;

  GridRowPipeline(std::size_t cellsPerRead, std::size_t textPerRead, WriteRead write);
  // Stops the writing thread; what was posted and not yet written is dropped.
  ~GridRowPipeline();
  GridRowPipeline(const GridRowPipeline&) = delete;
  GridRowPipeline& operator=(const GridRowPipeline&) = delete;

  // False when memory for the two reads is short.
  bool Ready() const { return m_ready; }
  // Where the next read goes, once the writer has finished with that buffer; no cells when the
  // writing has failed, so that the caller stops reading.
  Read NextRead();
  // Hands the read filled at the last NextRead to the writer, with textBytes of text made.
  void Post(int rows, std::size_t textBytes);
  // Waits until every posted read is written; false when any failed.
  bool Finish();

 private:
  struct Slot {
    std::unique_ptr<std::int32_t[]> cells;
    std::unique_ptr<char[]> text;
    int rows = 0;
    std::size_t textBytes = 0;
  };

  void Run();
  bool WriteSlot(const Slot& slot) const;

  WriteRead m_write;
  Slot m_slots[2];
  bool m_ready = false;
  std::mutex m_mutex;
  std::condition_variable m_changed;
  // Reads posted and written, counted from the start; read k uses slot k % 2.
  long m_posted = 0;
  long m_written = 0;
  bool m_failed = false;
  bool m_stopping = false;
  std::thread m_thread;
};
