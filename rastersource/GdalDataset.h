#pragma once
// Owns one open GDAL dataset.
#include <gdal.h>

#include <utility>

class GdalDataset {
 public:
  GdalDataset() = default;
  explicit GdalDataset(GDALDatasetH handle) : handle_(handle) {}
  GdalDataset(GdalDataset&& o) noexcept : handle_(std::exchange(o.handle_, nullptr)) {}
  GdalDataset& operator=(GdalDataset&& o) noexcept {
    GdalDataset(std::move(o)).Swap(*this);
    return *this;
  }
  GdalDataset(const GdalDataset&) = delete;
  GdalDataset& operator=(const GdalDataset&) = delete;
  ~GdalDataset() {
    if (handle_) GDALClose(handle_);
  }

  // Opens a raster read-only; empty when GDAL cannot (GDAL has reported why).
  static GdalDataset OpenRaster(const char* utf8Path) {
    return GdalDataset(GDALOpenEx(utf8Path,
                                  GDAL_OF_RASTER | GDAL_OF_READONLY | GDAL_OF_VERBOSE_ERROR,
                                  nullptr, nullptr, nullptr));
  }

  GDALDatasetH Get() const { return handle_; }
  explicit operator bool() const { return handle_ != nullptr; }
  void Swap(GdalDataset& o) noexcept { std::swap(handle_, o.handle_); }

 private:
  GDALDatasetH handle_ = nullptr;
};
