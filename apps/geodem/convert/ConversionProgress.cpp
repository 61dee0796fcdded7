#include "apps/geodem/convert/ConversionProgress.h"

#include <algorithm>

void ConversionProgress::BeginTarget(double cells) {
  total_ = 2 * cells;
  done_ = 0;
  converting_ = false;
  // Nothing shows before the first block is in: a failure to begin is told on a line of its own.
  display_.Restart();
}

void ConversionProgress::BlockWritten(double cells) {
  done_ += cells;
  Show();
}

void ConversionProgress::BeginConversion(double cells) {
  converting_ = true;
  conversionCells_ = cells;
  conversionFraction_ = 0;
}

void ConversionProgress::EndConversion() {
  if (!converting_) return;
  converting_ = false;
  done_ += conversionCells_;
  Show();
}

void ConversionProgress::OnWriterProgress(std::int32_t done, std::int32_t total) {
  if (!converting_ || total <= 0) return;
  conversionFraction_ = std::clamp(static_cast<double>(done) / total, conversionFraction_, 1.0);
  Show();
}

void ConversionProgress::EndTarget(bool succeeded) {
  if (succeeded) {
    display_.Update(1.0);
  } else {
    display_.Abandon();
  }
}

void ConversionProgress::Show() {
  double done = done_ + (converting_ ? conversionFraction_ * conversionCells_ : 0);
  display_.Update(total_ > 0 ? done / total_ : 0);
}
