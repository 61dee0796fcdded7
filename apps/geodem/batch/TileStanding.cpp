#include "apps/geodem/batch/TileStanding.h"

#include <sys/stat.h>

#include "apps/geodem/Translation.h"
#include "gridfile/PrjFile.h"

namespace {

// What differs between a done tile's files and its record; empty when nothing.
std::string FilesChanged(const JournalRecord& r, long long gridBytes, long long prjBytes) {
  std::string text;
  if (gridBytes != r.bytes)
    text = Tr("%s holds %lld bytes, not the %lld recorded", r.output.c_str(), gridBytes, r.bytes);
  if (r.prjBytes >= 0 && prjBytes >= 0 && prjBytes != r.prjBytes)
    text += (text.empty() ? "" : ", ") +
            Tr("its .prj holds %lld bytes, not the %lld recorded", prjBytes, r.prjBytes);
  return text;
}

}  // namespace

long long TileStanding::FileSize(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) ? st.st_size : -1;
}

TileStanding::Kind TileStanding::Of(const JournalRecord* latest, const std::string& output,
                                    const std::optional<TileSettings>& wanted,
                                    const TileInputs* inputs, std::string* why) {
  using Status = JournalRecord::Status;
  if (latest && latest->status == Status::kFailed) return kFailed;
  if (latest && (latest->status == Status::kInterrupted || latest->status == Status::kStarted))
    return kInterrupted;
  const std::optional<TileSettings>& made = latest ? latest->settings : std::nullopt;
  const bool prj = wanted ? wanted->prj : made && made->prj;
  // A grid file appears under its final name only when complete; its size says it is still
  // the one recorded.
  const long long gridBytes = FileSize(output);
  const long long prjBytes = prj ? FileSize(PrjFile::PathBeside(output)) : -1;  // -1: not asked
  if (gridBytes < 0 || (prj && prjBytes < 0)) return kMissing;
  if (!latest) return kFound;
  if (wanted && made && !wanted->SameGrid(*made)) return kOutdated;
  std::string changed = FilesChanged(*latest, gridBytes, prjBytes);
  if (changed.empty() && inputs && !latest->inputs.empty())
    changed = inputs->ChangesSince(TileInputs::FromText(latest->inputs));
  if (changed.empty()) return kDone;
  if (why) *why = changed;
  return kChanged;
}
