#include "apps/geodem/GdalErrorCapture.h"

#include <algorithm>
#include <string>

GdalErrorCapture::GdalErrorCapture(Console& console) : console_(console) {
  CPLPushErrorHandlerEx(&GdalErrorCapture::Handle, this);
}

GdalErrorCapture::~GdalErrorCapture() { CPLPopErrorHandler(); }

void CPL_STDCALL GdalErrorCapture::Handle(CPLErr level, CPLErrorNum, const char* message) {
  auto* self = static_cast<GdalErrorCapture*>(CPLGetErrorHandlerUserData());
  if (!self || level == CE_Debug || level == CE_None) return;
  // One line, as every line of the console is marked.
  std::string said = message ? message : "";
  std::replace(said.begin(), said.end(), '\n', ' ');
  if (level == CE_Warning) {
    self->console_.Warning("GDAL: " + said);
    return;
  }
  ++self->failures_;
  self->console_.Error("GDAL: " + said);
  self->lastFailure_ = std::move(said);
}
