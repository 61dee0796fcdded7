#include <fcntl.h>
#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "host/CHVXRegKey.h"
#include "host/CodePage.h"
#include "host/InprocModuleTable.h"
#include "host/Registry.h"
#include "host/RegistryError.h"
#include "host/RegistryFile.h"
#include "host/ServerRegistration.h"
#include "host/Unknown.h"
#include "support/ScopedEnvironment.h"
#include "support/ScopedRegistry.h"
#include "support/TempDir.h"

namespace {

namespace fs = std::filesystem;

constexpr char kCatalogue[] = "GEOCOMPONENTCATEGORY\\Talvane\\HVXObjects\\Writer\\GEODEM";
constexpr char kProgId[] = "HVXOGEODEMWriter.HVXOGEODEMWriter.1";

std::vector<std::string> FilesBeside(const std::string& path) {
  std::vector<std::string> names;
  for (const auto& entry :
       std::filesystem::directory_iterator(std::filesystem::path(path).parent_path()))
    names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

TEST(Registry, CatalogueEntryIsWrittenThroughCHVXRegKeyAndDeletedAlone) {
  ScopedRegistry registry;
  {
    CHVXRegKey key;
    EXPECT_EQ(key.Write("", "too early"), ERROR_INVALID_HANDLE);
    ASSERT_EQ(key.Open(HKEY_CLASSES_ROOT, kCatalogue), ERROR_SUCCESS);
    EXPECT_EQ(key.Write("", "HVXOGEODEMWriter"), ERROR_SUCCESS);
    EXPECT_EQ(key.Write("CLSID", kProgId), ERROR_SUCCESS);
  }  // the destructor closes the key
  // Key and value names are found whatever their case.
  const char* otherCase = "geocomponentcategory\\TALVANE\\hvxobjects\\writer\\GeoDem";
  EXPECT_EQ(ScopedRegistry::Value(otherCase), "HVXOGEODEMWriter");
  EXPECT_EQ(ScopedRegistry::Value(otherCase, "clsid"), kProgId);
  EXPECT_EQ(ScopedRegistry::Value(otherCase, "Other"), "<missing>");
  EXPECT_NE(registry.Text().find("[GEOCOMPONENTCATEGORY\\Talvane\\HVXObjects\\Writer\\GEODEM]\n"
                                 "@=\"HVXOGEODEMWriter\"\n"
                                 "\"CLSID\"=\"HVXOGEODEMWriter.HVXOGEODEMWriter.1\"\n"),
            std::string::npos)
      << registry.Text();

  HKEY open = nullptr;
  ASSERT_EQ(RegOpenKeyA(HKEY_CLASSES_ROOT, kCatalogue, &open), ERROR_SUCCESS);
  EXPECT_EQ(RegDeleteKeyA(HKEY_CLASSES_ROOT, kCatalogue), ERROR_SUCCESS);
  EXPECT_FALSE(ScopedRegistry::HasKey(kCatalogue));
  EXPECT_TRUE(ScopedRegistry::HasKey("GEOCOMPONENTCATEGORY\\Talvane\\HVXObjects\\Writer"));
  EXPECT_EQ(RegDeleteKeyA(HKEY_CLASSES_ROOT, kCatalogue), ERROR_FILE_NOT_FOUND);
  // A handle outliving its key neither writes nor brings the key back.
  EXPECT_EQ(RegSetValueA(open, "CLSID", "x"), ERROR_KEY_DELETED);
  EXPECT_FALSE(ScopedRegistry::HasKey(kCatalogue));
  RegCloseKey(open);

  // A key goes with everything below it; the keys above stay.
  ASSERT_EQ(ScopedRegistry::Set("A\\B\\C", "v", "1"), ERROR_SUCCESS);
  EXPECT_EQ(RegDeleteKeyA(HKEY_CLASSES_ROOT, "a\\b"), ERROR_SUCCESS);
  EXPECT_TRUE(ScopedRegistry::HasKey("A"));
  EXPECT_FALSE(ScopedRegistry::HasKey("A\\B\\C"));
  EXPECT_EQ(RegDeleteKeyA(HKEY_CLASSES_ROOT, ""), ERROR_ACCESS_DENIED);
  EXPECT_EQ(RegCreateKeyA(HKEY_CLASSES_ROOT, "A\\\\B", &open), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(open, nullptr);
}

TEST(Registry, OddNamesAndValuesSurviveTheFile) {
  ScopedRegistry registry;
  const std::string chinese = Utf8ToGbk("数据目录");
  const std::string trail5C = Utf8ToGbk("運");  // its trail byte is a backslash
  ASSERT_EQ(trail5C, "\xDF\x5C");
  const std::vector<std::string> values = {
      "line one\nline two\r\n\tend",
      "a=b; c=\"d\" [e] @f #g %41",
      "C:\\dir\\file\\",
      chinese + "\\" + trail5C + "\\",
      "raw \x80 \xFF and a lone lead \x81",
      std::string("nul\0inside", 10),
      "",
  };
  const std::string key = chinese + "\\" + trail5C + "50% [x]";
  for (std::size_t i = 0; i < values.size(); ++i)
    ASSERT_EQ(ScopedRegistry::Set(key, ("name=" + std::to_string(i) + trail5C).c_str(), values[i]),
              ERROR_SUCCESS);
  ASSERT_EQ(ScopedRegistry::Set(key, nullptr, trail5C), ERROR_SUCCESS);

  // The trail byte 0x5C split no key name: the key sits two levels down.
  HKEY parent = nullptr;
  ASSERT_EQ(RegOpenKeyA(HKEY_CLASSES_ROOT, chinese.c_str(), &parent), ERROR_SUCCESS);
  EXPECT_EQ(ScopedRegistry::Value(key), trail5C);
  std::string sub = trail5C + "50% [X]";
  HKEY child = nullptr;
  ASSERT_EQ(RegOpenKeyA(parent, sub.c_str(), &child), ERROR_SUCCESS);
  for (std::size_t i = 0; i < values.size(); ++i) {
    std::string value;
    EXPECT_EQ(RegQueryValueA(child, ("NAME=" + std::to_string(i) + trail5C).c_str(), value),
              ERROR_SUCCESS);
    EXPECT_EQ(value, values[i]) << i;
  }
  RegCloseKey(child);
  RegCloseKey(parent);

  // The file reads as UTF-8 text, one line per value.
  std::string text = registry.Text();
  EXPECT_NE(text.find("[数据目录\\運50%25 [x]]\n"), std::string::npos) << text;
  EXPECT_NE(text.find("\"line one\\nline two\\r\\n\\tend\""), std::string::npos) << text;
  EXPECT_NE(text.find("\"raw \\x80 \\xFF and a lone lead \\x81\""), std::string::npos) << text;
  EXPECT_EQ(Utf8ToUtf16(text).find(u'?'), std::u16string::npos);
}

TEST(Registry, ValueNamesIgnoreCaseAndKeepTheirFirstSpelling) {
  ScopedRegistry registry;
  ASSERT_EQ(ScopedRegistry::Set("Key", "ThreadingModel", "Free"), ERROR_SUCCESS);
  ASSERT_EQ(ScopedRegistry::Set("KEY", "threadingmodel", "Apartment"), ERROR_SUCCESS);
  EXPECT_EQ(ScopedRegistry::Value("key", "THREADINGMODEL"), "Apartment");
  EXPECT_NE(registry.Text().find("[Key]\n\"ThreadingModel\"=\"Apartment\"\n"), std::string::npos);
  EXPECT_EQ(ScopedRegistry::Value("key"), "<missing>");  // no default value was set
}

TEST(Registry, MissingFileIsAnEmptyRegistryAndWritesLeaveNoTemporaryFiles) {
  ScopedRegistry registry;
  EXPECT_FALSE(ScopedRegistry::HasKey("CLSID"));
  EXPECT_EQ(ScopedRegistry::Value("CLSID"), "<missing>");
  EXPECT_FALSE(std::filesystem::exists(registry.Path()));  // reading created nothing
  for (int i = 0; i < 5; ++i)
    ASSERT_EQ(ScopedRegistry::Set("CLSID", "n", std::to_string(i)), ERROR_SUCCESS);
  EXPECT_EQ(FilesBeside(registry.Path()), (std::vector<std::string>{"registry", "registry.lock"}));
}

TEST(Registry, CorruptFileIsReportedAndNeverOverwritten) {
  ScopedRegistry registry;
  ASSERT_EQ(ScopedRegistry::Set("CLSID", "x", "1"), ERROR_SUCCESS);
  const std::vector<std::pair<std::string, std::string>> corrupt = {
      {"geodem registry 1\n[CLSID]\n\"broken=\"1\n", ":3: expected '='"},
      {"geodem registry 1\n[CLSID]\n\"x\"=\"half a line", ":3: unterminated quoted text"},
      {"geodem registry 1\n@=\"no key\"\n", ":2: a value before the first key header"},
      {"geodem registry 1\n[A\\\\B]\n", ":2: empty key name"},
      {"geodem registry 1\n[A]\n\"x\"=\"\\q\"\n", ":3: unknown escape \\q"},
      {"geodem registry 1\n[A]\n\"x\"=\"\xCA\xFD\"\n", ":3: text that is not UTF-8"},
      {"some other file\n", ":1: not a registry file"},
  };
  for (const auto& [content, reason] : corrupt) {
    TempDir::WriteFile(registry.Path(), content);
    HKEY key = nullptr;
    EXPECT_EQ(RegCreateKeyA(HKEY_CLASSES_ROOT, "New", &key), ERROR_BADDB) << content;
    EXPECT_NE(RegistryLastError().find(registry.Path() + reason), std::string::npos)
        << RegistryLastError();
    EXPECT_EQ(RegOpenKeyA(HKEY_CLASSES_ROOT, "CLSID", &key), ERROR_BADDB);
    EXPECT_EQ(RegDeleteKeyA(HKEY_CLASSES_ROOT, "CLSID"), ERROR_BADDB);
    EXPECT_EQ(RegisterServerClass({CLSID(), "d", "P.1", "P", "/m.so", "", {}}),
              HRESULT_FROM_WIN32(ERROR_BADDB));
    CLSID clsid;
    EXPECT_EQ(CLSIDFromProgID(u"P.1", &clsid), REGDB_E_READREGDB);
    EXPECT_EQ(registry.Text(), content);
  }
  // A byte order mark, blank lines, comments and CR LF line ends are what an editor may leave.
  TempDir::WriteFile(
      registry.Path(),
      "\xEF\xBB\xBF\r\n; edited\r\ngeodem registry 1\r\n# note\r\n[A]\r\n@=\"v\"\r\n");
  EXPECT_EQ(ScopedRegistry::Value("A"), "v");
}

ServerClassInfo ConcurrentClass(int n) {
  CLSID clsid = MakeGuid("{C0000000-0000-0000-0000-000000000000}");
  clsid.Data4[7] = static_cast<std::uint8_t>(n);
  return {clsid, "Concurrent", "Concurrent.Class." + std::to_string(n), "", "/m.so", "Both", {}};
}

// A child process exits with 0 when all its registry operations succeeded.
void RunInChild(const std::function<bool()>& work, int startSignal) {
  char go;
  bool ok = ::read(startSignal, &go, 1) == 0 && work();  // waits until the parent closes the pipe
  ::_exit(ok ? 0 : 1);
}

TEST(Registry, ConcurrentProcessesLoseNoUpdate) {
  ScopedRegistry registry;
  constexpr int kProcesses = 8;
  constexpr int kKeysEach = 15;
  int start[2];
  ASSERT_EQ(::pipe(start), 0);
  std::vector<pid_t> children;
  for (int p = 0; p < kProcesses; ++p) {
    pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      ::close(start[1]);
      RunInChild(
          [p] {
            for (int k = 0; k < kKeysEach; ++k) {
              std::string path = "Concurrent\\P" + std::to_string(p) + "\\K" + std::to_string(k);
              std::string value = std::to_string(p * 100 + k);
              if (ScopedRegistry::Set(path, "Owner", value)) return false;
              // A reader takes no lock: it must still never meet half a file.
              if (ScopedRegistry::Value(path, "Owner") != value) return false;
            }
            CHVXRegKey catalogue;
            std::string path = std::string(kCatalogue) + std::to_string(p);
            return catalogue.Open(HKEY_CLASSES_ROOT, path.c_str()) == ERROR_SUCCESS &&
                   catalogue.Write("CLSID", kProgId) == ERROR_SUCCESS &&
                   RegisterServerClass(ConcurrentClass(p)) == S_OK;
          },
          start[0]);
    }
    children.push_back(pid);
  }
  ::close(start[0]);
  ::close(start[1]);  // all children start at once
  for (pid_t pid : children) {
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  for (int p = 0; p < kProcesses; ++p) {
    for (int k = 0; k < kKeysEach; ++k) {
      std::string path = "Concurrent\\P" + std::to_string(p) + "\\K" + std::to_string(k);
      EXPECT_EQ(ScopedRegistry::Value(path, "Owner"), std::to_string(p * 100 + k)) << path;
    }
    EXPECT_EQ(ScopedRegistry::Value((kCatalogue + std::to_string(p)), "CLSID"), kProgId);
    CLSID clsid;
    EXPECT_EQ(CLSIDFromProgID(Utf8ToUtf16(ConcurrentClass(p).progId).c_str(), &clsid), S_OK);
    EXPECT_EQ(clsid, ConcurrentClass(p).clsid);
  }
  EXPECT_EQ(FilesBeside(registry.Path()), (std::vector<std::string>{"registry", "registry.lock"}));
}

TEST(Registry, ProcessDyingInTheMiddleOfAnUpdateLeavesTheRegistryWhole) {
  ScopedRegistry registry;
  ASSERT_EQ(ScopedRegistry::Set("Before", nullptr, "kept"), ERROR_SUCCESS);
  const std::string before = registry.Text();
  pid_t pid = ::fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    RegistryFile(registry.Path()).Update([](RegistryTree& tree) {
      tree.Create({"Half"}).values[""] = "never written";
      ::_exit(3);  // dies holding the lock, its change made only in memory
      return true;
    });
    ::_exit(0);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 3);
  EXPECT_EQ(registry.Text(), before);
  // The lock died with the process: the next writer goes ahead.
  EXPECT_EQ(ScopedRegistry::Set("After", nullptr, "written"), ERROR_SUCCESS);
  EXPECT_EQ(ScopedRegistry::Value("Before"), "kept");
  EXPECT_FALSE(ScopedRegistry::HasKey("Half"));
}

TEST(Registry, FileLocationFollowsTheEnvironment) {
  ScopedRegistry registry;
  EXPECT_EQ(RegistryFilePath(), registry.Path());
  ::unsetenv("GEODEM_REGISTRY");
  std::string home = std::getenv("HOME") ? std::getenv("HOME") : "";
  const char* data = std::getenv("XDG_DATA_HOME");
  std::string saved = data ? data : "";
  ::setenv("XDG_DATA_HOME", "/data/home", 1);
  EXPECT_EQ(RegistryFilePath(), "/data/home/geodem/registry");
  ::setenv("XDG_DATA_HOME", "relative", 1);
  if (!home.empty()) {
    EXPECT_EQ(RegistryFilePath(), home + "/.local/share/geodem/registry");
  }
  data ? ::setenv("XDG_DATA_HOME", saved.c_str(), 1) : ::unsetenv("XDG_DATA_HOME");
}

// Look-ups search $GEODEM_REGISTRY alone when it is set, else the user's registry and then the
// system-wide one; changes go to the user's (or $GEODEM_REGISTRY's) file only.
TEST(Registry, LookupSearchesTheUsersThenTheSystemRegistryUnlessTheEnvironmentNamesOne) {
  TempDir dir;
  const std::string user = dir / "data/geodem/registry", system = dir / "system/registry",
                    own = dir / "own/registry";
  ScopedEnvironment environment({{"GEODEM_REGISTRY", std::nullopt},
                                 {"XDG_DATA_HOME", dir / "data"},
                                 {"GEODEM_SYSTEM_REGISTRY", system}});
  auto put = [](const std::string& file, const std::string& key, const std::string& value) {
    RegistryFile(file).Update([&](RegistryTree& tree) {
      tree.Create({key}).subkeys["CLSID"].values[""] = value;
      return true;
    });
  };
  const std::string inSystem = "{00000000-0000-0000-0000-000000000001}",
                    inUser = "{00000000-0000-0000-0000-000000000002}",
                    inOwn = "{00000000-0000-0000-0000-000000000003}";
  put(system, "Only.System", inSystem);
  put(system, "Both", inSystem);
  put(user, "Both", inUser);
  put(own, "Both", inOwn);

  auto classOf = [](const char16_t* progId) {
    CLSID clsid;
    return CLSIDFromProgID(progId, &clsid) == S_OK ? clsid.ToString() : "<none>";
  };
  EXPECT_EQ(RegistrySearchPath(), (std::vector<std::string>{user, system}));
  EXPECT_EQ(classOf(u"Both"), inUser);
  EXPECT_EQ(classOf(u"Only.System"), inSystem);
  EXPECT_EQ(ScopedRegistry::Value("Only.System\\CLSID"), inSystem);
  EXPECT_EQ(classOf(u"Nowhere"), "<none>");
  EXPECT_NE(RegistryLastError().find(user + " or " + system), std::string::npos)
      << RegistryLastError();
  EXPECT_FALSE(ScopedRegistry::HasKey("Nowhere"));
  EXPECT_NE(RegistryLastError().find(user + " or " + system), std::string::npos)
      << RegistryLastError();
  // A change through the root goes to the user's file, even for a key the system file holds.
  ASSERT_EQ(ScopedRegistry::Set("Only.System\\CLSID", nullptr, inUser), ERROR_SUCCESS);
  EXPECT_EQ(classOf(u"Only.System"), inUser);
  EXPECT_EQ(RegistryFile(system).Load().Find({"Only.System", "CLSID"})->values.at(""), inSystem);

  ::setenv("GEODEM_REGISTRY", own.c_str(), 1);
  EXPECT_EQ(RegistrySearchPath(), std::vector<std::string>{own});
  EXPECT_EQ(classOf(u"Both"), inOwn);
  EXPECT_EQ(classOf(u"Only.System"), "<none>");
}

// The lock is the registry owner's alone (a lock others can open is one they can hold), and a
// writer waits for it a bounded time, then says who holds it.
TEST(Registry, LockIsTheOwnersAndWaitedForBoundedly) {
  TempDir dir;
  const std::string file = dir / "registry", lock = file + ".lock";
  TempDir::WriteFile(lock, "");
  ::chmod(lock.c_str(), 0644);  // as earlier versions left it
  auto update = [&](std::chrono::seconds wait) {
    RegistryFile(file, wait).Update([](RegistryTree& tree) {
      tree.Create({"Key"});
      return true;
    });
  };
  update(RegistryFile::kLockWait);
  EXPECT_EQ(fs::status(lock).permissions(), fs::perms(0600));

  const int holder = ::open(lock.c_str(), O_RDONLY | O_CLOEXEC);
  ASSERT_EQ(::flock(holder, LOCK_EX), 0);
  try {
    update(std::chrono::seconds(1));
    ADD_FAILURE() << "no error while the lock was held";
  } catch (const RegistryError& e) {
    EXPECT_NE(
        std::string(e.what()).find(lock + " is held by process " + std::to_string(::getpid())),
        std::string::npos)
        << e.what();
  }
  ::close(holder);
}

// Run as root, a registry or module of another user's is not read: it could make root run that
// user's code.
TEST(Registry, RootReadsOnlyRootsRegistriesAndModules) {
  const passwd* nobody = ::getpwnam("nobody");
  if (::geteuid() != 0 || !nobody) GTEST_SKIP() << "needs root and user nobody";
  TempDir dir;
  const std::string user = dir / "data/geodem/registry", system = dir / "system/registry";
  ScopedEnvironment environment({{"GEODEM_REGISTRY", std::nullopt},
                                 {"XDG_DATA_HOME", dir / "data"},
                                 {"GEODEM_SYSTEM_REGISTRY", system}});
  for (const std::string& file : {user, system})
    RegistryFile(file).Update([](RegistryTree& tree) { return tree.Create({"Key"}), true; });
  ASSERT_EQ(::chown(user.c_str(), nobody->pw_uid, nobody->pw_gid), 0);
  EXPECT_EQ(RegistrySearchPath(), std::vector<std::string>{system});
  ASSERT_EQ(::chown(user.c_str(), 0, 0), 0);
  ASSERT_EQ(::chown((dir / "data/geodem").c_str(), nobody->pw_uid, nobody->pw_gid), 0);
  EXPECT_EQ(RegistrySearchPath(), std::vector<std::string>{system});

  const std::string module = dir / "module.so";
  fs::copy_file(GEODEM_TEST_MODULE, module);
  ASSERT_EQ(::chown(module.c_str(), nobody->pw_uid, nobody->pw_gid), 0);
  void* object = nullptr;
  std::string error;
  EXPECT_EQ(
      InprocModuleTable::Instance().GetClassObject(module, CLSID(), IUnknown::iid, &object, error),
      CO_E_DLLNOTFOUND);
  EXPECT_NE(error.find("loads only root's"), std::string::npos) << error;
}

}  // namespace
