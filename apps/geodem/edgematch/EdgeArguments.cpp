#include "apps/geodem/edgematch/EdgeArguments.h"

#include "apps/geodem/DecimalNumber.h"
#include "apps/geodem/Translation.h"

void EdgeArguments::Add(CLI::App& command) {
  command.add_flag("--edges", edges_,
                   _("match the edges of the files as a set of sheets: neighbours (by the sheet "
                     "numbers of the names, else by the grids' extents) must hold the same "
                     "heights in the cells they share; holes and sheets given twice are "
                     "reported"));
  tolerance_ = command
                   .add_option("--edge-tolerance", toleranceText_,
                               _("with --edges: heights of a shared cell may differ by this many "
                                 "metres (default 0)"))
                   ->type_name("METRES");
}

std::string EdgeArguments::Collect(std::optional<EdgeMatchOptions>& edges,
                                   std::optional<double> noData) {
  if (tolerance_->count() && !edges_) return _("--edge-tolerance goes with --edges");
  if (!edges_) return {};
  EdgeMatchOptions o;
  o.noData = noData;
  if (tolerance_->count()) {
    const std::optional<double> metres = DecimalNumber::Parse(toleranceText_);
    if (!metres || *metres < 0)
      return Tr("--edge-tolerance %s is not a number of metres, 0 or more", toleranceText_.c_str());
    o.tolerance = *metres;
  }
  edges = o;
  return {};
}
