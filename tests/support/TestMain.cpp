#include <cpl_conv.h>
#include <gdal.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "host/HostRuntime.h"

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  // Tests never read or write the user's own registry: unless a test names one, the process gets
  // a registry file of its own that does not exist yet.
  std::string registry = (std::filesystem::temp_directory_path() /
                          ("geodem-test-registry-" + std::to_string(::getpid())))
                             .string();
  setenv("GEODEM_REGISTRY", registry.c_str(), 0);
  // geodem's words are English here whatever the developer's own locale; a test of another
  // language sets it for the programs it runs.
  for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANGUAGE"}) unsetenv(name);
  setenv("LANG", "C", 1);
  // GDAL's own drivers only: a plug-in installed on the machine is not the build's (a package test
  // of any build may install a GEODEM one for a while); tests that need the driver load the
  // build's plug-in themselves.
  CPLSetConfigOption("GDAL_DRIVER_PATH", "disable");
  GDALAllRegister();
  CPLSetConfigOption("GDAL_DRIVER_PATH", nullptr);
  InitializeHostRuntime();
  int result = RUN_ALL_TESTS();
  std::filesystem::remove(registry);
  std::filesystem::remove(registry + ".lock");
  return result;
}
