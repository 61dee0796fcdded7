#include "apps/geodem/batch/BatchJournal.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <set>
#include <sstream>

#include "apps/geodem/JsonText.h"
#include "apps/geodem/Translation.h"
#include "apps/geodem/batch/FolderMove.h"
#include "apps/geodem/batch/TileInputs.h"
#include "host/UserPath.h"

namespace {

constexpr const char* kPrefix = "geodem-batch";
constexpr const char* kSuffix = ".jsonl";

const JournalRecord::Status kStatuses[] = {
    JournalRecord::Status::kDone, JournalRecord::Status::kSkipped, JournalRecord::Status::kFailed,
    JournalRecord::Status::kInterrupted, JournalRecord::Status::kStarted};

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

// Empty when fd is a journal this user may read and append to: a regular file of the user's own
// with one link. Else why not.
std::string NotOwnJournal(int fd, const std::string& path) {
  struct stat st {};
  if (::fstat(fd, &st) != 0) return Tr("cannot read %s: %s", path.c_str(), std::strerror(errno));
  if (S_ISREG(st.st_mode) && st.st_uid == ::geteuid() && st.st_nlink == 1) return {};
  return Tr(
      "%s is not a journal of this user's (a regular file of user %ld with one link): it "
      "is owned by user %ld, has %ld link(s) and is %s",
      path.c_str(), static_cast<long>(::geteuid()), static_cast<long>(st.st_uid),
      static_cast<long>(st.st_nlink), S_ISREG(st.st_mode) ? _("a file") : _("no file"));
}

// The later of two records of one grid file from different journals: the later run. Journals
// older than run numbers can only be told apart by their clocks.
bool Later(const JournalRecord& candidate, const JournalRecord& kept) {
  if (candidate.run != kept.run) return candidate.run > kept.run;
  return candidate.run == 0 && candidate.time >= kept.time;
}

std::string Joined(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += (text.empty() ? "" : "\n") + line;
  return text;
}

std::vector<std::string> Split(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

std::string Absolute(const std::string& dir) {
  std::error_code ec;
  std::string path = std::filesystem::absolute(dir, ec).lexically_normal().string();
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
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
    case Status::kStarted:
      return "started";
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
         ",\"run\":" + std::to_string(run) +
         (origin.empty() ? "" : ",\"origin\":" + Quote(origin)) +
         (settings ? settings->JsonMembers() : "") +
         (prjBytes >= 0 ? ",\"prj_bytes\":" + std::to_string(prjBytes) : "") +
         (inputs.empty() ? "" : ",\"inputs\":" + Quote(inputs)) + "}";
}

std::string JournalRecord::Name() const {
  return origin.empty() ? Tr("tile %s", std::to_string(tile + 1).c_str()) : origin;
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
  ToNumber(*m, "run", r.run);
  ToNumber(*m, "prj_bytes", r.prjBytes);
  r.inputs = (*m)["inputs"];
  r.origin = (*m)["origin"];
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
  error.clear();
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
  fd_ = UserPath::Open(path, O_RDWR | O_APPEND | O_CREAT | O_NONBLOCK, 0644, refusal);
  if (fd_ < 0)
    error = refusal.empty()
                ? Tr("cannot open the journal %s: %s", path.c_str(), std::strerror(errno))
                : refusal;
  else if (std::string notOwn = NotOwnJournal(fd_, path); !notOwn.empty())
    error = notOwn + "; " +
            _("nothing is appended to it: remove it or give this run another "
              "--out-dir");
  else if (!EndHalfLine())
    error = Tr("cannot append to the journal %s: %s", path.c_str(), std::strerror(errno));
  if (!error.empty()) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    lock_.Release();
  }
  return fd_ >= 0;
}

bool BatchJournal::EndHalfLine() {
  struct stat st {};
  char last = '\n';
  if (::fstat(fd_, &st) != 0) return false;
  if (st.st_size > 0 && ::pread(fd_, &last, 1, st.st_size - 1) != 1) return false;
  if (last == '\n') return true;
  halfLineEnded_ = true;
  return ::write(fd_, "\n", 1) == 1;
}

void BatchJournal::Flush() {
  if (fd_ >= 0) ::fdatasync(fd_);
}

bool BatchJournal::Append(const JournalPlan& p) {
  return AppendLine("{\"plan\":" + std::to_string(p.total) + ",\"shard\":" +
                    JsonText::Quote(p.shard) + ",\"tiles\":" + std::to_string(p.tiles) +
                    ",\"time\":" + JsonText::Number(p.time) + ",\"run\":" + std::to_string(p.run) +
                    (p.outputs ? ",\"outputs\":" + JsonText::Quote(Joined(*p.outputs)) : "") +
                    (p.settings ? p.settings->JsonMembers() : "") +
                    (p.dir.empty() ? "" : ",\"dir\":" + JsonText::Quote(Absolute(p.dir))) + "}");
}

bool BatchJournal::Append(const JournalRecord& record) { return AppendLine(record.Json()); }

// One write per line: once written, a line survives whatever kills the batch, and a write cut
// short (a full disk) leaves one half line, which is ended at once so that the next line stands
// whole. Lines are forced to disk at the end of a run (Flush), not one by one: that would cost
// each tile a disk flush.
bool BatchJournal::AppendLine(const std::string& line) {
  // A half line that could not be ended when it was cut (the disk still full) is ended before
  // anything else is written: glued to it, this line would be lost too.
  if (halfLineLeft_) {
    if (!EndHalfLine()) return false;
    halfLineLeft_ = false;
  }
  const std::string text = line + "\n";
  ssize_t n;
  do n = ::write(fd_, text.data(), text.size());
  while (n < 0 && errno == EINTR);
  if (n == static_cast<ssize_t>(text.size())) return true;
  const int cause = errno;
  if (n > 0) halfLineLeft_ = !EndHalfLine();
  errno = n < 0 ? cause : ENOSPC;
  return false;
}

bool BatchJournal::Read(const std::string& dir, Contents& contents) {
  std::error_code ec;
  std::vector<std::string> journals;
  for (const auto& entry : std::filesystem::directory_iterator(dir, ec)) {
    std::string name = entry.path().filename().string();
    if (name.rfind(kPrefix, 0) == 0 && name.size() > std::strlen(kSuffix) &&
        name.compare(name.size() - std::strlen(kSuffix), std::string::npos, kSuffix) == 0)
      journals.push_back(entry.path().string());
  }
  // The same order on every machine, for records no run number tells apart.
  std::sort(journals.begin(), journals.end());
  for (const std::string& path : journals) {
    std::string refusal;
    const int fd = UserPath::OpenToRead(path, "journal", refusal);
    std::string notOwn =
        fd < 0 ? (refusal.empty() ? Tr("cannot read %s: %s", path.c_str(), std::strerror(errno))
                                  : path + ": " + refusal)
               : NotOwnJournal(fd, path);
    if (notOwn.empty())
      ReadJournal(fd, path, Absolute(dir), contents);
    else
      contents.skipped.push_back(notOwn);
    if (fd >= 0) ::close(fd);
  }
  return !journals.empty();
}

void BatchJournal::ReadJournal(int fd, const std::string& path, const std::string& dir,
                               Contents& contents) {
  std::string text;
  char buffer[65536];
  for (ssize_t n; (n = ::read(fd, buffer, sizeof buffer)) != 0;) {
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) break;
    text.append(buffer, static_cast<std::size_t>(n));
  }
  std::optional<JournalPlan> plan;
  std::map<std::string, JournalRecord> own;  // this journal's: its later line wins
  FolderMove move;  // from the folder the lines since the last plan line were written in
  std::set<std::string> movedFrom;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    if (line.empty()) continue;  // a half line's end
    if (auto record = JournalRecord::FromJson(line)) {
      contents.lastRun = std::max(contents.lastRun, record->run);
      record->output = move.Path(record->output);
      record->source = move.Path(record->source);
      record->inputs = TileInputs::Relocated(record->inputs, move);
      own.insert_or_assign(record->output, std::move(*record));
      continue;
    }
    auto m = JsonText::ParseFlatObject(line);
    JournalPlan p;
    if (m && ToNumber(*m, "plan", p.total) && ToNumber(*m, "tiles", p.tiles) &&
        ToNumber(*m, "time", p.time)) {
      p.shard = (*m)["shard"];
      ToNumber(*m, "run", p.run);
      if (m->count("outputs")) p.outputs = Split((*m)["outputs"]);
      p.settings = TileSettings::FromMembers(*m);
      move = FolderMove((*m)["dir"], dir);
      if (move.moved()) movedFrom.insert((*m)["dir"]);
      if (p.outputs)
        for (std::string& output : *p.outputs) output = move.Path(output);
      p.dir = dir;
      contents.lastRun = std::max(contents.lastRun, p.run);
      plan = std::move(p);
    } else {
      ++contents.unreadable;
    }
  }
  for (auto& [output, record] : own) {
    auto [it, added] = contents.latest.emplace(output, record);
    if (!added && Later(record, it->second)) it->second = std::move(record);
  }
  if (plan) contents.plans.push_back(std::move(*plan));
  for (const std::string& folder : movedFrom)
    contents.moved.push_back(Tr("the journal %s was written in %s: the grid files it names there "
                                "are taken from %s",
                                path.c_str(), folder.c_str(), dir.c_str()));
}
