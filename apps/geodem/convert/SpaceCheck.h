#pragma once
// The disk space a conversion needs, compared with what the file systems of its outputs have free
// before anything is written, so that a run that cannot fit is refused at once instead of failing
// after minutes. For each grid file the writer makes:
//  - its temporary raster "<grid file>.tmp": HFA, uncompressed, in tiles of 64 x 64 cells of the
//    type the cells travel in (up to 8 bytes a cell), with a small header and a tile index; it
//    lives until its grid file is complete, and the next one's is made only after that;
//  - the grid file: per cell "   <integer> " (4 characters and the digits with the sign, 10 for
//    heights of hundreds of metres at zoom 100 and for the default no-data value -99999), a line
//    end after every tenth cell and one more at the end of each row, and a header.
// A file system needs room for all its grid files and its largest temporary raster. The widest
// cell comes from the heights and the no-data value: the heights a source's type bounds, else
// those of land (-500 to 9000 m; a source beyond them may find the disk full as it is written, and
// fails as without the check); when the zoom or the no-data value lies in a mapping file of the
// user's, the widest a 32-bit integer can be.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "apps/geodem/Console.h"
#include "apps/geodem/convert/JobSource.h"
#include "apps/geodem/convert/TargetPlan.h"

class SpaceCheck {
 public:
  // The bytes one grid file takes on disk at the most.
  struct Need {
    std::string output;
    double temporaryBytes = 0;
    double gridBytes = 0;
  };

  // The needs of every grid file of the plan. zoom and noData: the job's, when geodem knows them.
  static std::vector<Need> Needs(const std::vector<PlannedTarget>& targets,
                                 const std::vector<JobSource>& sources,
                                 std::optional<std::int64_t> zoom,
                                 std::optional<std::int64_t> noData);

  static double TemporaryRasterBytes(double columns, double rows, int cellBytes);
  static double GridFileBytes(double columns, double rows, int cellChars);
  // The characters of the widest cell of a grid file ("   -99999 " is 10).
  static int CellChars(const std::optional<SourceReader::HeightRange>& heights,
                       std::optional<std::int64_t> zoom, std::optional<std::int64_t> noData);

  // Reports every file system that lacks the room and answers false then. File systems that keep
  // no count of their blocks (such as /proc) and folders that cannot be looked at are passed over:
  // writing there fails with a reason of its own.
  static bool Check(const std::vector<Need>& needs, Console& console);

  // Bytes as a message shows them: "812 bytes", "1.6 MiB".
  static std::string BytesText(double bytes);
};
