#include "gridfile/GridRowPipeline.h"

#include <new>
#include <system_error>

GridRowPipeline::GridRowPipeline(std::size_t cellsPerRead, std::size_t textPerRead,
                                 WriteRead write)
    : m_write(std::move(write)) {
  m_ready = true;
  for (Slot& slot : m_slots) {
    slot.cells.reset(new (std::nothrow) std::int32_t[cellsPerRead]);
    if (textPerRead > 0) slot.text.reset(new (std::nothrow) char[textPerRead]);
    m_ready = m_ready && slot.cells && (textPerRead == 0 || slot.text);
  }
  if (!m_ready) return;
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

GridRowPipeline::Read GridRowPipeline::NextRead() {
  std::unique_lock<std::mutex> lock(m_mutex);
  m_changed.wait(lock, [this] { return m_failed || m_posted - m_written < 2; });
  if (m_failed) return {};
  Slot& slot = m_slots[m_posted % 2];
  return {slot.cells.get(), slot.text.get()};
}

void GridRowPipeline::Post(int rows, std::size_t textBytes) {
  std::unique_lock<std::mutex> lock(m_mutex);
  Slot& slot = m_slots[m_posted % 2];
  slot.rows = rows;
  slot.textBytes = textBytes;
  ++m_posted;
  if (m_thread.joinable()) {
    lock.unlock();
    m_changed.notify_all();
    return;
  }
  if (!m_failed && !WriteSlot(slot)) m_failed = true;
  ++m_written;
}

bool GridRowPipeline::Finish() {
  std::unique_lock<std::mutex> lock(m_mutex);
  m_changed.wait(lock, [this] { return m_written == m_posted; });
  return !m_failed;
}

bool GridRowPipeline::WriteSlot(const Slot& slot) const {
  return m_write(slot.cells.get(), slot.rows, std::string_view(slot.text.get(), slot.textBytes));
}

void GridRowPipeline::Run() {
  std::unique_lock<std::mutex> lock(m_mutex);
  for (;;) {
    m_changed.wait(lock, [this] { return m_stopping || m_written < m_posted; });
    if (m_stopping) return;
    const Slot& slot = m_slots[m_written % 2];
    // Once the file has failed the rest is only counted, so that the reader is never held up.
    bool ok = !m_failed;
    if (ok) {
      lock.unlock();
      ok = WriteSlot(slot);
      lock.lock();
    }
    if (!ok) m_failed = true;
    ++m_written;
    m_changed.notify_all();
  }
}
