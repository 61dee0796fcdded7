#pragma once
// Reads of encoded rows handed from the thread that reads them to a second thread that turns
// them into text and writes it, so that reading the raster and writing the grid file overlap.
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
#include <thread>

class GridRowPipeline {
 public:
  // Writes the rows of one read (rows x the row width of values); false when the file failed.
  using WriteRead = std::function<bool(const std::int32_t* values, int rows)>;

  GridRowPipeline(std::size_t cellsPerRead, WriteRead write);
  // Stops the writing thread; what was posted and not yet written is dropped.
  ~GridRowPipeline();
  GridRowPipeline(const GridRowPipeline&) = delete;
  GridRowPipeline& operator=(const GridRowPipeline&) = delete;

  // False when memory for the two reads is short.
  bool Ready() const { return m_slots[0] && m_slots[1]; }
  // Where the next read goes, once the writer has finished with that buffer; nullptr when the
  // writing has failed, so that the caller stops reading.
  std::int32_t* NextSlot();
  // Hands the read filled at the last NextSlot to the writer.
  void Post(int rows);
  // Waits until every posted read is written; false when any failed.
  bool Finish();

 private:
  void Run();
  void WriteInline(int rows);

  WriteRead m_write;
  std::unique_ptr<std::int32_t[]> m_slots[2];
  std::mutex m_mutex;
  std::condition_variable m_changed;
  // Reads posted and written, counted from the start; read k uses slot k % 2.
  long m_posted = 0;
  long m_written = 0;
  int m_rows[2] = {0, 0};
  bool m_failed = false;
  bool m_stopping = false;
  std::thread m_thread;
};
