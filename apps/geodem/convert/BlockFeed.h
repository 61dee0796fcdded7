#pragma once
// The blocks of one source in the order they go to the writer, read one ahead on a thread of their
// own: while the writer takes a block, the next one is read. Only that thread touches the source,
// and the writer's calls stay on the caller's thread. What GDAL says while reading is said again
// on the caller's thread when its block is taken, so that it reaches the console and counts as
// before. The source is closed as soon as its last block is read, which frees its blocks in GDAL's
// cache for the conversion that the last block starts.
#include <cpl_error.h>

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "apps/geodem/convert/BlockLayout.h"
#include "apps/geodem/convert/JobSource.h"
#include "host/ComPtr.h"
#include "host/RasterBlock.h"
#include "rastersource/SourceReader.h"
#include "rastersource/ZoomedCellScan.h"

class BlockFeed {
 public:
  struct Block {
    BlockWindow window;
    ComPtr<RasterBlock> raster;         // empty when the block could not be read
    SourceReader::HeightRange heights;  // of its cells, when the job's zoom or no-data is checked
    // A cell that no zoom fits, when the zoom is checked.
    std::optional<ZoomedCellScan::Cell> unfit;
    // Cells of its core that the zoom turns into the no-data integer, when that is checked.
    ZoomedCellScan::Collisions collisions;
    std::vector<std::pair<CPLErr, std::string>> gdalSaid;

    // GDAL's first failure while reading it, which says why a block could not be read.
    std::string ReadFailure() const;
  };

  // Starts reading `job` in the windows of `layout`; nothing and an error text when the source
  // cannot be opened.
  static std::unique_ptr<BlockFeed> Start(const JobSource& job, const BlockLayout& layout,
                                          std::string& error);
  BlockFeed(const JobSource& job, const BlockLayout& layout, SourceReader reader);
  ~BlockFeed();
  BlockFeed(const BlockFeed&) = delete;
  BlockFeed& operator=(const BlockFeed&) = delete;

  // The next block, once read; GDAL's words from its reading are said again first (of a block
  // that could not be read, only the warnings). After the last
  // block, or once the reading stopped on a signal, a block without raster.
  Block Next();

 private:
  void Read();
  Block ReadBlock(std::int64_t index);
  // The range of the block's heights, and the cells that the job's checks must name.
  void LookAtHeights(Block& block, const void* cells) const;

  const JobSource& job_;
  const BlockLayout layout_;
  const std::u16string name_;           // of every block: the source's path
  std::optional<SourceReader> reader_;  // the reading thread's alone
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<Block> ready_;
  bool finished_ = false;  // no more blocks will come
  bool stop_ = false;      // the caller no longer wants them
  std::thread thread_;
};
