#include "apps/geodem/batch/BatchJournal.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "apps/geodem/JsonText.h"
#include "host/UserPath.h"
#include "apps/geodem/Translation.h"

namespace {

constexpr const char* kPrefix = "geodem-batch";
constexpr const char* kSuffix = ".jsonl";

const JournalRecord::Status kStatuses[] = {
    JournalRecord::Status::kDone, JournalRecord::Status::kSkipped,
    JournalRecord::Status::kFailed, JournalRecord::Status::kInterrupted};

template <class T>
bool ToNumber(const std::map<std::string, std::string>& m, const char* key, T& value) {
  auto it = m.find(key);
  if (it == m.end()) return false;
  char* end = nullptr;
  double v = std::strtod(it->second.c_str(), &end);
  if (end == it->second.c_str() || *end) return false;
  value = static_cast<T>(v);
  return true;
}

}  // namespace

const char* JournalRecord::StatusName(Status status) {
  switch (status) {
    case Status::kDone:
      return "done";
    case Status::kSkipped:
      return "skipped";
    case Status::kFailed:
      return "failed";
    case Status::kInterrupted:
      return "interrupted";
  }
  return "failed";
}

std::string JournalRecord::Json() const {
  using JsonText::Number;
  using JsonText::Quote;
  return "{\"tile\":" + std::to_string(tile) + ",\"source\":" + Quote(source) +
         ",\"output\":" + Quote(output) + ",\"status\":" + Quote(StatusName(status)) +
         ",\"exit\":" + std::to_string(exitStatus) + ",\"seconds\":" + Number(seconds) +
         ",\"bytes\":" + std::to_string(bytes) + ",\"cells\":" + std::to_string(cells) +
         ",\"error\":" + Quote(error) + ",\"time\":" + Number(time) +
         (settings ? settings->JsonMembers() : "") + "}";
}

std::optional<JournalRecord> JournalRecord::FromJson(const std::string& line) {
  auto m = JsonText::ParseFlatObject(line);
  if (!m || !m->count("output") || !m->count("status")) return std::nullopt;
  JournalRecord r;
  r.source = (*m)["source"];
  r.output = (*m)["output"];
  r.error = (*m)["error"];
  bool known = false;
  for (Status s : kStatuses)
    if ((*m)["status"] == StatusName(s)) r.status = s, known = true;
  if (!known || !ToNumber(*m, "tile", r.tile) || !ToNumber(*m, "exit", r.exitStatus) ||
      !ToNumber(*m, "seconds", r.seconds) || !ToNumber(*m, "bytes", r.bytes) ||
      !ToNumber(*m, "cells", r.cells) || !ToNumber(*m, "time", r.time))
    return std::nullopt;
  r.settings = TileSettings::FromMembers(*m);
  return r;
}

BatchJournal::~BatchJournal() {
  if (fd_ >= 0) ::close(fd_);
}

std::string BatchJournal::PathIn(const std::string& dir, const std::optional<ShardSpec>& shard) {
  std::string name = kPrefix;
  if (shard)
    name += ".shard-" + std::to_string(shard->index) + "-of-" + std::to_string(shard->count);
  return (std::filesystem::path(dir) / (name + kSuffix)).string();
}

bool BatchJournal::Open(const std::string& path, std::string& error) {
  switch (lock_.Acquire(path)) {
    case TargetFileLock::Result::kLocked:
      break;
    case TargetFileLock::Result::kBusy:
      error = lock_.holder()
                  ? Tr("the journal %s is in use by another geodem batch (process %ld); wait for "
                       "it to end, or give this run another --out-dir or --shard",
                       path.c_str(), static_cast<long>(lock_.holder()))
                  : Tr("the journal %s is in use by another geodem batch; wait for it to end, or "
                       "give this run another --out-dir or --shard",
                       path.c_str());
      return false;
    case TargetFileLock::Result::kFailed:
      error = !lock_.refusal().empty()
                  ? lock_.refusal()
                  : Tr("cannot lock the journal %s: %s", path.c_str(), std::strerror(errno));
      return false;
  }
  std::string refusal;
  fd_ = UserPath::Open(path, O_WRONLY | O_APPEND | O_CREAT, 0644, refusal);
  if (fd_ < 0) {
    error = refusal.empty()
                ? Tr("cannot open the journal %s: %s", path.c_str(), std::strerror(errno))
                : refusal;
    lock_.Release();
  }
  return fd_ >= 0;
}

bool BatchJournal::Append(const JournalPlan& p) {
  return AppendLine("{\"plan\":" + std::to_string(p.total) + ",\"shard\":" +
                    JsonText::Quote(p.shard) + ",\"tiles\":" + std::to_string(p.tiles) +
                    ",\"time\":" + JsonText::Number(p.time) +
                    (p.settings ? p.settings->JsonMembers() : "") + "}");
}

bool BatchJournal::Append(const JournalRecord& record) { return AppendLine(record.Json()); }

// One write per line: once written, a line survives whatever kills the batch. It is not forced to
// disk: neither are the grid files it records, and syncing would cost each tile a disk flush.
bool BatchJournal::AppendLine(const std::string& line) {
  std::string text = line + "\n";
  std::size_t done = 0;
  while (done < text.size()) {
    ssize_t n = ::write(fd_, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

bool BatchJournal::Read(const std::string& dir, Contents& contents) {
  std::error_code ec;
  bool found = false;
  std::vector<std::filesystem::path> journals;
  for (const auto& entry : std::filesystem::directory_iterator(dir, ec)) {
    std::string name = entry.path().filename().string();
    if (name.rfind(kPrefix, 0) == 0 && name.size() > std::strlen(kSuffix) &&
        name.compare(name.size() - std::strlen(kSuffix), std::string::npos, kSuffix) == 0)
      journals.push_back(entry.path());
  }
  for (const auto& path : journals) {
    found = true;
    std::ifstream in(path, std::ios::binary);
    std::optional<JournalPlan> plan;
    for (std::string line; std::getline(in, line);) {
      if (auto record = JournalRecord::FromJson(line)) {
        auto [it, added] = contents.latest.emplace(record->output, *record);
        if (!added && it->second.time <= record->time) it->second = *record;
        continue;
      }
      auto m = JsonText::ParseFlatObject(line);
      JournalPlan p;
      if (m && ToNumber(*m, "plan", p.total) && ToNumber(*m, "tiles", p.tiles) &&
          ToNumber(*m, "time", p.time)) {
        p.shard = (*m)["shard"];
        p.settings = TileSettings::FromMembers(*m);
        plan = p;
      } else {
        ++contents.unreadable;
      }
    }
    if (plan) contents.plans.push_back(*plan);
  }
  return found;
}
