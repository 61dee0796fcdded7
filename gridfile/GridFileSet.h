#pragma once
// The files of one grid, named here and nowhere else: the grid file, its .prj (the name GDAL takes
// for it, in any case: a.prj, a.PRJ or A.Prj for a.dem) and GDAL's a.dem.aux.xml. Every writer (the
// writer component, geodem, the GDAL driver's Create and CreateCopy) replaces the set through
// Commit, and the driver's Delete removes it through Remove.
//
// A replacement never leaves a grid beside another grid's .prj. The new grid is complete on disk
// under a side name of the writer's process before anything under the set's names changes; then,
// under the target's lock (TargetFileLock):
//
//   1. the new .prj is written as "<prj>.<pid>.part", flushed, and becomes "<prj>.<pid>.ready":
//      from here on the new set is complete;
//   2. the earlier .prj and .aux.xml step aside as "<name>.<pid>.kept", and the folder is synced;
//   3. the new grid takes its name (the earlier one goes with the rename);
//   4. the .prj takes its name;
//   5. the kept files go.
//
// Two names cannot change in one step, so after a kill the set is the earlier one, or the new one,
// or one of two states in between: the earlier grid with its .prj kept aside (a kill between 2 and
// 3), or the new grid with its .prj ready beside it (between 3 and 4). Neither pairs a grid with
// another grid's .prj, and the next holder of the target's lock completes either (ClearLeftovers):
// it puts the kept files back while a dead writer's grid is still under its side name, else
// finishes the .prj. Its steps are ordered so that a kill among them leaves the same decision to
// the holder after it. Readers never complete anything: they change nothing. A new grid without a
// coordinate system takes the earlier .prj away with the rest of the earlier set.
//
// The .aux.xml that records a no-data value other than the default (GridAuxFile) travels with the
// grid as its .prj does: written and "ready" at step 1, in place at step 4, and completed or
// dropped alike by ClearLeftovers.
//
// A .prj that another dataset shares (area.asc or roads.shp beside area.dem: any file of the
// grid's stem that is not of the set) is not the grid's to change: no commit or removal touches
// it, and a writer refuses a grid whose coordinate system it does not state (SharedPrjRefusal).
//
// Paths are the operating system's (UTF-8), as the user named them: the companions live beside
// that name, even where the grid's name is a link to a file elsewhere.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class AtomicFile;

class GridFileSet {
 public:
  explicit GridFileSet(std::string grid) : m_grid(std::move(grid)) {}
  ~GridFileSet();
  GridFileSet(const GridFileSet&) = delete;
  GridFileSet& operator=(const GridFileSet&) = delete;

  const std::string& grid() const { return m_grid; }
  // The .prj a writer makes: the grid's extension replaced (or added), a.prj for a.dem.
  std::string prjPath() const;
  // Whether name (a file name, no folder) is a .prj GDAL takes for a grid named gridName: the
  // .prj's name ignoring case, as GDAL matches a folder's files.
  static bool IsPrjOf(std::string_view gridName, std::string_view name);
  // Whether name (a file name, no folder) is another dataset's that takes the .prj of a grid named
  // gridName for its own: the grid's stem with an extension that is not the set's.
  static bool SharesPrjWith(std::string_view gridName, std::string_view name);
  // True when the grid's own name is a .prj name (x.prj): such a grid has no .prj of its own.
  bool IsOwnPrj() const;
  // The companions that stand beside the grid now and go with it: its .aux.xml and its .prj
  // files, unless another dataset shares them.
  std::vector<std::string> Companions() const;
  // The .prj that stands beside the grid now, the first by name of any case; empty when none.
  std::string PrjOnDisk() const;
  // The files of other datasets that share the grid's .prj name (a few, by name, joined with
  // commas); empty when none.
  std::string PrjSharer() const;
  // Empty when a grid of coordinate system wkt (empty: none) may be written under this name as
  // far as a shared .prj goes: there is none, or it states that system. Else the refusal, which
  // names the dataset that owns the .prj.
  std::string SharedPrjRefusal(const std::string& wkt) const;

  // The new .prj (ESRI WKT) for the Commit of this grid in this process (the writer component's,
  // when geodem drives it), written under the target's lock at the commit. It keeps the earlier
  // .prj's access rights, and its owner when root writes. False with error set when the .prj
  // cannot be written under its name.
  bool PreparePrj(const std::string& esriWkt, std::string& error);
  // GDAL's companion of the grid, a.dem.aux.xml for a.dem.
  std::string auxPath() const { return m_grid + ".aux.xml"; }
  // The new .aux.xml for this object's Commit, written under the target's lock as the .prj.
  void PrepareAux(const std::string& xml) { m_aux = xml; }
  // Puts the new grid (complete in grid, not yet committed) and the .prj this process prepared in
  // place of the earlier set, as above. False with error set (and errno) when it could not; the
  // folder is then as it was.
  bool Commit(AtomicFile& grid, std::string& error);
  // Removes the set, the grid last: a kill in between leaves the grid without its companions,
  // which GDAL still knows as a grid to delete, never companions that whatever another program
  // writes at the name next would take for its own. False with error set when the grid stays.
  bool Remove(std::string& error);
  // What every other process that wrote this target and died left of it: its replacements
  // completed as above, its side files removed (temporary rasters included). Only under the
  // target's lock, which makes every other writer of the name a dead one.
  void ClearLeftovers();

  // The GeoTIFF that holds a raster the GDAL driver's Create path writes until it is closed.
  static std::string DriverRasterOf(const std::string& grid);
  // The raster the writer component converts from ("<grid>.tmp", HFA).
  static std::string WriterRasterOf(const std::string& grid);

 private:
  bool PrjNameFree(std::string& error) const;
  static bool WriteReady(const std::string& target, const std::string& part,
                         const std::string& ready, const std::string& text, std::string& error);
  std::string SideOfPrj(std::string_view what, long pid) const;
  std::string SideOfAux(std::string_view what, long pid) const;
  static std::string KeptOf(const std::string& file, long pid);
  std::vector<std::string> KeptBy(long pid) const;
  std::vector<long> DeadWriters() const;
  void Complete(long pid) const;
  static void PutBack(const std::vector<std::string>& kept, long pid);

  std::string m_grid;
  bool m_offered = false;  // this object's .prj offer, withdrawn unless a Commit took it
  std::optional<std::string> m_aux;  // the .aux.xml this object's Commit writes
};
