#include "gridfile/GridRowPipeline.h"

#include <algorithm>
#include <new>
#include <system_error>

namespace {

// Text made at a time by one thread: pieces small enough that the two threads take turns often,
// large enough that the turns cost nothing.
constexpr std::size_t kPieceText = std::size_t{1} << 20;

}  // namespace

GridRowPipeline::GridRowPipeline(const Shape& shape, MakeText make, WriteText write)
    : m_shape{shape.rowCells, std::max(shape.rowsPerRead, 1), std::max(shape.reads, 2),
              shape.rowText},
      m_pieceRows(static_cast<int>(
          std::clamp<std::size_t>(kPieceText / std::max<std::size_t>(shape.rowText, 1), 1,
                                  static_cast<std::size_t>(m_shape.rowsPerRead)))),
      m_make(std::move(make)),
      m_write(std::move(write)),
      m_slots(static_cast<std::size_t>(m_shape.reads)) {
  const std::size_t cells = m_shape.rowCells * static_cast<std::size_t>(m_shape.rowsPerRead);
  const std::size_t text = m_shape.rowText * static_cast<std::size_t>(m_pieceRows);
  m_ready = true;
  for (Slot& slot : m_slots) {
    slot.cells.reset(new (std::nothrow) std::int32_t[cells]);
    m_ready = m_ready && slot.cells;
  }
  m_callerText.reset(new (std::nothrow) char[text]);
  m_threadText.reset(new (std::nothrow) char[text]);
  m_ready = m_ready && m_callerText && m_threadText;
  if (!m_ready) return;
  try {
    m_thread = std::thread(&GridRowPipeline::Run, this);
  } catch (const std::system_error&) {
    // No thread to spare: Post makes and writes each read itself.
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

std::int32_t* GridRowPipeline::NextRead() {
  std::unique_lock<std::mutex> lock(m_mutex);
  for (;;) {
    if (m_failed) return nullptr;
    if (m_posted - m_freed < m_shape.reads) return SlotOf(m_posted).cells.get();
    Piece piece;
    if (Claim(piece)) {
      MakeAndWrite(lock, piece, m_callerText.get());
    } else {
      m_changed.wait(lock);
    }
  }
}

void GridRowPipeline::Post(int rows) {
  std::unique_lock<std::mutex> lock(m_mutex);
  SlotOf(m_posted).rows = rows;
  ++m_posted;
  if (m_thread.joinable()) {
    lock.unlock();
    m_changed.notify_all();
    return;
  }
  Help(lock);
}

bool GridRowPipeline::Finish() {
  std::unique_lock<std::mutex> lock(m_mutex);
  Help(lock);
  m_changed.wait(lock, [this] { return m_freed == m_posted; });
  return !m_failed;
}

bool GridRowPipeline::Claim(Piece& piece) {
  if (m_claimRead == m_posted) return false;
  const int rows = SlotOf(m_claimRead).rows;
  piece = {m_claimRead, m_claimRow, std::min(m_pieceRows, rows - m_claimRow), m_claimed++};
  m_claimRow += piece.count;
  if (m_claimRow == rows) {
    ++m_claimRead;
    m_claimRow = 0;
  }
  return true;
}

void GridRowPipeline::MakeAndWrite(std::unique_lock<std::mutex>& lock, const Piece& piece,
                                   char* text) {
  // Once the file has failed the rest is only counted, so that nobody is held up.
  const bool make = !m_failed;
  const Slot& slot = SlotOf(piece.read);
  const std::int32_t* cells =
      slot.cells.get() + m_shape.rowCells * static_cast<std::size_t>(piece.first);
  lock.unlock();
  char* end = make ? m_make(cells, piece.count, text) : text;
  lock.lock();
  m_changed.wait(lock, [&] { return m_written == piece.sequence; });
  bool ok = !m_failed;
  if (ok) {
    // Its turn: the other thread only makes text until this one has written.
    lock.unlock();
    ok = m_write(std::string_view(text, static_cast<std::size_t>(end - text)));
    lock.lock();
  }
  if (!ok) m_failed = true;
  ++m_written;
  if (piece.first + piece.count == slot.rows) m_freed = piece.read + 1;
  m_changed.notify_all();
}

void GridRowPipeline::Help(std::unique_lock<std::mutex>& lock) {
  Piece piece;
  while (Claim(piece)) MakeAndWrite(lock, piece, m_callerText.get());
}

void GridRowPipeline::Run() {
  std::unique_lock<std::mutex> lock(m_mutex);
  for (;;) {
    m_changed.wait(lock, [this] { return m_stopping || m_claimRead < m_posted; });
    if (m_stopping) return;
    Piece piece;
    if (Claim(piece)) MakeAndWrite(lock, piece, m_threadText.get());
  }
}
