#include <gdal.h>

#include "HVXOWRITER/HVXOGEODEMWriter/DemGridWriter.h"
#include "HVXOWRITER/HVXOGEODEMWriter/HVXOGEODEMWriter.h"
#include "HVXOWRITER/HVXOGEODEMWriter/ModuleCount.h"
#include "HVXOWRITER/HVXOGEODEMWriter/ModuleGuard.h"
#include "HVXOWRITER/HVXOWriterBase/WriterGuard.h"
#include "host/CodePage.h"
#include "host/GeoEvents.h"
#include "host/WideString.h"

namespace {

constexpr std::uint32_t kNoMetadataCode = 0x20197;
constexpr std::uint32_t kNoTargetNameCode = 0x20090;
constexpr std::uint32_t kSourceListsMismatchCode = 0x20196;
constexpr char kTemporarySuffix[] = ".tmp";

// Replaces a held host object: absent refused with 1, else the new one is kept.
template <class T>
HRESULT Hold(ComPtr<T>& slot, T* object) {
  if (!object) return 1;
  slot = ComPtr<T>(object);
  return S_OK;
}

// Hands out a held host object with a reference of its own.
template <class T>
HRESULT HandOut(const ComPtr<T>& slot, T** object) {
  if (!object) return E_POINTER;
  if (!slot) return 1;
  *object = ComPtr<T>(slot).Detach();
  return S_OK;
}

}  // namespace

HVXOGEODEMWriter::HVXOGEODEMWriter(IUnknown* outer) : inner_(this), outer_(outer) {
  GDALAllRegister();
  ResetJob();
}

HVXOGEODEMWriter::~HVXOGEODEMWriter() {
  ResetJob();
  destinationNames.clear();
}

HRESULT HVXOGEODEMWriter::Create(IUnknown* outer, const IID& iid, void** object) {
  if (!object) return E_POINTER;
  *object = nullptr;
  if (outer && iid != IUnknown::iid) return CLASS_E_NOAGGREGATION;
  return GuardModuleEntry([&] {
    auto* writer = new HVXOGEODEMWriter(outer);
    // Held while asked; a refused interface leaves no reference, and the writer goes.
    writer->inner_.AddRef();
    HRESULT hr = writer->InnerQueryInterface(iid, object);
    writer->inner_.Release();
    return hr;
  });
}

// --- IUnknown ------------------------------------------------------------------------------------

HRESULT HVXOGEODEMWriter::InnerQueryInterface(const IID& iid, void** object) {
  if (!object) return E_POINTER;
  *object = nullptr;
  if (iid == IUnknown::iid) {
    *object = static_cast<IUnknown*>(&inner_);
  } else if (iid == IWriterJob::iid) {
    *object = static_cast<IWriterJob*>(this);
  } else if (iid == IDispatch::iid || iid == IID_IHVXOGEODEMWriter) {
    *object = static_cast<IDispatch*>(static_cast<IWriterJob*>(this));
  } else if (iid == IRasterTargetWriter::iid) {
    *object = static_cast<IRasterTargetWriter*>(this);
  } else {
    return E_NOINTERFACE;
  }
  // Through the interface handed out: an aggregated writer's interfaces count on the outer object.
  static_cast<IUnknown*>(*object)->AddRef();
  return S_OK;
}

HRESULT HVXOGEODEMWriter::InnerUnknown::QueryInterface(const IID& iid, void** object) {
  return writer->InnerQueryInterface(iid, object);
}

std::uint32_t HVXOGEODEMWriter::InnerUnknown::AddRef() { return ++writer->refs_; }

std::uint32_t HVXOGEODEMWriter::InnerUnknown::Release() {
  std::uint32_t left = --writer->refs_;
  if (left == 0) delete writer;
  return left;
}

HRESULT HVXOGEODEMWriter::QueryInterface(const IID& iid, void** object) {
  return outer_ ? outer_->QueryInterface(iid, object) : InnerQueryInterface(iid, object);
}

std::uint32_t HVXOGEODEMWriter::AddRef() { return outer_ ? outer_->AddRef() : inner_.AddRef(); }

std::uint32_t HVXOGEODEMWriter::Release() {
  return outer_ ? outer_->Release() : inner_.Release();
}

// --- IDispatch -------------------------------------------------------------------------------------

HRESULT HVXOGEODEMWriter::GetTypeInfoCount(std::uint32_t*) { return E_NOTIMPL; }
HRESULT HVXOGEODEMWriter::GetTypeInfo(std::uint32_t, std::uint32_t, void**) { return E_NOTIMPL; }
HRESULT HVXOGEODEMWriter::GetIDsOfNames(const IID&, char16_t**, std::uint32_t, std::uint32_t,
                                        std::int32_t*) {
  return E_NOTIMPL;
}
HRESULT HVXOGEODEMWriter::Invoke(std::int32_t, const IID&, std::uint32_t, std::uint16_t, void*,
                                 VARIANT*, void*, std::uint32_t*) {
  return E_NOTIMPL;
}

// --- IWriterJob: settings, host objects, reserved slots --------------------------------------------

HRESULT HVXOGEODEMWriter::SetParameters(IPropertySet* parameters) {
  return GuardWriter(LogOn(), kGeodemWriterFile, __LINE__, E_FAIL, [&]() -> HRESULT {
    if (!parameters) return 1;
    return SetWriterSettings(parameters);
  });
}

HRESULT HVXOGEODEMWriter::Reserved1(IUnknown*, IUnknown*) { return E_NOTIMPL; }
HRESULT HVXOGEODEMWriter::Reserved2(IUnknown*, IUnknown*) { return E_NOTIMPL; }
HRESULT HVXOGEODEMWriter::Reserved3(IUnknown*, IUnknown*) { return E_NOTIMPL; }
HRESULT HVXOGEODEMWriter::Reserved4(IUnknown*, IUnknown** result) {
  return result ? E_NOTIMPL : E_POINTER;
}

HRESULT HVXOGEODEMWriter::SetHostObject1(IUnknown* object) { return Hold(hostObject1, object); }
HRESULT HVXOGEODEMWriter::GetHostObject1(IUnknown** object) { return HandOut(hostObject1, object); }
HRESULT HVXOGEODEMWriter::SetHostObject2(IUnknown* object) { return Hold(hostObject2, object); }
HRESULT HVXOGEODEMWriter::GetHostObject2(IUnknown** object) { return HandOut(hostObject2, object); }
HRESULT HVXOGEODEMWriter::SetMetadata(IMetadata* object) { return Hold(metadata, object); }
HRESULT HVXOGEODEMWriter::GetMetadata(IMetadata** object) { return HandOut(metadata, object); }

// --- IRasterTargetWriter -----------------------------------------------------------------------------

HRESULT HVXOGEODEMWriter::OpenTarget(const char16_t* name, IPropertySet* sourceOptions) {
  return GuardWriter(LogOn(), kGeodemWriterFile, __LINE__, E_FAIL, [&]() -> HRESULT {
    if (!metadata) {
      if (LogOn()) FireGeoLogGbk(FormatGbk("无元数据信息"), kLogError, kNoMetadataCode);
      return E_FAIL;
    }
    if (!name) {
      if (LogOn()) FireGeoLogGbk(FormatGbk("目标数据集名称为空"), kLogError, kNoTargetNameCode);
      return E_FAIL;
    }
    std::optional<std::string> gbkName = GbkName(name);
    if (!gbkName) return E_FAIL;
    targetName = *gbkName;
    // Whatever an earlier target left must not take the blocks of a refused one.
    ResetJob();
    if (demParameters.ReadDatasetParameters(sourceOptions, LogOn()) != S_OK) return 1;
    SelectDestinationFolder(sourceOptions);
    formatExtension = "dem";
    if (HRESULT built = BuildSourceTable(name, metadata.Get()); built != 0) {
      // A name without a GBK form has said so itself.
      if (LogOn() && built != E_INVALIDARG)
        FireGeoLogGbk(FormatGbk("输入数据集信息条目不匹配"), kLogError, kSourceListsMismatchCode);
      return E_FAIL;
    }
    for (auto& [key, record] : sourceTable) record.outputPath += kTemporarySuffix;
    mosaicMode = sourceTable.size() > 1 && IsFileType(targetName, formatExtension) == 1 ? 1 : 0;
    if (sourceOptions) {
      BstrHolder option;
      if (sourceOptions->GetValue(u"Multiple_Source_Option", option.Put()) == S_OK && option &&
          GbkEqualsNoCase(Utf16ToGbk(option.Get()), "SEPARATE_FILE"))
        mosaicMode = 0;
    }
    return GroupSourcesByTarget();
  });
}

HRESULT HVXOGEODEMWriter::WriteRasterBlock(IRasterBlock* block, IUnknown* second) {
  return GuardWriter(LogOn(), kGeodemWriterFile, __LINE__, E_FAIL, [&]() -> HRESULT {
    driverName = "HFA";
    overwrite = demParameters.overwriteFiles;
    HRESULT r = WriteBlock(block, second);
    ReportProgress();
    return r;
  });
}

HRESULT HVXOGEODEMWriter::CloseTarget() {
  return GuardWriter(LogOn(), kGeodemWriterFile, __LINE__, E_FAIL, [&]() -> HRESULT {
    CloseTargets();
    const int converted = mosaicMode == 1 ? ConvertMosaicTargets() : 0;
    // A target that was not written fails the call, so that a host that does not read the log
    // learns it too.
    const bool failed = converted != 0 || !failedTargets.empty();
    HRESULT r = ReportOutputStatistics();
    ResetJob();
    return failed ? E_FAIL : r;
  });
}

// Converts every mosaic target in order and stops at the first failure, whose temporary raster and
// those of the targets after it stay on disk. A target whose raster missed a write is a failure
// without being converted. 0 all converted, 1 at a failure.
int HVXOGEODEMWriter::ConvertMosaicTargets() {
  return GuardWriter(LogOn(), kGeodemWriterFile, __LINE__, static_cast<int>(E_FAIL), [&] {
    bool failed = false;
    for (const std::string& temporary : targetList) {
      const std::string finalPath = FinalPathOf(temporary);
      // The targets after a failure are not converted: none of their blocks was output.
      if (!failed && !failedTargets.count(temporary) && WriteFormatFile(finalPath, temporary) != 0)
        continue;
      if (!failed && !failedTargets.count(temporary)) ReportTargetOutputFailed(finalPath);
      failed = true;
      CountFailedTarget(finalPath);
    }
    return failed ? 1 : 0;
  });
}

int HVXOGEODEMWriter::WriteFormatFile(const std::string& finalPath,
                                      const std::string& temporaryPath) {
  // A mosaic's no-data cells hold what it was pre-filled with, whatever the blocks announced.
  return DemGridWriter(demParameters, mosaicMode == 1 ? mosaicNoData : invalidData, LogOn(),
                       progressOutput != 0)
      .Write(finalPath, temporaryPath);
}
