#pragma once
// The options of a conversion as `geodem convert` and `geodem batch` both take them: registered
// on a subcommand, checked after parsing, and given back as typed so that `geodem batch` hands
// each tile's `geodem convert` exactly what the user asked for.
#include <CLI/CLI.hpp>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "apps/geodem/Translation.h"
#include "apps/geodem/WholeNumberRange.h"
#include "apps/geodem/convert/ConvertOptions.h"

class ConvertOptionParser {
 public:
  // The help section that lists them.
  static constexpr const char* kGroup = N_("Conversion options");

  // Registers the options on `command` (which must outlive this parser's use).
  void Add(CLI::App& command);

  // After parsing: fills the writer and block options of `options` (its sources, destination
  // and flags that the subcommand owns stay as they are); an error text, or empty.
  std::string Collect(ConvertOptions& options) const;

  // The options given, in the order of their registration, as command-line words.
  std::vector<std::string> Arguments() const;

  // The grid file holds the no-data value as a 32-bit integer.
  static constexpr WholeNumberRange kNoData{std::numeric_limits<std::int32_t>::min(),
                                            std::numeric_limits<std::int32_t>::max()};
  // An error text naming `option` when `v` is no no-data value a grid file can hold, else empty.
  static std::string CheckNoData(const std::string& option, const std::string& v);
  // Whether the GEODEM writer knows the parameter `key` (a -p key).
  static bool IsWriterParameter(const std::string& key);

 private:
  CLI::App* command_ = nullptr;
  // Values as typed; Collect checks them.
  std::string formatVersion_, zoom_, noData_, mapping_, blockSize_, overlap_, band_, assignedSrs_;
  std::vector<std::string> parameters_;
  bool prj_ = false;
  bool verbose_ = false;
  bool noSpaceCheck_ = false;
};
