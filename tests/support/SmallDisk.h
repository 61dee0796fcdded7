#pragma once
// A tmpfs of a few kilobytes mounted for a test; not there when mounting is not allowed.
#include <sys/mount.h>

#include <filesystem>
#include <string>

class SmallDisk {
 public:
  explicit SmallDisk(const std::string& path) : path_(path) {
    std::filesystem::create_directory(path_);
    mounted_ = ::mount("tmpfs", path_.c_str(), "tmpfs", MS_NOSUID | MS_NODEV, "size=48k") == 0;
  }
  ~SmallDisk() {
    if (mounted_) ::umount2(path_.c_str(), MNT_DETACH);
  }
  SmallDisk(const SmallDisk&) = delete;
  SmallDisk& operator=(const SmallDisk&) = delete;
  bool Mounted() const { return mounted_; }

 private:
  std::string path_;
  bool mounted_ = false;
};
