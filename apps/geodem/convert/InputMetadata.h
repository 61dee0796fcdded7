#pragma once
// The metadata lists that describe the sources to the writer, item i of every list for source i:
// InDatasetName (the path as given), InDataType (the GDAL type code its blocks carry), BandNum (1:
// blocks carry the chosen band only), Height, Width, GEO_STARTPOSH and GEO_STARTPOSV (upper-left
// corner), RESOLVEH and RESOLVEV (signed cell size), all as its blocks carry them.
// Reals are written with 17 significant digits, so that the writer reads back the very doubles
// that the blocks carry and places them on whole cells.
#include <vector>

#include "apps/geodem/convert/JobSource.h"
#include "host/ComPtr.h"
#include "host/Metadata.h"

ComPtr<Metadata> BuildInputMetadata(const std::vector<JobSource>& sources);
