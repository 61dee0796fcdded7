# A grid file written from R: terra's writeRaster with filetype "GEODEM" and a creation option, read
# back with rast(); written with another no-data value, read back with its no-data cells as NA and
# no option passed. Run by CTest with Rscript; exit status 77 skips.
if (!requireNamespace("terra", quietly = TRUE)) {
  cat("skipped: the terra package is not installed (Debian's r-cran-terra)\n")
  quit(status = 77)
}
library(terra)
if (!("GEODEM" %in% gdal(drivers = TRUE)$name)) {
  cat("the GEODEM driver is not loaded (GDAL_DRIVER_PATH)\n")
  quit(status = 1)
}
folder <- tempfile("geodem-r-")
dir.create(folder)
on.exit(unlink(folder, recursive = TRUE))

set.seed(11)
heights <- rast(nrows = 40, ncols = 55, xmin = 500000, xmax = 501650, ymin = 4398800,
                ymax = 4400000, crs = "EPSG:32650")
values(heights) <- round(runif(ncell(heights), -50, 2500), 3)
heights[3, 4] <- NA
path <- file.path(folder, "heights.dem")
writeRaster(heights, path, filetype = "GEODEM", gdal = c("ZOOM=10"))

back <- rast(path)
diff <- abs(values(back) - values(heights))
ok <- all.equal(as.vector(ext(back)), as.vector(ext(heights))) == TRUE &&
  identical(crs(back, describe = TRUE)$name, "WGS 84 / UTM zone 50N") &&
  all(is.na(values(back)) == is.na(values(heights))) &&
  max(diff, na.rm = TRUE) <= 0.05 + 1e-3 &&  # half a unit of 1/zoom, and terra's 32-bit floats
  identical(list.files(folder), c("heights.dem", "heights.prj"))
if (!ok) {
  cat("read back differs: largest difference", max(diff, na.rm = TRUE), "files",
      list.files(folder), "\n")
  quit(status = 1)
}

other <- file.path(folder, "other.dem")
writeRaster(heights, other, filetype = "GEODEM", gdal = c("ZOOM=10", "NODATA=-9999"))
if (sum(is.na(values(rast(other)))) != sum(is.na(values(heights)))) {
  cat("written with NODATA=-9999, read back with", sum(is.na(values(rast(other)))), "NA cells\n")
  quit(status = 1)
}
cat("written and read back:", ncell(back), "cells\n")
