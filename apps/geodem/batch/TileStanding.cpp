#include "apps/geodem/batch/TileStanding.h"

#include <sys/stat.h>

#include "gridfile/PrjFile.h"

namespace {

bool IsFile(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

}  // namespace

bool TileStanding::FilesThere(const std::string& output, bool prj) {
  // A grid file appears under its final name only when complete.
  return IsFile(output) && (!prj || IsFile(PrjFile::PathBeside(output)));
}

TileStanding::Kind TileStanding::Of(const JournalRecord* latest, const std::string& output,
                                    const std::optional<TileSettings>& wanted) {
  using Status = JournalRecord::Status;
  if (latest && latest->status == Status::kFailed) return kFailed;
  if (latest && latest->status == Status::kInterrupted) return kInterrupted;
  const std::optional<TileSettings>& made = latest ? latest->settings : std::nullopt;
  const bool prj = wanted ? wanted->prj : made && made->prj;
  if (!FilesThere(output, prj)) return kMissing;
  if (!latest) return kFound;
  if (wanted && made && !wanted->SameGrid(*made)) return kOutdated;
  return kDone;
}
