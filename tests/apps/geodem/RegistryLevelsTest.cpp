// geodem and the registries it uses: the system-wide registry that `--system` writes (root only),
// found when the user's registry holds no writer, and a registered module that cannot be loaded.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "GeodemEndToEnd.h"
#include "GeodemProcess.h"
#include "support/ScopedEnvironment.h"
#include "support/ScopedRegistry.h"
#include "support/TempDir.h"

namespace {

constexpr char kProgId[] = "HVXOGEODEMWriter.HVXOGEODEMWriter.1";

// geodem as an unprivileged user: as it is when the tests do not run as root, else through setpriv.
ProcessResult GeodemAsUser(const std::vector<std::string>& args) {
  if (::geteuid() != 0) return GeodemProcess::Geodem(args);
  std::vector<std::string> argv = {"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups",
                                   GeodemProcess::Binary()};
  argv.insert(argv.end(), args.begin(), args.end());
  return GeodemProcess::Run(argv);
}

// No GEODEM_REGISTRY: the user's registry (in a temporary data folder) and a temporary stand-in for
// the system-wide one, in a folder anyone may write, so that only geodem's own check keeps a user
// out.
class RegistryLevels : public testing::Test {
 protected:
  RegistryLevels()
      : environment_({{"GEODEM_REGISTRY", std::nullopt},
                      {"XDG_DATA_HOME", dir_ / "data"},
                      {"GEODEM_SYSTEM_REGISTRY", dir_ / "system/registry"}}) {
    std::filesystem::create_directories(dir_ / "system");
    ::chmod(dir_.Path().c_str(), 0755);
    ::chmod((dir_ / "system").c_str(), 0777);
  }

  std::string SystemRegistry() const { return dir_ / "system/registry"; }
  std::string UserRegistry() const { return dir_ / "data/geodem/registry"; }

  TempDir dir_;
  ScopedEnvironment environment_;
};

TEST_F(RegistryLevels, SystemRegistrationIsRefusedWithoutRoot) {
  if (const std::string why = GeodemProcess::NobodyCannotRunGeodem(); !why.empty())
    GTEST_SKIP() << why;
  for (const char* command : {"register", "unregister"}) {
    SCOPED_TRACE(command);
    ProcessResult r = GeodemAsUser({command, "--system"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("only root"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find(SystemRegistry()), std::string::npos) << r.err;
    EXPECT_FALSE(std::filesystem::exists(SystemRegistry()));
  }
}

// The installed product's path: root registers in the system-wide registry, and a user whose own
// registry holds no writer converts through it; a writer of the user's own comes first.
TEST_F(RegistryLevels, UsersFindTheWriterInTheSystemRegistry) {
  if (::geteuid() != 0) GTEST_SKIP() << "writing the system-wide registry needs root";
  TestRaster raster;
  raster.epsg = 32650;
  const std::string source = dir_ / "dem.tif", grid = dir_ / "dem.dem";
  ASSERT_TRUE(raster.WriteGTiff(source));

  ASSERT_EQ(GeodemProcess::Geodem({"register", "--system"}).status, 0);
  EXPECT_NE(TempDir::ReadFile(SystemRegistry()).find(kProgId), std::string::npos);
  EXPECT_FALSE(std::filesystem::exists(UserRegistry()));
  ProcessResult r = GeodemProcess::Geodem({"convert", "-q", source, grid});
  EXPECT_EQ(r.status, 0) << r.err;

  ASSERT_EQ(GeodemProcess::Geodem({"register"}).status, 0);
  ASSERT_EQ(GeodemProcess::Geodem({"unregister", "--system"}).status, 0);
  EXPECT_EQ(TempDir::ReadFile(SystemRegistry()).find(kProgId), std::string::npos);
  r = GeodemProcess::Geodem({"convert", "-q", "--overwrite", source, grid});
  EXPECT_EQ(r.status, 0) << r.err;

  ASSERT_EQ(GeodemProcess::Geodem({"unregister"}).status, 0);
  r = GeodemProcess::Geodem({"convert", "-q", "--overwrite", source, grid});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find(UserRegistry() + " or " + SystemRegistry()), std::string::npos) << r.err;
}

// A registered module that cannot be loaded (one built with AddressSanitizer, as a sanitized build
// used to register, or no module at all) is named, with the remedy, instead of ending geodem.
TEST_F(GeodemEndToEnd, RegisteredModuleThatCannotLoadIsNamedWithTheRemedy) {
  const std::string source = Write(TestRaster{}, "dem.tif");
  const std::string notAModule = dir_ / "notes.so";
  TempDir::WriteFile(notAModule, "not a module");
  std::vector<std::string> modules = {notAModule};
#ifdef GEODEM_ASAN_TEST_MODULE
  modules.push_back(GEODEM_ASAN_TEST_MODULE);
#endif
  const std::string clsid = ScopedRegistry::Value(std::string(kProgId) + "\\CLSID");
  for (const std::string& module : modules) {
    SCOPED_TRACE(module);
    ASSERT_EQ(ScopedRegistry::Set("CLSID\\" + clsid + "\\InprocServer32", nullptr, module),
              ERROR_SUCCESS);
    ProcessResult r = Convert({source, dir_ / "out.dem"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find(module), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("run 'geodem register'"), std::string::npos) << r.err;
    EXPECT_FALSE(std::filesystem::exists(dir_ / "out.dem"));
  }
  ASSERT_EQ(GeodemProcess::Geodem({"register"}).status, 0);
}

}  // namespace
