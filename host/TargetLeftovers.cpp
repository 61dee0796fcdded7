#include "host/TargetLeftovers.h"

#include "host/AtomicFile.h"
#include "host/SetAside.h"
#include "host/UserPath.h"

std::string TargetLeftovers::DriverRasterOf(const std::string& target) {
  return UserPath::SideName(target, ".tmp.tif");
}

void TargetLeftovers::Clear(const std::vector<std::string>& files, long pid) {
  if (files.empty()) return;
  UserPath::RemoveOwnFile(DriverRasterOf(files.front()));
  ClearNamedBy(files, pid);
}

void TargetLeftovers::ClearNamedBy(const std::vector<std::string>& files, long pid) {
  if (pid == 0) return;
  for (const std::string& file : files) AtomicFile::RemoveTemporaryOf(file, pid);
  SetAside::Recover(files, pid);
}
