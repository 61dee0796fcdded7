#pragma once
// How N cooperating processes split a plan with no coordination: shard K takes the tiles K,
// K+N, K+2N, ... in the plan's order, so every tile is in exactly one shard and the shards
// stay within one tile of each other in size.
#include <functional>
#include <optional>
#include <string>

#include "apps/geodem/batch/BatchOptions.h"

class ShardSplit {
 public:
  // "K/N" with 0 <= K < N; none, with `error` set, for anything else.
  static std::optional<ShardSpec> Parse(const std::string& text, std::string& error);

  // The shard of this task of a Slurm job array (SLURM_ARRAY_TASK_ID, _MIN, _COUNT and _MAX
  // through `env`): none outside an array, or with `error` set when the array's task ids are not
  // one contiguous range (a shard would be lost).
  static std::optional<ShardSpec> FromSlurm(
      const std::function<const char*(const char*)>& env, std::string& error);

  static bool Takes(const ShardSpec& shard, std::size_t tile) {
    return static_cast<long long>(tile % static_cast<std::size_t>(shard.count)) == shard.index;
  }
};
