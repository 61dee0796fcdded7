#include "apps/geodem/batch/TileInputs.h"

#include <fcntl.h>
#include <cpl_string.h>
#include <gdal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <mutex>
#include <sstream>

#include "apps/geodem/Translation.h"
#include "host/UserPath.h"

namespace {

// A VRT nests others at most this deep here; deeper ones are looked at as plain files.
constexpr int kVrtDepth = 4;
// A VRT or mapping file larger than this is no cut of a sheet: it is looked at, not read.
constexpr off_t kLargestText = 16 << 20;

// FNV-1a: stable across builds and machines, as a journal outlives the program that wrote it.
std::string HashOf(const std::string& text) {
  std::uint64_t hash = 0xcbf29ce484222325ULL;
  for (unsigned char c : text) hash = (hash ^ c) * 0x100000001b3ULL;
  char hex[17];
  std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(hash));
  return hex;
}

bool IsVrt(const std::string& path) {
  if (path.size() < 4) return false;
  std::string end = path.substr(path.size() - 4);
  for (char& c : end) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  return end == ".vrt";
}

// A small regular file's text; none for anything else (a FIFO is never waited on).
std::optional<std::string> SmallText(const std::string& path) {
  std::string refusal;
  const int fd = UserPath::OpenToRead(path, "text file", refusal);
  if (fd < 0) return std::nullopt;
  struct stat st {};
  std::optional<std::string> text;
  if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size <= kLargestText) {
    text.emplace(static_cast<std::size_t>(st.st_size), '\0');
    std::size_t at = 0;
    for (ssize_t n;
         at < text->size() && (n = ::read(fd, text->data() + at, text->size() - at)) > 0;)
      at += static_cast<std::size_t>(n);
    text->resize(at);
  }
  ::close(fd);
  return text;
}

std::string XmlUnescaped(std::string text) {
  static const std::pair<const char*, char> kEntities[] = {
      {"&lt;", '<'}, {"&gt;", '>'}, {"&quot;", '"'}, {"&apos;", '\''}, {"&amp;", '&'}};
  for (const auto& [entity, c] : kEntities)
    for (std::size_t at; (at = text.find(entity)) != std::string::npos;)
      text.replace(at, std::char_traits<char>::length(entity), 1, c);
  return text;
}

// The files a VRT's text reads, each as a path (relative ones taken against the VRT's folder
// when it says so, else against the working folder, as GDAL takes them).
std::vector<std::string> FilesOfVrt(const std::string& vrtPath, const std::string& xml) {
  std::vector<std::string> files;
  const std::string open = "<SourceFilename", close = "</SourceFilename>";
  for (std::size_t at = xml.find(open); at != std::string::npos; at = xml.find(open, at + 1)) {
    const std::size_t tagEnd = xml.find('>', at), end = xml.find(close, at);
    if (tagEnd == std::string::npos || end == std::string::npos || end < tagEnd) break;
    const std::string tag = xml.substr(at, tagEnd - at);
    std::filesystem::path file = XmlUnescaped(xml.substr(tagEnd + 1, end - tagEnd - 1));
    if (tag.find("relativeToVRT=\"1\"") != std::string::npos && file.is_relative())
      file = std::filesystem::path(vrtPath).parent_path() / file;
    files.push_back(file.lexically_normal().string());
  }
  return files;
}

// A file's state: its modification and status-change times to the nanosecond and its inode, so
// that a file replaced by another of the same size and time is told apart.
std::string StateOf(const struct stat& st) {
  return std::to_string(st.st_mtim.tv_sec) + "." + std::to_string(st.st_mtim.tv_nsec) + " " +
         std::to_string(st.st_ctim.tv_sec) + "." + std::to_string(st.st_ctim.tv_nsec) + " " +
         std::to_string(st.st_ino);
}

// The files GDAL reads for the raster at path: itself and what it finds beside it (.aux.xml,
// .prj, .tfw, .msk, .ovr ...), as GDAL lists them; the path alone when GDAL cannot open it. A
// list is made again only when the file or its folder changed (a file added beside it changes
// the folder): a mosaic that every sheet of a set reads is opened once.
const std::vector<std::string>& FilesGdalReads(const std::string& path) {
  static std::mutex mutex;
  static std::map<std::string, std::vector<std::string>> lists;
  struct stat file {}, folder {};
  std::string key = path;
  const std::string parent = std::filesystem::path(path).parent_path().string();
  if (::stat(path.c_str(), &file) == 0 &&
      ::stat(parent.empty() ? "." : parent.c_str(), &folder) == 0)
    key += '\n' + StateOf(file) + '\n' + StateOf(folder);
  std::lock_guard lock(mutex);
  auto it = lists.find(key);
  if (it != lists.end()) return it->second;
  static std::once_flag registered;
  std::call_once(registered, GDALAllRegister);
  std::vector<std::string> files{path};
  // Only a regular file is opened: GDAL would wait on a FIFO for ever.
  if (key == path || !S_ISREG(file.st_mode))
    return lists.emplace(key, std::move(files)).first->second;
  CPLPushErrorHandler(CPLQuietErrorHandler);
  if (GDALDatasetH ds = GDALOpenEx(path.c_str(), GDAL_OF_RASTER | GDAL_OF_READONLY, nullptr,
                                   nullptr, nullptr)) {
    char** list = GDALGetFileList(ds);
    for (char** f = list; f && *f; ++f)
      if (*f != path) files.emplace_back(*f);
    CSLDestroy(list);
    GDALClose(ds);
  }
  CPLPopErrorHandler();
  return lists.emplace(key, std::move(files)).first->second;
}

// What differs between two states, in the words the report names it with; journals older than
// the status-change time and the inode kept only the modification time, which alone is compared.
std::string StateChanges(const std::string& then, const std::string& now) {
  std::istringstream a(then), b(now);
  std::string what;
  for (const char* name : {"time", "ctime", "inode"}) {
    std::string x, y;
    a >> x;
    b >> y;
    if (!x.empty() && x != y) what += (what.empty() ? "" : ", ") + std::string(name);
  }
  return what;
}

std::vector<std::string> Fields(const std::string& line) {
  std::vector<std::string> fields;
  std::istringstream in(line);
  for (std::string field; std::getline(in, field, '\t');) fields.push_back(field);
  return fields;
}

}  // namespace

TileInputs TileInputs::Of(const std::string& source, const std::optional<std::string>& mapping) {
  TileInputs inputs;
  inputs.AddSource(source, 0);
  if (mapping) {
    std::error_code ec;
    inputs.AddText("mapping", std::filesystem::absolute(*mapping, ec).lexically_normal().string());
  }
  return inputs;
}

void TileInputs::AddSource(const std::string& path, int depth) {
  if (IsVrt(path) && depth < kVrtDepth) return AddVrt(path, depth);
  for (const std::string& file : FilesGdalReads(path)) {
    Entry e{"source", file, "-", "-"};
    if (Find(e)) continue;
    struct stat st {};
    if (::stat(file.c_str(), &st) == 0) {
      e.size = std::to_string(st.st_size);
      e.state = StateOf(st);
    }
    Add(std::move(e));
  }
}

// A tile's own VRT (its cut) is read for every tile; a VRT that cuts name in turn (a mosaic that
// a whole set shares) is read once a run.
void TileInputs::AddVrt(const std::string& path, int depth) {
  static std::map<std::string, std::vector<Entry>> shared;
  auto it = depth > 0 ? shared.find(path) : shared.end();
  if (it == shared.end()) {
    TileInputs own;
    own.AddText("cut", path);
    if (std::optional<std::string> xml = SmallText(path))
      for (const std::string& file : FilesOfVrt(path, *xml)) own.AddSource(file, depth + 1);
    if (depth == 0) {
      for (Entry& e : own.entries_) Add(std::move(e));
      return;
    }
    it = shared.emplace(path, std::move(own.entries_)).first;
  }
  for (const Entry& e : it->second) Add(e);
}

void TileInputs::AddText(const char* kind, const std::string& path) {
  Entry e{kind, path, "-", "-"};
  if (Find(e)) return;
  if (std::optional<std::string> text = SmallText(path)) {
    e.size = std::to_string(text->size());
    e.state = HashOf(*text);
  }
  Add(std::move(e));
}

void TileInputs::Add(Entry e) {
  if (index_.emplace(e.kind + '\t' + e.path, entries_.size()).second)
    entries_.push_back(std::move(e));
}

const TileInputs::Entry* TileInputs::Find(const Entry& like) const {
  auto it = index_.find(like.kind + '\t' + like.path);
  return it == index_.end() ? nullptr : &entries_[it->second];
}

std::string TileInputs::Text() const {
  std::string text;
  for (const Entry& e : entries_)
    text += (text.empty() ? "" : "\n") + e.kind + "\t" + e.path + "\t" + e.size + "\t" + e.state;
  return text;
}

TileInputs TileInputs::FromText(const std::string& text) {
  TileInputs inputs;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);)
    if (std::vector<std::string> f = Fields(line); f.size() == 4)
      inputs.Add({f[0], f[1], f[2], f[3]});
  return inputs;
}

std::string TileInputs::Relocated(const std::string& text, const FolderMove& move) {
  if (!move.moved()) return text;
  TileInputs inputs = FromText(text);
  for (Entry& e : inputs.entries_) e.path = move.Path(e.path);
  return inputs.Text();
}

std::optional<std::string> TileInputs::mapping() const {
  for (const Entry& e : entries_)
    if (e.kind == "mapping") return e.path;
  return std::nullopt;
}

std::string TileInputs::ChangesSince(const TileInputs& before) const {
  std::string text;
  auto add = [&](const std::string& change) { text += (text.empty() ? "" : ", ") + change; };
  for (const Entry& then : before.entries_) {
    const Entry* now = Find(then);
    if (!now) {
      add(Tr("%s is no longer read", then.path.c_str()));
    } else if (now->size == "-" && then.size != "-") {
      add(Tr("%s is gone", then.path.c_str()));
    } else if (then.kind == "source" &&
               (now->size != then.size || !StateChanges(then.state, now->state).empty())) {
      std::string what = StateChanges(then.state, now->state);
      if (now->size != then.size) what = "size" + (what.empty() ? "" : ", " + what);
      add(Tr("source %s changed (%s)", then.path.c_str(), what.c_str()));
    } else if (then.kind == "cut" && now->state != then.state) {
      add(Tr("the cut %s changed", then.path.c_str()));
    } else if (then.kind == "mapping" && now->state != then.state) {
      add(Tr("the mapping file %s changed", then.path.c_str()));
    }
  }
  for (const Entry& e : entries_)
    if (!before.Find(e)) add(Tr("%s is read now", e.path.c_str()));
  return text;
}
