#include "apps/geodem/GdalErrorCapture.h"

#include <string>

GdalErrorCapture::GdalErrorCapture(Console& console) : console_(console) {
  CPLPushErrorHandlerEx(&GdalErrorCapture::Handle, this);
}

GdalErrorCapture::~GdalErrorCapture() { CPLPopErrorHandler(); }

void CPL_STDCALL GdalErrorCapture::Handle(CPLErr level, CPLErrorNum, const char* message) {
  auto* self = static_cast<GdalErrorCapture*>(CPLGetErrorHandlerUserData());
  if (!self || level == CE_Debug || level == CE_None) return;
  std::string text = std::string("GDAL: ") + (message ? message : "");
  if (level == CE_Warning) {
    self->console_.Warning(text);
    return;
  }
  ++self->failures_;
  self->console_.Error(text);
}
