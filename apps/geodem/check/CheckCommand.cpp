#include "apps/geodem/check/CheckCommand.h"

#include <cpl_conv.h>
#include <gdal.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <thread>

#include "apps/geodem/Translation.h"
#include "apps/geodem/check/CheckReport.h"
#include "apps/geodem/edgematch/EdgeReport.h"
#include "apps/geodem/gridcheck/GridFileCheck.h"
#include "apps/geodem/quicklook/QuickLook.h"
#include "apps/geodem/report/HtmlReport.h"

namespace {
constexpr GIntBig kBlockCacheBytes = GIntBig{64} << 20;
}  // namespace

std::string CheckCommand::QuickLookPath(const std::string& dir, const std::string& file) {
  std::filesystem::path name = std::filesystem::path(file).filename();
  name.replace_extension(".png");
  return (std::filesystem::path(dir) / name).string();
}

int CheckCommand::Run() {
  const std::size_t n = m_options.files.size();
  m_results.resize(n);
  m_thumbnails.resize(n);
  m_failures.resize(n);
  // The grid files are read without GDAL's drivers; a source and the pictures need them, through
  // a block cache bounded as geodem convert bounds it, so that memory stays flat.
  if (m_options.check.source) GDALAllRegister();
  if (!CPLGetConfigOption("GDAL_CACHEMAX", nullptr)) GDALSetCacheMax64(kBlockCacheBytes);
  std::string error;
  // The pictures and the sheets' coordinate systems are read through GDAL's GEODEM driver.
  if ((m_options.quicklookDir || m_options.html || m_options.check.sheet) &&
      !QuickLook::DriverReady(error)) {
    m_console.Error(error);
    return 1;
  }
  if (m_options.quicklookDir) {
    std::error_code ec;
    std::filesystem::create_directories(*m_options.quicklookDir, ec);
    if (ec) {
      m_console.Error(Tr("the quick-look folder %s cannot be made: %s",
                         m_options.quicklookDir->c_str(), ec.message().c_str()));
      return 1;
    }
  }
  std::vector<std::size_t> order(n);
  for (std::size_t i = 0; i < n; ++i) order[i] = i;
  if (m_options.edges) {
    m_edges = std::make_unique<EdgeMatch>(*m_options.edges);
    m_edges->Prepare(m_options.files);
    order = m_edges->Order();
  }
  const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
  const std::size_t workers =
      std::min<std::size_t>(n, m_options.jobs > 0 ? static_cast<std::size_t>(m_options.jobs) : cores);
  std::atomic<std::size_t> next{0};
  {
    std::vector<std::jthread> threads;
    for (std::size_t w = 0; w < workers; ++w) {
      threads.emplace_back([&] {
        for (std::size_t i = next++; i < n; i = next++) CheckOne(order[i]);
      });
    }
  }
  WriteFindings();
  ReportVerdict verdict;
  CheckReport::AddTo(m_results, verdict);
  if (m_edges) EdgeReport::AddTo(m_edges->Result(), verdict);
  for (const std::string& f : m_failures) {
    if (f.empty()) continue;
    m_console.Error(f);
    verdict.Fail(f);
  }
  bool failed = verdict.failing();
  if (m_options.html) {
    HtmlReport page("geodem check");
    page.SetVerdict(verdict);
    for (std::size_t i = 0; i < n; ++i) page.Add(CheckReport::JsonOf(m_results[i]), m_thumbnails[i]);
    if (m_edges)
      for (const SheetEdge& e : m_edges->Result().edges)
        page.AddEdge(EdgeReport::EdgeJson(m_edges->Result(), e));
    if (!page.Write(*m_options.html, error)) {
      m_console.Error(
          Tr("the report %s was not written: %s", m_options.html->c_str(), error.c_str()));
      failed = true;
    }
  }
  return failed ? 1 : 0;
}

void CheckCommand::WriteFindings() {
  if (m_options.json && m_edges) {
    std::vector<std::string> files;
    for (const GridCheckResult& r : m_results) files.push_back(CheckReport::JsonOf(r));
    EdgeReport::WriteJson(files, m_edges->Result(), m_out);
  } else if (m_options.json) {
    CheckReport::WriteJson(m_results, m_out);
  } else {
    CheckReport::WriteText(m_results,
                           m_options.quiet     ? CheckReport::Detail::kQuiet
                           : m_options.verbose ? CheckReport::Detail::kVerbose
                                               : CheckReport::Detail::kNormal,
                           m_out);
    // Quiet says nothing of a set that passes, as it says nothing of files that do.
    if (m_edges && !(m_options.quiet && m_edges->Result().passed()))
      EdgeReport::WriteText(m_edges->Result(), m_out);
  }
  m_out.flush();
}

void CheckCommand::CheckOne(std::size_t i) {
  const std::string& file = m_options.files[i];
  GridCheckResult& result = m_results[i];
  GridFileCheck::RowSink edgeRows;
  if (m_edges) {
    m_edges->Begin(i);
    edgeRows = [this, i](int row, const std::int32_t* values) { m_edges->TakeRow(i, row, values); };
  }
  result = GridFileCheck(m_options.check).Run(file, edgeRows);
  if (m_edges) {
    m_edges->Finish(i, result.header && result.cells == static_cast<std::int64_t>(
                                                            result.header->rows) * result.header->cols);
  }
  // A picture of part of a grid would pass for the whole: only files whose every cell was read.
  if (!result.header || (!m_options.quicklookDir && !m_options.html) ||
      result.cells != static_cast<std::int64_t>(result.header->rows) * result.header->cols) {
    return;
  }
  const QuickLook look(*result.header, result.lowest, result.highest, m_options.check.noData);
  std::string error;
  if (m_options.quicklookDir && !look.Write(file, QuickLookPath(*m_options.quicklookDir, file), error)) {
    m_failures[i] = Tr("%s: the quick-look was not made: %s", file.c_str(), error.c_str());
  }
  if (m_options.html && !look.Render(file, HtmlReport::kPictureSide, QuickLook::Fit::kExactly,
                                          m_thumbnails[i], error)) {
    m_failures[i] = Tr("%s: the quick-look was not made: %s", file.c_str(), error.c_str());
  }
}
