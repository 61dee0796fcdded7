#pragma once
// The GEODEM writer object: what the host creates through the module's class object and drives
// through two interfaces.
//
//   SetMetadata(input lists) -> OpenJob(mapping file) -> { OpenTarget -> WriteRasterBlock... ->
//   CloseTarget }...
//
// OpenJob loads the mapping file, derives destinationNames from its rules, reads the DEM parameters
// from its writer parameters and hands its writer directives to SetParameters. OpenTarget reads
// the DEM parameters again from the source options, builds the source table and decides between
// one grid file per source and one mosaic. Blocks land in temporary HFA rasters; each finished
// raster is converted by WriteFormatFile, at once per source or at CloseTarget for a mosaic.
// Settings persist between jobs: a key a job does not give keeps its earlier value.
//
// The object can be aggregated: created with an outer object, its interfaces delegate IUnknown to
// the outer one, and the outer object holds the separately counted inner IUnknown.
#include <atomic>
#include <cstdint>
#include <string>

#include "HVXOWRITER/HVXOGEODEMWriter/DemWriterParameters.h"
#include "HVXOWRITER/HVXOGEODEMWriter/ModuleCount.h"
#include "HVXOWRITER/HVXORasterWriterBase/HVXORasterWriterBase.h"
#include "host/Guid.h"
#include "host/IRasterTargetWriter.h"
#include "host/IWriterJob.h"

inline constexpr CLSID CLSID_HVXOGEODEMWriter = MakeGuid("{54323F89-AD68-479B-97A1-04A03953E1CC}");
// The component's own dispatch interface and type library (referenced, not registered).
inline constexpr IID IID_IHVXOGEODEMWriter = MakeGuid("{D8BAE783-810D-4F90-9DE5-7F91C6A01E94}");
inline constexpr GUID LIBID_HVXOGEODEMWriter = MakeGuid("{687939F7-2BB9-46DF-B3A9-331FE1D1CF20}");

class HVXOGEODEMWriter : public IWriterJob,
                         public IRasterTargetWriter,
                         public HVXORasterWriterBase {
 public:
  // A plain object has no outer object. The caller holds no reference yet: use Create.
  explicit HVXOGEODEMWriter(IUnknown* outer = nullptr);
  ~HVXOGEODEMWriter() override;

  // A new writer and its first reference: the object's own IUnknown when aggregated (the only
  // interface an outer object may ask for), else the interface iid. Counts in the module.
  static HRESULT Create(IUnknown* outer, const IID& iid, void** object);

  // --- IUnknown (delegating to the outer object when aggregated) -----------------------------
  HRESULT QueryInterface(const IID& iid, void** object) override;
  std::uint32_t AddRef() override;
  std::uint32_t Release() override;

  // --- IDispatch: no type libraries on this platform -------------------------------------------
  HRESULT GetTypeInfoCount(std::uint32_t* count) override;
  HRESULT GetTypeInfo(std::uint32_t index, std::uint32_t locale, void** typeInfo) override;
  HRESULT GetIDsOfNames(const IID& reserved, char16_t** names, std::uint32_t count,
                        std::uint32_t locale, std::int32_t* dispIds) override;
  HRESULT Invoke(std::int32_t dispId, const IID& reserved, std::uint32_t locale,
                 std::uint16_t flags, void* params, VARIANT* result, void* exception,
                 std::uint32_t* argError) override;

  // --- IWriterJob --------------------------------------------------------------------------------
  HRESULT SetParameters(IPropertySet* parameters) override;
  HRESULT Reserved1(IUnknown* first, IUnknown* second) override;
  HRESULT SetHostObject1(IUnknown* object) override;
  HRESULT GetHostObject1(IUnknown** object) override;
  HRESULT Reserved2(IUnknown* first, IUnknown* second) override;
  HRESULT Reserved3(IUnknown* first, IUnknown* second) override;
  HRESULT Reserved4(IUnknown* argument, IUnknown** result) override;
  HRESULT GetMetadata(IMetadata** metadata) override;
  HRESULT SetMetadata(IMetadata* metadata) override;
  HRESULT OpenJob(const char16_t* mappingFilePath) override;
  HRESULT SetHostObject2(IUnknown* object) override;
  HRESULT GetHostObject2(IUnknown** object) override;

  // --- IRasterTargetWriter -----------------------------------------------------------------------
  HRESULT OpenTarget(const char16_t* targetName, IPropertySet* sourceOptions) override;
  HRESULT WriteRasterBlock(IRasterBlock* block, IUnknown* second) override;
  HRESULT CloseTarget() override;

  // --- The grid format -----------------------------------------------------------------------------
  // Writes the CNSDTF-DEM grid file at finalPath from the finished temporary raster and deletes
  // the raster. 1 when written, 0 on any failure (the temporary raster then stays).
  int WriteFormatFile(const std::string& finalPath, const std::string& temporaryPath) override;

  std::string jobPath;  // the mapping file of the current job, GBK
  DemWriterParameters demParameters;

 private:
  // The object's own IUnknown: its count keeps the object alive whatever the outer object does.
  struct InnerUnknown : IUnknown {
    explicit InnerUnknown(HVXOGEODEMWriter* owner) : writer(owner) {}
    HRESULT QueryInterface(const IID& iid, void** object) override;
    std::uint32_t AddRef() override;
    std::uint32_t Release() override;
    HVXOGEODEMWriter* writer;
  };

  HRESULT InnerQueryInterface(const IID& iid, void** object);
  bool BuildDestinationNames();
  HRESULT ApplyWriterDirectives();
  bool LogOn() const { return logOutput != 0; }
  int ConvertMosaicTargets();

  ModuleLockHolder moduleLock_;  // the module stays loaded while the object lives
  InnerUnknown inner_;
  IUnknown* outer_;  // not counted: the outer object owns this one
  std::atomic<std::uint32_t> refs_{0};
};
