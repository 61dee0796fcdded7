#include "apps/geodem/sheets/SheetPlan.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "apps/geodem/sheets/SheetVrt.h"
#include "host/AtomicFile.h"
#include "apps/geodem/Translation.h"

namespace fs = std::filesystem;

namespace {

// Writes `text` as the file `path`, which appears only complete.
bool WriteWhole(const std::string& path, const std::string& text, std::string& error) {
  AtomicFile file;
  bool ok = file.Create(path);
  for (std::size_t at = 0; ok && at < text.size();) {
    ssize_t n = ::write(file.fd(), text.data() + at, text.size() - at);
    if (n < 0 && errno == EINTR) continue;
    ok = n > 0;
    if (ok) at += static_cast<std::size_t>(n);
  }
  if (ok && file.Commit()) return true;
  error = file.refusal().empty() ? Tr("cannot write %s: %s", path.c_str(), std::strerror(errno))
                                 : file.refusal();
  return false;
}

}  // namespace

std::string SheetPlan::FolderIn(const std::string& outDir) {
  return (fs::path(outDir) / "sheets-plan").string();
}

namespace {

std::string Degrees(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.6g", value);
  return text;
}

}  // namespace

bool SheetPlan::Build(SheetGrid grid, const SheetScale& scale, long buffer, std::string& error) {
  grid_ = std::move(grid);
  scale_ = scale;
  sheets_.clear();
  leftOut_.clear();
  std::optional<SheetExtent> area = grid_->Area(error);
  if (!area) return false;
  // A global or continental source: the sheets are those of its part within the grid.
  if (const std::optional<SheetExtent> inGrid = SheetNumber::WithinGrid(*area)) {
    if (inGrid->west != area->west || inGrid->south != area->south ||
        inGrid->east != area->east || inGrid->north != area->north)
      leftOut_ = Tr("the sources reach from %s to %s degrees of longitude and from %s to %s "
                    "degrees of latitude; the sheet grid covers 0 to 180 degrees east and 0 to "
                    "60 degrees north (where sheets are not merged), so the part beyond it is "
                    "left out",
                    Degrees(area->west).c_str(), Degrees(area->east).c_str(),
                    Degrees(area->south).c_str(), Degrees(area->north).c_str());
    area = inGrid;
  }
  std::optional<std::vector<SheetNumber>> numbers = SheetNumber::Covering(*area, scale, error);
  if (!numbers) {
    error = Tr("the sources cannot be cut into sheets: %s", error.c_str());
    return false;
  }
  for (const SheetNumber& number : *numbers) {
    std::optional<SheetWindow> window = grid_->WindowOf(number.extent(), buffer, error);
    if (!window) return false;
    std::optional<SheetVrt> cut = SheetVrt::Cut(*grid_, *window, error);
    if (!cut) return false;
    std::optional<bool> holdsData = cut->HoldsData(grid_->Covered(*window), error);
    if (!holdsData) return false;
    sheets_.push_back({number, *window, *holdsData});
  }
  return true;
}

std::size_t SheetPlan::withData() const {
  std::size_t n = 0;
  for (const PlannedSheet& s : sheets_) n += s.holdsData;
  return n;
}

std::optional<std::string> SheetPlan::Write(const std::string& outDir, std::string& error) const {
  const std::string folder = FolderIn(outDir);
  std::error_code ec;
  fs::create_directories(folder, ec);
  if (ec) {
    error = Tr("cannot make the folder %s: %s", folder.c_str(), ec.message().c_str());
    return std::nullopt;
  }
  // The plan's files are replaced on every run: in a folder (or through a link) that another
  // user made, they could be swapped for links to any file.
  struct stat st {};
  if (::lstat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::geteuid()) {
    error = Tr("%s is not a folder of yours (another user's, or a link); remove it or choose "
               "another --out-dir",
               folder.c_str());
    return std::nullopt;
  }
  std::string manifest = "# geodem sheets at " + scale_->name() + ": " +
                         std::to_string(withData()) + " sheet(s) with data, " +
                         std::to_string(sheets_.size() - withData()) + " without\n";
  for (const PlannedSheet& s : sheets_) {
    const std::string number = s.number.text();
    if (!s.holdsData) {
      manifest += "# " + number + ": no data cell in its window, not converted\n";
      continue;
    }
    std::optional<SheetVrt> cut = SheetVrt::Cut(*grid_, s.window, error);
    if (!cut || !WriteWhole((fs::path(folder) / (number + ".vrt")).string(), cut->Xml(), error))
      return std::nullopt;
    manifest += number + ".vrt\t../" + number + ".dem\n";
  }
  const std::string path =
      (fs::path(folder) / ("sheets-" + std::to_string(scale_->denominator) + ".txt")).string();
  if (!WriteWhole(path, manifest, error)) return std::nullopt;
  return path;
}
