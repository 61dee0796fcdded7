#include "apps/geodem/convert/TargetPlan.h"

#include <filesystem>
#include <map>

#include "apps/geodem/GbkText.h"
#include "apps/geodem/Translation.h"
#include "host/CodePage.h"
#include "host/HVXBaseLib.h"
#include "gridfile/GridFileSet.h"
#include "host/UserPath.h"

namespace {

constexpr const char* kExtension = "dem";

// The writer's key of a path: GBK, upper case.
std::string WriterKey(const std::string& utf8) { return GbkToUpper(ToWriterText(utf8)); }

// The source's file name without folder and extension, as the writer takes it apart.
std::string BaseName(const std::string& utf8) {
  return FromWriterText(SplitPath(ToWriterText(utf8)).fname);
}

bool EndsInSeparator(const std::string& path) {
  return !path.empty() && (path.back() == '/' || path.back() == '\\');
}

bool SameFile(const std::string& a, const std::string& b) {
  std::error_code ec;
  return std::filesystem::equivalent(a, b, ec) && !ec;
}

// The same file, or the same place for a file not written yet.
bool SamePlace(const std::string& a, const std::string& b) {
  std::error_code ec1, ec2;
  return SameFile(a, b) || std::filesystem::weakly_canonical(a, ec1) ==
                               std::filesystem::weakly_canonical(b, ec2);
}

}  // namespace

std::vector<std::string> PlannedTarget::Outputs() const {
  std::vector<std::string> outputs;
  for (const TargetFeed& f : feeds)
    if (outputs.empty() || outputs.back() != f.output) outputs.push_back(f.output);
  return outputs;
}

bool TargetPlan::Build(const ConvertOptions& options) {
  targets_.clear();
  error_.clear();
  if (!CheckNames(options)) return false;
  std::error_code ec;
  bool folder = EndsInSeparator(options.destination) ||
                std::filesystem::is_directory(options.destination, ec);
  bool demFile = IsFileType(ToWriterText(options.destination), kExtension) == 1;
  if (!folder && !demFile && options.sources.size() > 1) {
    error_ =
        Tr("several sources need DST to be a .dem file (one mosaic, or one file per source "
           "with --separate) or a folder (one file per source): %s",
           options.destination.c_str());
    return false;
  }
  PlanTargets(options, folder);
  return CheckOutputs(options);
}

bool TargetPlan::CheckNames(const ConvertOptions& o) {
  if (o.destination.empty()) {
    error_ = _("DST is empty");
    return false;
  }
  std::map<std::string, std::string> seen;
  for (const std::string& s : o.sources) {
    if (!FitsGbk(s)) {
      error_ =
          Tr("source path %s is not UTF-8 text with a GBK form, which the writer needs", s.c_str());
      return false;
    }
    // Block names pass through the writer's name macros.
    if (s.find("%HVX_") != std::string::npos) {
      error_ =
          Tr("source path %s contains %%HVX_, which the writer takes for a name macro", s.c_str());
      return false;
    }
    auto [it, added] = seen.emplace(WriterKey(s), s);
    if (!added) {
      error_ = it->second == s
                   ? Tr("source %s is given twice", s.c_str())
                   : Tr("sources %s and %s are one name to the writer (it ignores letter case)",
                        it->second.c_str(), s.c_str());
      return false;
    }
  }
  if (!FitsGbk(o.destination)) {
    error_ = Tr("DST %s is not UTF-8 text with a GBK form, which the writer needs",
                o.destination.c_str());
    return false;
  }
  return true;
}

void TargetPlan::PlanTargets(const ConvertOptions& o, bool destinationIsFolder) {
  const std::size_t n = o.sources.size();
  if (destinationIsFolder) {
    PlannedTarget t;
    t.name = EndsInSeparator(o.destination) ? o.destination : o.destination + "/";
    t.separateOption = o.separate;
    for (std::size_t i = 0; i < n; ++i)
      t.feeds.push_back({i, t.name + BaseName(o.sources[i]) + "." + kExtension});
    targets_.push_back(std::move(t));
  } else if (n == 1 || !o.separate) {
    PlannedTarget t;
    t.name = o.destination;
    t.mosaic = n > 1;
    t.separateOption = o.separate;
    for (std::size_t i = 0; i < n; ++i) t.feeds.push_back({i, o.destination});
    targets_.push_back(std::move(t));
  } else {
    PathParts dst = SplitPath(ToWriterText(o.destination));
    std::string prefix = FromWriterText(dst.drive + dst.dir + dst.fname) + "_";
    for (std::size_t i = 0; i < n; ++i) {
      PlannedTarget t;
      t.name = prefix + BaseName(o.sources[i]) + "." + kExtension;
      t.separateOption = true;
      t.feeds.push_back({i, t.name});
      targets_.push_back(std::move(t));
    }
  }
}

bool TargetPlan::CheckOutputs(const ConvertOptions& o) {
  std::map<std::string, std::size_t> writers;  // writer key of an output -> first source
  for (const PlannedTarget& t : targets_) {
    for (const TargetFeed& f : t.feeds) {
      for (const std::string& s : o.sources) {
        if (WriterKey(s) == WriterKey(f.output) || SameFile(s, f.output)) {
          error_ = Tr("the grid file %s would be written over the source %s", f.output.c_str(),
                      s.c_str());
          return false;
        }
      }
      if (t.mosaic) continue;
      auto [it, added] = writers.emplace(WriterKey(f.output), f.source);
      if (!added) {
        error_ = Tr("sources %s and %s would both write %s; convert them separately",
                    o.sources[it->second].c_str(), o.sources[f.source].c_str(), f.output.c_str());
        return false;
      }
    }
  }
  return true;
}

bool TargetPlan::CheckSourceFiles(const ConvertOptions& o,
                                  const std::vector<std::vector<std::string>>& filesOfSource) {
  for (const PlannedTarget& t : targets_) {
    for (const TargetFeed& f : t.feeds) {
      for (std::size_t i = 0; i < filesOfSource.size(); ++i) {
        for (const std::string& file : filesOfSource[i]) {
          if (!SamePlace(file, f.output) && !SamePlace(file, GridFileSet::WriterRasterOf(f.output)))
            continue;
          error_ =
              Tr("the source %s reads %s, which this conversion writes (%s); write to another "
                 "name",
                 o.sources[i].c_str(), file.c_str(), f.output.c_str());
          return false;
        }
      }
    }
  }
  return true;
}
