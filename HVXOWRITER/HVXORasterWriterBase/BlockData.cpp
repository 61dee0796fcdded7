#include "HVXOWRITER/HVXORasterWriterBase/BlockData.h"

namespace {
constexpr std::size_t kHeaderBytes = kBlockHeaderValues * sizeof(double);
}

BlockData::BlockData(IRasterBlock* block) {
  if (block && FAILED(block->GetData(&payload_, &descriptor_))) {
    VariantInit(&payload_);
    VariantInit(&descriptor_);
  }
}

BlockData::~BlockData() {
  VariantClear(&payload_);
  VariantClear(&descriptor_);
}

bool BlockData::IsWellFormed() const {
  if (payload_.vt != (VT_ARRAY | VT_R8) || descriptor_.vt != (VT_ARRAY | VT_I4)) return false;
  const SAFEARRAY* p = payload_.parray;
  const SAFEARRAY* d = descriptor_.parray;
  if (!p || !d || !p->data || !d->data || p->elementType != VT_R8 || d->elementType != VT_I4)
    return false;
  if (p->count < 1 || d->count < 3) return false;
  return static_cast<const std::int32_t*>(d->data)[1] == kBlockDescriptorMarker;
}

std::int32_t BlockData::DataType() const {
  return static_cast<const std::int32_t*>(descriptor_.parray->data)[2];
}

bool BlockData::HasHeader() const { return payload_.parray->count >= kBlockHeaderValues; }

double BlockData::Header(std::size_t i) const {
  return static_cast<const double*>(payload_.parray->data)[i];
}

unsigned char* BlockData::Pixels() const {
  return static_cast<unsigned char*>(payload_.parray->data) + kHeaderBytes;
}

std::size_t BlockData::PixelBytes() const {
  return HasHeader() ? payload_.parray->count * sizeof(double) - kHeaderBytes : 0;
}
