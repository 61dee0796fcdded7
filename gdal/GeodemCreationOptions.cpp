#include "gdal/GeodemCreationOptions.h"

#include <cpl_error.h>

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <limits>

namespace {

constexpr const char* kVersions[] = {"GRD_2007", "GRD_1999", "GEODEM"};

bool Refuse(const char* key, const char* value, const char* expected) {
  CPLError(CE_Failure, CPLE_IllegalArg, "Creation option %s=%s: expected %s.", key, value,
           expected);
  return false;
}

// A whole decimal number, nothing around it.
bool ParseWhole(const char* text, long long& value) {
  char* end = nullptr;
  errno = 0;
  value = std::strtoll(text, &end, 10);
  return end != text && *end == '\0' && errno == 0;
}

bool ReadVersion(const char* value, GeodemCreationOptions& o) {
  for (const char* version : kVersions) {
    if (EQUAL(value, version)) {
      o.version = version;
      return true;
    }
  }
  return Refuse("VERSION", value, "GRD_2007, GRD_1999 or GEODEM");
}

bool ReadZoom(const char* value, GeodemCreationOptions& o) {
  long long zoom = 0;
  if (!ParseWhole(value, zoom) || zoom < 1 || zoom > std::numeric_limits<std::int32_t>::max()) {
    return Refuse("ZOOM", value, "a whole number from 1 to 2147483647");
  }
  o.zoom = static_cast<std::int32_t>(zoom);
  return true;
}

// The grid file holds the no-data value as a 32-bit integer; a fraction would be cut silently.
bool ReadNoData(const char* value, GeodemCreationOptions& o) {
  long long noData = 0;
  if (!ParseWhole(value, noData) || noData < std::numeric_limits<std::int32_t>::min() ||
      noData > std::numeric_limits<std::int32_t>::max()) {
    return Refuse("NODATA", value, "a whole number from -2147483648 to 2147483647");
  }
  o.noData = static_cast<double>(noData);
  return true;
}

bool ReadPrj(const char* value, GeodemCreationOptions& o) {
  if (EQUAL(value, "YES") || EQUAL(value, "TRUE") || EQUAL(value, "ON") || EQUAL(value, "1")) {
    o.prj = true;
  } else if (EQUAL(value, "NO") || EQUAL(value, "FALSE") || EQUAL(value, "OFF") ||
             EQUAL(value, "0")) {
    o.prj = false;
  } else {
    return Refuse("PRJ", value, "YES or NO");
  }
  return true;
}

bool ReadBand(const char* value, int bands, GeodemCreationOptions& o) {
  long long band = 0;
  if (!ParseWhole(value, band) || band < 1 || band > bands) {
    const std::string expected = "a band number from 1 to " + std::to_string(bands);
    return Refuse("BAND", value, expected.c_str());
  }
  o.band = static_cast<int>(band);
  return true;
}

}  // namespace

const char* GeodemCreationOptions::OptionList() {
  return "<CreationOptionList>"
         "  <Option name='VERSION' type='string-select' default='GEODEM' description='the header "
         "layout: the 2007 or 1999 edition&apos;s keyed header, or the positional one'>"
         "    <Value>GRD_2007</Value>"
         "    <Value>GRD_1999</Value>"
         "    <Value>GEODEM</Value>"
         "  </Option>"
         "  <Option name='ZOOM' type='int' min='1' default='100' description='height zoom factor: "
         "cells are written as the nearest integer of ZOOM x height'/>"
         "  <Option name='NODATA' type='int' min='-2147483648' max='2147483647' default='-99999' "
         "description='the integer written for no-data cells'/>"
         "  <Option name='PRJ' type='boolean' default='YES' description='write the coordinate "
         "system beside the grid file, as a .prj of the same name'/>"
         "  <Option name='BAND' type='int' min='1' default='1' description='the band written'/>"
         "</CreationOptionList>";
}

std::optional<GeodemCreationOptions> GeodemCreationOptions::Read(CSLConstList options,
                                                                 int bands) {
  GeodemCreationOptions o;
  const char* value = nullptr;
  if ((value = CSLFetchNameValue(options, "VERSION")) && !ReadVersion(value, o)) return {};
  if ((value = CSLFetchNameValue(options, "ZOOM")) && !ReadZoom(value, o)) return {};
  if ((value = CSLFetchNameValue(options, "NODATA")) && !ReadNoData(value, o)) return {};
  if ((value = CSLFetchNameValue(options, "PRJ")) && !ReadPrj(value, o)) return {};
  if ((value = CSLFetchNameValue(options, "BAND")) && !ReadBand(value, bands, o)) return {};
  return o;
}
