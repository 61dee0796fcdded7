#pragma once
// What every fuzz program needs once per process: GDAL's drivers, the host runtime, a registry of
// its own (never the user's), GDAL's messages silenced, and a scratch folder for the files the
// inputs become, removed when the process ends normally. Each fuzz program includes this header
// once, which also gives it libFuzzer's start-up hook.
#include <cpl_error.h>
#include <gdal.h>
#include <stdlib.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>

#include "host/HostRuntime.h"

class FuzzEnvironment {
 public:
  static FuzzEnvironment& Instance() {
    static FuzzEnvironment environment;
    return environment;
  }

  const std::filesystem::path& Scratch() const { return scratch_; }
  std::string File(const std::string& name) const { return (scratch_ / name).string(); }

  static void WriteFile(const std::string& path, const std::uint8_t* data, std::size_t size) {
    if (std::FILE* f = std::fopen(path.c_str(), "wb")) {
      if (size > 0) std::fwrite(data, 1, size, f);
      std::fclose(f);
    }
  }

  // Removes everything the last input left in the scratch folder.
  void Sweep() const {
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(scratch_, ec))
      std::filesystem::remove_all(entry.path(), ec);
  }

 private:
  FuzzEnvironment() {
    std::string pattern = (std::filesystem::temp_directory_path() / "geodem-fuzz-XXXXXX").string();
    scratch_ = ::mkdtemp(pattern.data());
    std::filesystem::path registry = scratch_.parent_path() / (scratch_.filename().string() + "-registry");
    ::setenv("GEODEM_REGISTRY", registry.c_str(), 1);
    registry_ = registry;
    CPLSetErrorHandler(CPLQuietErrorHandler);
    GDALAllRegister();
    InitializeHostRuntime();
  }
  ~FuzzEnvironment() {
    std::error_code ec;
    std::filesystem::remove_all(scratch_, ec);
    std::filesystem::remove(registry_, ec);
    std::filesystem::remove(registry_.string() + ".lock", ec);
  }

  std::filesystem::path scratch_;
  std::filesystem::path registry_;
};

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  FuzzEnvironment::Instance();
  return 0;
}
