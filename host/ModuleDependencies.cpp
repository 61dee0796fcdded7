#include "host/ModuleDependencies.h"

#include <dlfcn.h>
#include <elf.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstring>

namespace {

// Bounds on what is read from a file that may be anything: a real module's tables are far smaller.
constexpr std::size_t kMaxSections = 1 << 16;
constexpr std::size_t kMaxTableBytes = 64 << 20;

// The sanitizer runtimes that must come first in the process.
constexpr const char* kFirstRuntimes[] = {"libasan.so", "libhwasan.so", "libtsan.so", "liblsan.so"};

class File {
 public:
  explicit File(const std::string& path) : fd_(::open(path.c_str(), O_RDONLY | O_CLOEXEC)) {}
  ~File() {
    if (fd_ >= 0) ::close(fd_);
  }
  File(const File&) = delete;
  File& operator=(const File&) = delete;

  bool Read(void* to, std::size_t size, std::uint64_t offset) const {
    if (fd_ < 0) return false;
    auto* bytes = static_cast<char*>(to);
    while (size > 0) {
      ssize_t n = ::pread(fd_, bytes, size, static_cast<off_t>(offset));
      if (n <= 0) return false;
      bytes += n;
      size -= static_cast<std::size_t>(n);
      offset += static_cast<std::uint64_t>(n);
    }
    return true;
  }
  bool ReadTable(std::string& to, const Elf64_Shdr& section) const {
    if (section.sh_size > kMaxTableBytes) return false;
    to.resize(section.sh_size);
    return Read(to.data(), to.size(), section.sh_offset);
  }

 private:
  int fd_;
};

bool IsElf64(const Elf64_Ehdr& header) {
  return std::memcmp(header.e_ident, ELFMAG, SELFMAG) == 0 &&
         header.e_ident[EI_CLASS] == ELFCLASS64 && header.e_shentsize == sizeof(Elf64_Shdr) &&
         header.e_shnum > 0 && header.e_shnum <= kMaxSections;
}

}  // namespace

std::vector<std::string> ModuleDependencies::Needed(const std::string& path) {
  File file(path);
  Elf64_Ehdr header;
  if (!file.Read(&header, sizeof header, 0) || !IsElf64(header)) return {};
  std::vector<Elf64_Shdr> sections(header.e_shnum);
  if (!file.Read(sections.data(), sections.size() * sizeof(Elf64_Shdr), header.e_shoff)) return {};
  std::vector<std::string> needed;
  for (const Elf64_Shdr& section : sections) {
    if (section.sh_type != SHT_DYNAMIC || section.sh_link >= sections.size()) continue;
    std::string dynamic, strings;
    if (!file.ReadTable(dynamic, section) || !file.ReadTable(strings, sections[section.sh_link]))
      return {};
    for (std::size_t at = 0; at + sizeof(Elf64_Dyn) <= dynamic.size(); at += sizeof(Elf64_Dyn)) {
      Elf64_Dyn entry;
      std::memcpy(&entry, dynamic.data() + at, sizeof entry);
      if (entry.d_tag == DT_NULL) break;
      if (entry.d_tag == DT_NEEDED && entry.d_un.d_val < strings.size())
        needed.emplace_back(strings.c_str() + entry.d_un.d_val);
    }
  }
  return needed;
}

std::string ModuleDependencies::LoadHazard(const std::string& path) {
  for (const std::string& library : Needed(path)) {
    for (const char* runtime : kFirstRuntimes) {
      if (library.rfind(runtime, 0) != 0) continue;
      // Already in the process means it came first: the module can join it.
      if (void* loaded = ::dlopen(library.c_str(), RTLD_LAZY | RTLD_NOLOAD)) {
        ::dlclose(loaded);
        continue;
      }
      return "it was built with a sanitizer and needs " + library +
             ", which only a program built the same way can load";
    }
  }
  return {};
}
