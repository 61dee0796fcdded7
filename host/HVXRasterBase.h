#pragma once
// Raster utilities of the framework.
#include "host/ISpatialReference.h"
#include "host/WideString.h"

// Sets *unit to the letter in which a grid states the coordinate system's plane coordinates
// (CoordinateUnits): 'D' for degrees, 'F' for feet, 'M' for metres and for other linear units,
// which the grid gives in metres. A text that does not parse, or a system without plane
// coordinates in a unit a grid can state, leaves the letter as the caller set it. Returns 0 when
// the letter was set, 1 when it was left.
int GetUnitType(const char* wkt, char* unit);
// The value that stands for "invalid" in rasters of a GDAL data type: the most negative value of a
// signed integer type, the largest of an unsigned one, and for floating types the lowest 32-bit
// float, which survives the reading of any band as 32-bit floats unchanged.
double GetInvalid(int gdalDataType);
// *wkt = the reference's well-known text, or left null when it has none (or no reference is given).
void SRSGetWKT(ISpatialReference* reference, BSTR* wkt);
// Fills a band-sequential buffer (bands x rows x width values of the type) with each band's value
// converted to the type.
void BlockSetInvalidM(void* buffer, int width, int rows, int gdalDataType, int bands,
                      const double* values);
