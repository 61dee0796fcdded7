#include "apps/geodem/edgematch/EdgeMatch.h"

#include <algorithm>
#include <atomic>
#include <thread>

#include "apps/geodem/Translation.h"
#include "apps/geodem/edgematch/EdgeComparison.h"
#include "apps/geodem/edgematch/EdgeGeometry.h"
#include "apps/geodem/edgematch/EdgePairing.h"
#include "apps/geodem/gridcheck/GridSummary.h"
#include "apps/geodem/gridcheck/SheetCoverage.h"
#include "gridfile/CnsdtfGridReader.h"

void EdgeMatch::Prepare(const std::vector<std::string>& files) {
  m_set.tolerance = m_options.tolerance;
  m_set.grids.resize(files.size());
  for (std::size_t i = 0; i < files.size(); ++i) {
    EdgeGrid& grid = m_set.grids[i];
    grid.path = files[i];
    std::string notSheet;
    grid.sheet = SheetCoverage::Named(files[i], notSheet);
    CnsdtfGridReader reader;
    if (!reader.Open(files[i])) {
      grid.error = reader.Error();
      continue;
    }
    grid.header = reader.Header();
    grid.noData =
        GridSummary::NoDataCell(m_options.noData.value_or(grid.header->NoDataOrDefault()));
  }
  EdgePairing::Run(m_set);
  m_order = EdgePairing::ReadingOrder(m_set.grids);
  m_strips.resize(files.size());
  m_edgesOf.resize(files.size());
  m_edgesLeft.assign(files.size(), 0);
  for (std::size_t e = 0; e < m_set.edges.size(); ++e) {
    SheetEdge& edge = m_set.edges[e];
    const EdgeGrid& a = m_set.grids[edge.first];
    const EdgeGrid& b = m_set.grids[edge.second];
    if (a.header && b.header) EdgeGeometry::Place(*a.header, *b.header, edge);
    for (std::size_t file : {edge.first, edge.second}) {
      m_edgesOf[file].push_back(e);
      ++m_edgesLeft[file];
    }
  }
}

void EdgeMatch::Begin(std::size_t file) {
  std::lock_guard lock(m_mutex);
  for (std::size_t e : m_edgesOf[file]) {
    const SheetEdge& edge = m_set.edges[e];
    if (edge.failed()) continue;  // not aligned or apart: nothing to compare
    m_strips[file].Add(e, edge.first == file ? edge.inFirst : edge.inSecond);
  }
}

void EdgeMatch::TakeRow(std::size_t file, int row, const std::int32_t* values) {
  // Only this file's thread touches its strips between Begin and Finish.
  if (const auto& header = m_set.grids[file].header)
    m_strips[file].TakeRow(row, values, header->cols);
}

void EdgeMatch::Finish(std::size_t file, bool complete) {
  std::lock_guard lock(m_mutex);
  m_set.grids[file].read = true;
  m_set.grids[file].complete = complete && m_set.grids[file].header.has_value();
  CompareReady(file);
}

void EdgeMatch::CompareReady(std::size_t file) {
  for (std::size_t e : m_edgesOf[file]) {
    SheetEdge& edge = m_set.edges[e];
    const EdgeGrid& a = m_set.grids[edge.first];
    const EdgeGrid& b = m_set.grids[edge.second];
    if (!a.read || !b.read) continue;
    if ((!a.complete || !b.complete) && !edge.failed()) {
      edge.status = SheetEdge::Status::kUnread;
      edge.why = Tr("%s cannot be read whole", (a.complete ? b : a).path.c_str());
    } else if (!edge.failed() && !edge.inFirst.empty() && a.complete && b.complete) {
      EdgeComparison(a, b, m_set.tolerance)
          .Run(*m_strips[edge.first].CellsOf(e), *m_strips[edge.second].CellsOf(e), edge);
    }
    for (std::size_t f : {edge.first, edge.second})
      if (--m_edgesLeft[f] == 0) m_strips[f].Release();
  }
}

void EdgeMatch::Read(std::size_t file) {
  Begin(file);
  bool complete = false;
  CnsdtfGridReader reader;
  if (m_set.grids[file].header && reader.Open(m_set.grids[file].path)) {
    const int last = m_strips[file].LastRow();
    std::vector<std::int32_t> row(static_cast<std::size_t>(reader.Header().cols));
    complete = true;
    for (int r = 0; r <= last && complete; ++r) {
      complete = reader.ReadRow(r, row.data());
      if (complete) TakeRow(file, r, row.data());
    }
  }
  Finish(file, complete);
}

void EdgeMatch::ReadAll(int jobs) {
  const std::size_t n = m_order.size();
  const std::size_t workers =
      std::min<std::size_t>(n, jobs > 0 ? static_cast<std::size_t>(jobs)
                                        : std::max(1u, std::thread::hardware_concurrency()));
  std::atomic<std::size_t> next{0};
  std::vector<std::jthread> threads;
  for (std::size_t w = 0; w < workers; ++w)
    threads.emplace_back([&] {
      for (std::size_t i = next++; i < n; i = next++) Read(m_order[i]);
    });
}
