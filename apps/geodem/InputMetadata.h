#pragma once
// The metadata lists that describe the sources to the writer, item i of every list for source i:
// InDatasetName (the path as given), InDataType (GDAL type code), BandNum, Height, Width,
// GEO_STARTPOSH and GEO_STARTPOSV (upper-left corner), RESOLVEH and RESOLVEV (signed cell size).
// Reals are written with 17 significant digits, so that the writer reads back the very doubles
// that the blocks carry and places them on whole cells.
#include <vector>

#include "apps/geodem/SourceRaster.h"
#include "host/ComPtr.h"
#include "host/Metadata.h"

ComPtr<Metadata> BuildInputMetadata(const std::vector<SourceRaster>& sources);
