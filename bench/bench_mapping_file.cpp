// Loading a large mapping file against the bare parse of the same file by xmllint.
//
// Generates a mapping file of 10 000 rules (each with a source class and a condition, and a
// destination class and an attribute pair, their texts referring to a few macros), then times
// MappingFile::Load and `xmllint --noout` on it, each several times, keeping the best of each.
// Prints both times and their ratio; fails when the load takes more than three times as long.
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>

#include "HVXCommon/MappingFile.h"

extern char** environ;

namespace {

constexpr int kRules = 10000;
constexpr int kRuns = 7;
constexpr double kMaxRatio = 3.0;

std::string GenerateMappingFile() {
  std::string xml =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<HVX_MappingFile>\n"
      "  <MAPPING_FILE_ID>bench</MAPPING_FILE_ID>\n"
      "  <MACRO Key=\"PREFIX\" Value=\"src_\"/>\n"
      "  <MACRO Key=\"SUFFIX\" Value=\"_dem\"/>\n"
      "  <MACRO Key=\"OP\" Value=\"EQ\"/>\n"
      "  <MACRO Key=\"TYPE\" Value=\"HVX_WHERE\"/>\n"
      "  <WRITER_PARAMETER><KeyValuePair><Key>VERSION</Key><Value>GRD_2007</Value>"
      "</KeyValuePair></WRITER_PARAMETER>\n";
  for (int i = 0; i < kRules; ++i) {
    const std::string n = std::to_string(i);
    xml += "  <HVX_RULE RuleID=\"rule_" + n + "\">\n"
           "    <SOURCE>\n"
           "      <FeatureClassName>$(PREFIX)" + n + "</FeatureClassName>\n"
           "      <Condition>\n"
           "        <ConditionType>$(TYPE)</ConditionType>\n"
           "        <AttributeName>CODE</AttributeName>\n"
           "        <Operator>$(OP)</Operator>\n"
           "        <AttributeValue>" + n + "</AttributeValue>\n"
           "      </Condition>\n"
           "    </SOURCE>\n"
           "    <DESTINATION>\n"
           "      <FeatureClassName>%CODE$(SUFFIX)</FeatureClassName>\n"
           "      <AttributePair>\n"
           "        <AttributeName>CODE</AttributeName>\n"
           "        <AttributeValue>" + n + "</AttributeValue>\n"
           "      </AttributePair>\n"
           "    </DESTINATION>\n"
           "  </HVX_RULE>\n";
  }
  return xml + "</HVX_MappingFile>\n";
}

// Best wall-clock time of several runs, in seconds.
double BestOf(const std::function<bool()>& run) {
  double best = 1e300;
  for (int i = 0; i < kRuns; ++i) {
    auto start = std::chrono::steady_clock::now();
    if (!run()) return -1;
    best = std::min(best, std::chrono::duration<double>(std::chrono::steady_clock::now() - start)
                              .count());
  }
  return best;
}

bool RunXmllint(const std::string& file) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  std::string program = "xmllint", noout = "--noout", path = file;
  char* argv[] = {program.data(), noout.data(), path.data(), nullptr};
  pid_t pid = 0;
  int spawned = posix_spawnp(&pid, "xmllint", &actions, nullptr, argv, environ);
  posix_spawn_file_actions_destroy(&actions);
  int status = 0;
  return spawned == 0 && waitpid(pid, &status, 0) == pid && WIFEXITED(status) &&
         WEXITSTATUS(status) == 0;
}

}  // namespace

int main() {
  std::string folderTemplate = (std::filesystem::temp_directory_path() / "bench-mapping-XXXXXX");
  const std::filesystem::path folder = ::mkdtemp(folderTemplate.data());
  const std::string file = (folder / "rules.xml").string();
  std::ofstream(file, std::ios::binary) << GenerateMappingFile();

  MappingFile mapping;
  mapping.path = file;
  const double load = BestOf([&] { return mapping.Load() == 0 && mapping.rules.size() == kRules; });
  const double xmllint = BestOf([&] { return RunXmllint(file); });
  std::filesystem::remove_all(folder);
  if (load < 0 || xmllint <= 0) {
    std::fprintf(stderr, "bench_mapping_file: %s failed\n", load < 0 ? "the load" : "xmllint");
    return 1;
  }

  const double ratio = load / xmllint;
  std::printf("mapping file load: %.4f s (best of %d loads of %d rules)\n", load, kRuns, kRules);
  std::printf("xmllint --noout: %.4f s (best of %d runs on the same file)\n", xmllint, kRuns);
  std::printf("mapping file load vs xmllint: %.2f (load time over xmllint time, at most %.1f)\n",
              ratio, kMaxRatio);
  return ratio <= kMaxRatio ? 0 : 1;
}
