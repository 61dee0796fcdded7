#include "apps/geodem/batch/BatchPlan.h"

#include <filesystem>
#include <unordered_map>

#include "apps/geodem/GbkText.h"
#include "apps/geodem/batch/BatchManifest.h"
#include "gridfile/PrjFile.h"
#include "apps/geodem/Translation.h"

namespace fs = std::filesystem;

namespace {

// A tile's path as the checks compare it, without letter case (ASCII only: UTF-8's multibyte
// sequences never hold ASCII bytes).
std::string Key(std::string path) {
  for (char& c : path)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return path;
}

bool IsFolder(const std::string& path) {
  std::error_code ec;
  return !path.empty() && (path.back() == '/' || fs::is_directory(path, ec));
}

}  // namespace

std::string BatchPlan::OutputIn(const std::string& folder, const std::string& source) {
  return (fs::path(folder) / fs::path(source).stem()).string() + ".dem";
}

bool BatchPlan::Build(const BatchOptions& options) {
  tiles_.clear();
  problems_.clear();
  if (options.manifest) {
    journalDir_ = options.outDir ? *options.outDir
                                 : fs::path(*options.manifest).parent_path().string();
    if (journalDir_.empty()) journalDir_ = ".";
    std::vector<ManifestLine> lines;
    BatchManifest::Read(*options.manifest, lines, problems_);
    for (const ManifestLine& line : lines) {
      std::string origin = *options.manifest + ":" + std::to_string(line.number);
      if (line.destination && IsFolder(*line.destination)) {
        AddTile(line.source, OutputIn(*line.destination, line.source), origin);
      } else if (line.destination) {
        AddTile(line.source, *line.destination, origin);
      } else if (options.outDir) {
        AddTile(line.source, OutputIn(*options.outDir, line.source), origin);
      } else {
        problems_.push_back(origin + ": " + _("no DST, and no --out-dir for it"));
      }
    }
    if (lines.empty() && problems_.empty())
      problems_.push_back(Tr("the manifest %s lists no tiles", options.manifest->c_str()));
  } else {
    journalDir_ = *options.outDir;
    for (std::size_t i = 0; i < options.sources.size(); ++i)
      AddTile(options.sources[i], OutputIn(*options.outDir, options.sources[i]),
              "SRC " + std::to_string(i + 1));
  }
  CheckTiles(options.convert.prj);
  return problems_.empty();
}

// Absolute paths: the journal names a tile's grid file the same from any working folder.
void BatchPlan::AddTile(const std::string& source, const std::string& output,
                        std::string origin) {
  auto absolute = [](const std::string& path) {
    std::error_code ec;
    return fs::absolute(path, ec).lexically_normal().string();
  };
  tiles_.push_back({tiles_.size(), absolute(source), absolute(output), std::move(origin)});
}

void BatchPlan::CheckTiles(bool prj) {
  std::unordered_map<std::string, std::size_t> outputs, sources;
  for (const BatchTile& t : tiles_) {
    for (const std::string* name : {&t.source, &t.output})
      if (!FitsGbk(*name))
        problems_.push_back(t.origin + ": " +
                            Tr("%s is not UTF-8 text with a GBK form, which the writer needs",
                               name->c_str()));
    auto [it, added] = outputs.emplace(Key(t.output), t.index);
    if (!added) {
      const BatchTile& first = tiles_[it->second];
      problems_.push_back(
          t.origin + ": " +
          (first.output == t.output
               ? Tr("the grid file %s is also the output of %s", t.output.c_str(),
                    first.origin.c_str())
               : Tr("the grid file %s is also the output of %s (%s)", t.output.c_str(),
                    first.origin.c_str(), first.output.c_str())));
    }
    sources.emplace(Key(t.source), t.index);
  }
  // What a tile's conversion writes (the grid file, the temporary raster and the lock beside it,
  // the .prj) must never be a source of the set.
  for (const BatchTile& t : tiles_) {
    std::vector<std::string> written = {t.output, t.output + ".tmp", t.output + ".lock"};
    if (prj) written.push_back(PrjFile::PathBeside(t.output));
    for (const std::string& path : written) {
      auto it = sources.find(Key(path));
      if (it != sources.end())
        problems_.push_back(t.origin + ": " +
                            Tr("%s would be written over the source of %s", path.c_str(),
                               tiles_[it->second].origin.c_str()));
    }
  }
}
