#pragma once
// The raster writer base: turns the host's source rasters into temporary GDAL rasters, one per
// target file, which the format writer of a derived class then converts.
//
// Per target the host's road is: SelectDestinationFolder and BuildSourceTable (one SourceRecord per
// source, with its output path), GroupSourcesByTarget (mosaic checks and the joint extent), then
// WriteBlock for every block (the first block of a target creates its raster; in one-file-per-
// source mode the block that completes a source closes and converts it), ReportProgress after each
// block, and CloseTargets at the end. ResetJob clears the per-target state.
//
// Paths are GBK strings and are split into folder and file at '/' and at '\\' alike, at character
// boundaries (a GBK trail byte 0x5C is never taken for a separator). They meet GDAL and the
// operating system as UTF-8, through OsPath.
//
// Results follow the framework: internal operations return 0 for success and 1 for failure, the
// GDAL wrappers 1 for success and 0 for failure. Every operation guards its body; an exception is
// logged (when logOutput is on) and becomes the operation's failure result.
#include <gdal.h>

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "HVXOWRITER/HVXORasterWriterBase/SourceRecord.h"
#include "HVXOWRITER/HVXORasterWriterBase/TargetClaims.h"
#include "HVXOWRITER/HVXOWriterBase/HVXOWriterBase.h"
#include "host/HResult.h"
#include "host/HVXBaseLib.h"
#include "host/IMetadata.h"
#include "host/IPropertySet.h"
#include "host/IRasterBlock.h"
#include "host/ISpatialReference.h"

class BlockData;

class HVXORasterWriterBase : public HVXOWriterBase {
 public:
  HVXORasterWriterBase();
  ~HVXORasterWriterBase() override;

  // --- Virtual operations, in their fixed order ---------------------------------------------

  // Creates the temporary raster of a record at its outputPath: refuses (E_FAIL, logged) when the
  // final file or the temporary one exists and overwrite is off, when the folder cannot be made, or
  // when another writer is making the same file (the target stays claimed until it is converted or
  // the job is reset); 0 when GDAL has no driver or cannot create the raster, or refuses its
  // pre-fill, no-data values, georeference or projection (logged with GDAL's reason; the raster is
  // removed); 1 when created, with record.dataset set. A mosaic target is pre-filled with the
  // no-data values. Bands that the no-data list does not cover get the default invalid value of
  // the record's type.
  virtual std::int32_t CreateTargetDataset(SourceRecord& record, ISpatialReference* reference,
                                           const std::vector<double>& noData);
  // GDAL writes of a window of one band or of several bands (1 when GDAL reports no error).
  virtual int WriteBandWindow(GDALRasterBandH band, int xOff, int yOff, int xSize, int ySize,
                              void* buffer, int bufXSize, int bufYSize, GDALDataType bufType,
                              int pixelSpace, int lineSpace);
  virtual int WriteDatasetWindow(GDALDatasetH dataset, int xOff, int yOff, int xSize, int ySize,
                                 void* buffer, int bufXSize, int bufYSize, GDALDataType bufType,
                                 int bandCount, int* bandMap, int pixelSpace, int lineSpace,
                                 int bandSpace);
  virtual GDALRasterBandH GetBand(GDALDatasetH dataset, int band);  // 1-based
  virtual void CloseDataset(GDALDatasetH dataset);                  // none: nothing to do
  virtual void ResetBlockCounters();
  virtual void ResetJob();
  // Where a source's output goes: its destination name, the "*" destination, the target file, or
  // the target folder followed by the source's base name and the format extension.
  virtual std::string MakeOutputPath(const std::string& target, const std::string& sourceName);
  // Converts a finished temporary raster into the output file; non-zero on success. The base has
  // no format and converts nothing.
  virtual int WriteFormatFile(const std::string& finalPath, const std::string& temporaryPath);

  // The GBK form of a target or source name from the host; nothing (logged when logging is on)
  // when a character has none: a '?' in its place could make two names one file.
  std::optional<std::string> GbkName(const char16_t* name) const;
  // Says that the grid file of a target was not written ("输出目标数据集%s失败"), when logging is on.
  void ReportTargetOutputFailed(const std::string& finalPath) const;
  // A temporary raster's path without its ".tmp" ending (the case matters); other paths as they are.
  static std::string FinalPathOf(const std::string& temporaryPath);
  // The operating system's file of a temporary raster: "<final>.tmp", the name shortened (and
  // told apart by a hash) when it would be too long for a file name.
  static std::string RasterFileOf(const std::string& outputPath);

  // --- Settings and naming -------------------------------------------------------------------

  // Keeps the parameter set and reads TRANSFORM_PROJECTION, FEATURE_INTERVAL, RASTER_RESAMPLE and
  // LOG_OUTPUT from it; absent keys keep their values. 0, or 1 without a set.
  int SetWriterSettings(IPropertySet* parameters);
  // The dataset named by the first TWO_INPUT_OPERATOR_SET or FUSION_SET reader directive, if any.
  void ReadDatasetSelection();
  // Takes DESTINATION_DATASET_FOLDER as destinationFolder when the sources are to be written
  // separately and the job names destinations.
  int SelectDestinationFolder(IPropertySet* sourceOptions);
  // Replaces %HVX_MAPCODE, %HVX_ZONENUM and %HVX_PATHNAME by the source's properties and puts
  // destinationFolder in front. 1 when a property cannot be turned into text (the replacements
  // made so far stay, the folder is not added).
  int ExpandNameMacros(std::string& name, IRasterBlock* source);

  // --- Source table and targets ----------------------------------------------------------------

  // One record per source of the metadata lists. 1 without metadata, without names, or when a
  // list has another length than the names; E_INVALIDARG (logged) for a name without a GBK form.
  HRESULT BuildSourceTable(const char16_t* targetName, IMetadata* metadata);
  // Groups the records by final path and lists the distinct temporary paths; E_FAIL when mosaicked
  // sources disagree or a temporary raster would overwrite a source.
  HRESULT GroupSourcesByTarget();
  // 0 when every record has the first one's type, band count and pixel size; else 1 (logged).
  HRESULT CheckMosaicConsistency();
  // Gives every record the joint extent of all of them.
  void ComputeMosaicExtent();
  // Pre-fills an open target with the no-data values, about 20 MiB of rows at a time. 0 done;
  // 1 when the buffer cannot be had or a write failed.
  int FillWithInvalid(SourceRecord& record, const std::vector<double>& noData);
  // Rows that one step of FillWithInvalid writes: the buffer stays near 20 MiB, and a step
  // advances by at least one row.
  static int FillRowsPerStep(int width, int height, int bandCount, int valueSize);

  // --- Blocks ----------------------------------------------------------------------------------

  // Places one raster block into its target raster. S_OK placed; 1 skipped (malformed, unknown,
  // or wholly outside its target; nothing written or counted); E_POINTER without the second
  // object; E_FAIL when the target raster cannot be created, when GDAL failed to write the block
  // (the target is then failed: logged, never converted, its raster removed when it is closed),
  // for every later block of a failed target, and when the block completed a source whose grid
  // file could not be written.
  HRESULT WriteBlock(IRasterBlock* block, IUnknown* second);
  // Writes a block at (x, y) without the half windows of overlap at the sides where its source goes
  // on (interior edges), row by row; untrimmed, in one write. Only what lies inside both the block
  // and the target is written. pixels must hold columns x rows x bandCount values of the type.
  // 1 when every write succeeded (or there was nothing to write), 0 when any failed.
  int WriteBlockTrimmed(void* pixels, GDALDataType type, const SourceRecord& record, int x, int y,
                        int columns, int rows, int windowX, int windowY);
  // A progress event after every tenth block of the current span.
  int ReportProgress();
  // Closes every open target raster; one whose blocks GDAL could not write out fails its target.
  // The rasters of failed targets are removed.
  HRESULT CloseTargets();

  // --- State -----------------------------------------------------------------------------------

  std::int32_t transformProjection = 0;  // kept only
  std::int32_t resampleMethod = 1;       // 0 NN, 1 BL, 2 BC; kept only
  std::int32_t selectionActive = 0;
  std::string selectedDataset;

  StringMap destinationNames;  // upper-case source name (or "*") to destination file name
  std::string destinationFolder;
  std::string formatExtension;
  std::string driverName;
  std::int32_t mosaicMode = 0;
  std::int32_t overwrite = 0;

  // Upper-case source name to its record. Ordered, so that the mosaic reference and the order of
  // targetList do not change from run to run.
  std::map<std::string, SourceRecord> sourceTable;
  StringToStringListMap targetGroups;  // upper-case final path to the keys of its sources
  StringList targetList;               // distinct temporary paths, in first-seen order

  std::vector<double> invalidData;  // per band, from the latest block's InvalidData
  // Per band, the values the mosaic target was pre-filled with: the no-data values of its cells
  // (blocks that carry no InvalidData leave the type's invalid values there).
  std::vector<double> mosaicNoData;
  std::int32_t blocksNum = 0;
  std::int32_t blockDataType = 0;
  std::int32_t blocksWritten = 0;
  std::int32_t progressBase = 0;
  std::int32_t progressEnd = 0;
  std::int32_t progressFactor = 0;
  std::int32_t lastStatus = 0;
  TargetClaims targetClaims;
  // Temporary paths of the targets whose raster missed a GDAL write this call: never converted.
  std::set<std::string> failedTargets;

 private:
  struct Window {
    int x, y, columns, rows;
  };
  void CloseOpenDatasets();
  // Claims the target of a record; false (logged) when it cannot be had.
  bool ClaimTarget(const SourceRecord& record, const std::string& finalPath);
  // Makes the raster's file name ours before GDAL creates it there; false (logged) when refused.
  bool ReserveRasterFile(const std::string& rasterFile, bool temporary);
  static bool OnDisk(GDALDriverH driver, const std::string& osPath);
  static bool FileExists(const std::string& osPath);
  std::vector<double> NoDataForBands(const std::vector<double>& noData,
                                     const SourceRecord& record) const;
  bool PlaceBlock(const BlockData& data, const SourceRecord& record, Window& block) const;
  void ReadBlockProperties(IPropertySet* properties, int& windowX, int& windowY);
  HRESULT OpenTargetForBlock(IRasterBlock* block, SourceRecord& record, const std::string& key);
  int WriteWholeBlock(void* pixels, GDALDataType type, const SourceRecord& record,
                      const Window& block);
  HRESULT CompleteSource(SourceRecord& record, const std::string& finalPath);
  // No-data values, pre-fill, georeference and projection of a new raster; the step that GDAL
  // refused, or null.
  const char* SetUpTargetRaster(SourceRecord& record, ISpatialReference* reference,
                                const std::vector<double>& noData);
  // Flushes and closes a raster; false when GDAL could not write all of it.
  bool CloseRaster(GDALDatasetH dataset);
  // Logs that the target at finalPath could not be written at a step (UTF-8 text), with GDAL's
  // reason.
  void ReportWriteFailed(const std::string& finalPath, const char* step) const;
  // Logs the failed step and marks the record's target failed; E_FAIL.
  HRESULT FailTarget(const SourceRecord& record, const char* step);
  static void RemoveRaster(const std::string& path);
  // The record that trims a mosaic block named after the whole target (some hosts name blocks
  // so): the source whose window holds the block, else the mosaic's extent.
  SourceRecord TrimmingRecordFor(const StringList& keys, const SourceRecord& record,
                                 const Window& block) const;
  // Gives a mosaic block's no-data cells (its InvalidData, NaN, infinities) the values already in
  // the target, so that one piece's collar never erases another's data. 0 done; 1 when the
  // target cannot be read back.
  int KeepWrittenCells(unsigned char* pixels, GDALDataType type, const SourceRecord& record,
                       const Window& block);
};
