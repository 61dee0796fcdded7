#include "apps/geodem/batch/ShardSplit.h"
#include "apps/geodem/Translation.h"

#include <cerrno>
#include <cstdlib>

namespace {

bool WholeNumber(const std::string& text, long long& value) {
  if (text.empty() || text[0] == '-' || text[0] == '+' || text[0] == ' ') return false;
  errno = 0;
  char* end = nullptr;
  value = std::strtoll(text.c_str(), &end, 10);
  return errno == 0 && end && *end == '\0';
}

}  // namespace

std::optional<ShardSpec> ShardSplit::Parse(const std::string& text, std::string& error) {
  std::size_t slash = text.find('/');
  ShardSpec s;
  if (slash == std::string::npos || !WholeNumber(text.substr(0, slash), s.index) ||
      !WholeNumber(text.substr(slash + 1), s.count) || s.count < 1 || s.index >= s.count) {
    error = Tr("--shard must be K/N with 0 <= K < N, not '%s'", text.c_str());
    return std::nullopt;
  }
  return s;
}

std::optional<ShardSpec> ShardSplit::FromSlurm(
    const std::function<const char*(const char*)>& env, std::string& error) {
  const char* id = env("SLURM_ARRAY_TASK_ID");
  if (!id) return std::nullopt;
  const char* min = env("SLURM_ARRAY_TASK_MIN");
  const char* max = env("SLURM_ARRAY_TASK_MAX");
  const char* count = env("SLURM_ARRAY_TASK_COUNT");
  long long taskId = 0, taskMin = 0, taskMax = 0, taskCount = 0;
  if (!min || !max || !count || !WholeNumber(id, taskId) || !WholeNumber(min, taskMin) ||
      !WholeNumber(max, taskMax) || !WholeNumber(count, taskCount) || taskCount < 1) {
    error = _("the Slurm array variables SLURM_ARRAY_TASK_ID, _MIN, _MAX and _COUNT do not "
              "describe a job array; give --shard K/N");
    return std::nullopt;
  }
  // With gaps in the task ids (--array=0,2,4), ID - MIN would leave shards that no task takes.
  if (taskMax - taskMin + 1 != taskCount) {
    error = Tr("the job array's task ids %lld-%lld are not %lld contiguous ids; submit "
               "--array=0-(N-1), or give --shard K/N",
               taskMin, taskMax, taskCount);
    return std::nullopt;
  }
  return ShardSpec{taskId - taskMin, taskCount};
}
