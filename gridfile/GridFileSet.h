#pragma once
// The files of one grid, named here and nowhere else: the grid file, its .prj (the name GDAL takes
// for it, in any case: a.prj, a.PRJ or A.Prj for a.dem) and GDAL's a.dem.aux.xml. Every writer (the
// writer component, geodem, the GDAL driver's Create and CreateCopy) replaces the set through
// Commit, and the driver's Delete removes it through Remove.
//
// A replacement never leaves a grid beside another grid's .prj. The new grid and .prj are
// complete on disk under side names of the writer's process before anything under the set's names
// changes; then, under the target's lock (TargetFileLock):
//
//   1. the new .prj's side name becomes "<prj>.<pid>.ready": from here on the new set is complete;
//   2. the earlier .prj and .aux.xml step aside as "<name>.<pid>.kept";
//   3. the new grid takes its name (the earlier one goes with the rename);
//   4. the .prj takes its name;
//   5. the kept files go.
//
// Two names cannot change in one step, so after a kill the set is the earlier one, or the new one,
// or one of two states in between: the earlier grid with its .prj kept aside (a kill between 2 and
// 3), or the new grid with its .prj ready beside it (between 3 and 4). Neither pairs a grid with
// another grid's .prj, and the next writer of the name, finding the dead writer's lock, completes
// either (ClearLeftovers): it puts the kept files back while the dead writer's grid is still under
// its side name, else finishes the .prj. Readers never do: they change nothing. A new grid without
// a coordinate system takes the earlier .prj away with the rest of the earlier set.
//
// The .aux.xml that records a no-data value other than the default (GridAuxFile) travels with the
// grid as its .prj does: prepared under a side name, "ready" at step 1, in place at step 4, and
// completed or dropped alike by ClearLeftovers.
//
// Paths are the operating system's (UTF-8), as the user named them: the companions live beside
// that name, even where the grid's name is a link to a file elsewhere.
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
  // The companions that stand beside the grid now: its .prj files and its .aux.xml.
  std::vector<std::string> Companions() const;

  // Writes the new .prj (ESRI WKT) under a side name of this process, flushed to the disk, for the
  // Commit of this grid in this process (the writer component's, when geodem drives it). It keeps
  // the earlier .prj's access rights, and its owner when root writes. False with error set.
  bool PreparePrj(const std::string& esriWkt, std::string& error);
  // GDAL's companion of the grid, a.dem.aux.xml for a.dem.
  std::string auxPath() const { return m_grid + ".aux.xml"; }
  // Writes the new .aux.xml under a side name of this process, as PreparePrj the .prj.
  bool PrepareAux(const std::string& xml, std::string& error);
  // Puts the new grid (complete in grid, not yet committed) and the .prj this process prepared in
  // place of the earlier set, as above. False with error set when the grid could not take its
  // name; the earlier set is then as it was.
  bool Commit(AtomicFile& grid, std::string& error);
  // Removes the set, the grid first: a kill in between leaves a .prj with no grid, never a grid
  // beside a .prj that is not its own. False with error set when the grid stays.
  bool Remove(std::string& error);
  // What the writer of process pid, which died holding the target's lock, left of a replacement:
  // completed as above, and its side files removed. Only under the target's lock.
  void ClearLeftovers(long pid);

  // The GeoTIFF that holds a raster the GDAL driver's Create path writes until it is closed.
  static std::string DriverRasterOf(const std::string& grid);

 private:
  bool PrjNameFree(std::string& error) const;
  std::string SideOfPrj(std::string_view what, long pid) const;
  std::string SideOfAux(std::string_view what, long pid) const;
  static bool PrepareSide(const std::string& target, const std::string& side,
                          const std::string& text, std::string& prepared, std::string& error);
  static std::string KeptOf(const std::string& file, long pid);
  void PutBack(const std::vector<std::string>& kept, long pid) const;

  std::string m_grid;
  std::string m_preparedPrj;  // this object's .prj side file, removed unless a Commit took it
  std::string m_preparedAux;  // and its .aux.xml side file
};
