// The plug-in's entry points: GDAL loads gdal_GEODEM.so from GDAL_DRIVER_PATH (or its plug-in
// folder) and calls GDALRegister_GEODEM, or GDALRegisterMe when it finds no such function.
#include <gdal_priv.h>

#include "gdal/GeodemCreationOptions.h"
#include "gdal/GeodemDataset.h"
#include "gdal/GeodemWritableDataset.h"

#define GEODEM_EXPORT extern "C" __attribute__((visibility("default")))

GEODEM_EXPORT void GDALRegister_GEODEM() {
  if (!GDAL_CHECK_VERSION("GEODEM")) return;
  if (GDALGetDriverByName("GEODEM") != nullptr) return;
  auto* driver = new GDALDriver();
  driver->SetDescription("GEODEM");
  driver->SetMetadataItem(GDAL_DCAP_RASTER, "YES");
  driver->SetMetadataItem(GDAL_DMD_LONGNAME, "CNSDTF-DEM grid (GB/T 17798)");
  driver->SetMetadataItem(GDAL_DMD_EXTENSION, "dem");
  driver->SetMetadataItem(GDAL_DCAP_VIRTUALIO, "YES");
  driver->SetMetadataItem(
      GDAL_DMD_OPENOPTIONLIST,
      "<OpenOptionList>"
      "  <Option name='NODATA' type='string' description='the no-data value, or NONE (default: "
      "the header&apos;s no-data key, else -99999)'/>"
      "  <Option name='HEIGHTS' type='string-select' default='STORED' description='STORED: the "
      "stored integers, scaled by 1/Hzoom; METRES: Float32 heights in metres, for programs that "
      "ignore the scale'>"
      "    <Value>STORED</Value><Value>METRES</Value><Value>METERS</Value>"
      "  </Option>"
      "</OpenOptionList>");
  driver->SetMetadataItem(GDAL_DCAP_CREATE, "YES");
  driver->SetMetadataItem(GDAL_DCAP_CREATECOPY, "YES");
  driver->SetMetadataItem(GDAL_DMD_CREATIONDATATYPES,
                          "Byte UInt16 Int16 UInt32 Int32 Float32 Float64");
  driver->SetMetadataItem(GDAL_DMD_CREATIONOPTIONLIST, GeodemCreationOptions::OptionList());
  driver->pfnIdentify = GeodemDataset::Identify;
  driver->pfnOpen = GeodemDataset::Open;
  driver->pfnCreateCopy = GeodemDataset::CreateCopy;
  driver->pfnCreate = GeodemWritableDataset::Create;
  driver->pfnDelete = GeodemDataset::Delete;
  GetGDALDriverManager()->RegisterDriver(driver);
}

GEODEM_EXPORT void GDALRegisterMe() { GDALRegister_GEODEM(); }
