#include "apps/geodem/convert/BlockFeed.h"

#include <memory>

#include "apps/geodem/Interruption.h"
#include "host/CodePage.h"
#include "rastersource/ZoomLimit.h"

namespace {

// The block of window w as the writer places it: on the source's grid, one band.
BlockGeometry Geometry(const JobSource& s, const BlockWindow& w) {
  BlockGeometry g;
  g.columns = w.columns;
  g.rows = w.rows;
  g.x = s.originX + w.x * s.pixelWidth;
  g.y = s.originY + w.y * s.pixelHeight;
  g.pixelWidth = s.pixelWidth;
  g.pixelHeight = s.pixelHeight;
  return g;
}

// What GDAL says on the reading thread, kept with the block being read.
void CPL_STDCALL Collect(CPLErr level, CPLErrorNum, const char* message) {
  auto* said =
      static_cast<std::vector<std::pair<CPLErr, std::string>>*>(CPLGetErrorHandlerUserData());
  if (level == CE_Debug || level == CE_None) return;
  said->emplace_back(level, message ? message : "");
}

}  // namespace

std::unique_ptr<BlockFeed> BlockFeed::Start(const JobSource& job, const BlockLayout& layout,
                                            std::string& error) {
  std::optional<SourceReader> reader = SourceReader::Open(job.raster, error);
  if (!reader) return nullptr;
  return std::make_unique<BlockFeed>(job, layout, std::move(*reader));
}

BlockFeed::BlockFeed(const JobSource& job, const BlockLayout& layout, SourceReader reader)
    : job_(job),
      layout_(layout),
      name_(Utf8ToUtf16(job.raster.path())),
      reader_(std::move(reader)),
      thread_([this] { Read(); }) {}

BlockFeed::~BlockFeed() {
  {
    std::lock_guard lock(mutex_);
    stop_ = true;
  }
  changed_.notify_all();
  thread_.join();
}

void BlockFeed::Read() {
  const std::int64_t count = layout_.count();
  for (std::int64_t i = 0; i < count && !Interruption::Signal(); ++i) {
    Block block = ReadBlock(i);
    const bool failed = !block.raster;
    if (failed || i + 1 == count) reader_.reset();
    std::unique_lock lock(mutex_);
    // One block waits while the writer takes the one before.
    changed_.wait(lock, [&] { return stop_ || ready_.empty(); });
    if (stop_) break;
    ready_.push_back(std::move(block));
    changed_.notify_all();
    if (failed) break;
  }
  reader_.reset();
  std::lock_guard lock(mutex_);
  finished_ = true;
  changed_.notify_all();
}

BlockFeed::Block BlockFeed::ReadBlock(std::int64_t index) {
  Block block;
  block.window = layout_.Window(index);
  const BlockWindow& w = block.window;
  CPLPushErrorHandlerEx(Collect, &block.gdalSaid);
  auto raster = ComPtr<RasterBlock>::Attach(RasterBlock::Create(name_));
  void* cells = raster->AllocateData(Geometry(job_, w), job_.cells.type);
  if (cells && reader_->Read(w.x, w.y, w.columns, w.rows, job_.cells.type,
                             job_.cells.marker.value_or(0), cells)) {
    LookAtHeights(block, cells);
    // A height equal to the marker would pass for no data: it fits no zoom, as its opposite.
    if (const auto held = reader_->MarkerHeldAt(); held && job_.cells.marker && !block.unfit) {
      const auto columns = static_cast<std::size_t>(w.columns);
      block.unfit = ZoomedCellScan::Cell{static_cast<int>(*held % columns),
                                         static_cast<int>(*held / columns), *job_.cells.marker};
    }
    block.raster = std::move(raster);
  }
  CPLPopErrorHandler();
  return block;
}

void BlockFeed::LookAtHeights(Block& block, const void* cells) const {
  const BlockWindow& w = block.window;
  block.heights = SourceReader::HeightRange::Of(
      cells, static_cast<std::size_t>(w.columns) * static_cast<std::size_t>(w.rows),
      job_.cells.type, job_.cells.marker);
  if (!job_.zoomToCheck && !job_.noDataToCheck) return;
  ZoomedCellScan::Area area{cells, job_.cells.type, job_.cells.marker, w.columns, 0, 0, w.columns,
                            w.rows};
  if (job_.zoomToCheck && ZoomLimit::ForHeights(block.heights.lowest, block.heights.highest) == 0)
    block.unfit = ZoomedCellScan::FirstUnfit(area);
  const auto& check = job_.noDataToCheck;
  if (!check || !ZoomedCellScan::MayCollide(block.heights, static_cast<double>(check->zoom),
                                            static_cast<double>(check->noData)))
    return;
  // Only the core: a margin's cells are another block's core too.
  area.x = w.coreX;
  area.y = w.coreY;
  area.columns = w.coreColumns;
  area.rows = w.coreRows;
  block.collisions = ZoomedCellScan::Colliding(area, static_cast<double>(check->zoom),
                                               static_cast<double>(check->noData));
}

std::string BlockFeed::Block::ReadFailure() const {
  for (const auto& [level, text] : gdalSaid)
    if (level != CE_Warning) return text;
  return {};
}

BlockFeed::Block BlockFeed::Next() {
  Block block;
  {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return finished_ || !ready_.empty(); });
    if (ready_.empty()) return block;
    block = std::move(ready_.front());
    ready_.pop_front();
  }
  changed_.notify_all();
  // A block that could not be read is said in one line with GDAL's reason (ReadFailure); its
  // warnings still go out on their own.
  for (const auto& [level, text] : block.gdalSaid)
    if (block.raster || level == CE_Warning) CPLError(level, CPLE_AppDefined, "%s", text.c_str());
  return block;
}
