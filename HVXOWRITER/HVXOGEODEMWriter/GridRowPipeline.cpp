#include "HVXOWRITER/HVXOGEODEMWriter/GridRowPipeline.h"

#include <new>
#include <system_error>

GridRowPipeline::GridRowPipeline(std::size_t cellsPerRead, WriteRead write)
    : m_write(std::move(write)) {
  for (auto& slot : m_slots) slot.reset(new (std::nothrow) std::int32_t[cellsPerRead]);
  if (!Ready()) return;
  try {
    m_thread = std::thread(&GridRowPipeline::Run, this);
  } catch (const std::system_error&) {
    // No thread to spare: Post writes each read itself.
  }
}

GridRowPipeline::~GridRowPipeline() {
  if (!m_thread.joinable()) return;
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_stopping = true;
  }
  m_changed.notify_all();
  m_thread.join();
}

std::int32_t* GridRowPipeline::NextSlot() {
  std::unique_lock<std::mutex> lock(m_mutex);
  m_changed.wait(lock, [this] { return m_failed || m_posted - m_written < 2; });
  return m_failed ? nullptr : m_slots[m_posted % 2].get();
}

void GridRowPipeline::Post(int rows) {
  if (!m_thread.joinable()) {
    WriteInline(rows);
    return;
  }
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_rows[m_posted % 2] = rows;
    ++m_posted;
  }
  m_changed.notify_all();
}

void GridRowPipeline::WriteInline(int rows) {
  if (!m_failed && !m_write(m_slots[m_posted % 2].get(), rows)) m_failed = true;
  ++m_posted;
  ++m_written;
}

bool GridRowPipeline::Finish() {
  std::unique_lock<std::mutex> lock(m_mutex);
  m_changed.wait(lock, [this] { return m_written == m_posted; });
  return !m_failed;
}

void GridRowPipeline::Run() {
  std::unique_lock<std::mutex> lock(m_mutex);
  for (;;) {
    m_changed.wait(lock, [this] { return m_stopping || m_written < m_posted; });
    if (m_stopping) return;
    const long k = m_written;
    // Once the file has failed the rest is only counted, so that the reader is never held up.
    bool ok = !m_failed;
    if (ok) {
      const int rows = m_rows[k % 2];
      lock.unlock();
      ok = m_write(m_slots[k % 2].get(), rows);
      lock.lock();
    }
    if (!ok) m_failed = true;
    ++m_written;
    m_changed.notify_all();
  }
}
