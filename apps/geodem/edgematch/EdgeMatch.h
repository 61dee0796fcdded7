#pragma once
// Matches the shared edges of a set of grid files. The headers are read first, to pair the files
// and to know which cells each edge needs; then each file's rows pass by once (from a check that
// reads them anyway, or from Read) and only the edge strips are kept. An edge is compared as soon
// as both its files have been read, and a file's strips are let go once all its edges are
// compared: read in ReadingOrder, memory holds about one row of sheets, whatever the set's size.
//
// Prepare first; then, from any threads, each file's rows between Begin and Finish, one thread
// per file; Result last.
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "apps/geodem/edgematch/EdgeMatchOptions.h"
#include "apps/geodem/edgematch/EdgeSetResult.h"
#include "apps/geodem/edgematch/EdgeStrips.h"

class EdgeMatch {
 public:
  explicit EdgeMatch(const EdgeMatchOptions& options) : m_options(options) {}

  void Prepare(const std::vector<std::string>& files);
  // The files in the order that keeps the fewest strips at once.
  const std::vector<std::size_t>& Order() const { return m_order; }

  // Makes room for file i's strips.
  void Begin(std::size_t file);
  // Row `row` (from 0) of file i, all its columns.
  void TakeRow(std::size_t file, int row, const std::int32_t* values);
  // File i has been read; `complete` when every row was. Compares the edges now ready.
  void Finish(std::size_t file, bool complete);
  // Reads file i on its own (Begin, its rows up to the last an edge needs, Finish).
  void Read(std::size_t file);
  // Reads every file on its own, in Order, `jobs` at once (0: the cores).
  void ReadAll(int jobs);

  const EdgeSetResult& Result() const { return m_set; }

 private:
  void CompareReady(std::size_t file);

  EdgeMatchOptions m_options;
  EdgeSetResult m_set;
  std::vector<std::size_t> m_order;
  std::vector<EdgeStrips> m_strips;                 // per file
  std::vector<std::vector<std::size_t>> m_edgesOf;  // per file, its edges
  std::vector<int> m_edgesLeft;                     // per file, edges not yet compared
  std::mutex m_mutex;
};
