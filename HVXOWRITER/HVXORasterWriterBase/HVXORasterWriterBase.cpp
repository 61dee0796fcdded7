// Construction, settings, destination naming and the per-target reset.
#include "HVXOWRITER/HVXORasterWriterBase/HVXORasterWriterBase.h"

#include <optional>
#include <stdexcept>

#include "HVXOWRITER/HVXOWriterBase/WriterGuard.h"
#include "host/CodePage.h"
#include "host/GeoEvents.h"
#include "host/TextValues.h"
#include "host/Variant.h"

namespace {

constexpr std::uint32_t kNameWithoutGbkCode = 0x2019b;

// The text between the first double quote at or after `from` and the next one; nothing when either
// quote is missing.
std::optional<std::string> QuotedAfter(const std::string& text, std::size_t from) {
  std::size_t open = text.find('"', from);
  if (open == std::string::npos) return std::nullopt;
  std::size_t close = text.find('"', open + 1);
  if (close == std::string::npos) return std::nullopt;
  return text.substr(open + 1, close - open - 1);
}

}  // namespace

HVXORasterWriterBase::HVXORasterWriterBase() {
  GDALAllRegister();
  logOutput = 1;
  overwrite = 0;
  selectionActive = 0;
  blocksWritten = 0;
}

HVXORasterWriterBase::~HVXORasterWriterBase() { HVXORasterWriterBase::ResetJob(); }

int HVXORasterWriterBase::SetWriterSettings(IPropertySet* parameters) {
  if (!parameters) return 1;
  return GuardWriter(logOutput != 0, kRasterWriterBaseFile, __LINE__, 1, [&] {
    parameterSet = ComPtr<IPropertySet>(parameters);
    if (auto v = ReadPropertyText(parameters, u"TRANSFORM_PROJECTION"))
      transformProjection = GbkEqualsNoCase(*v, "YES") ? 1 : 0;
    if (auto v = ReadPropertyText(parameters, u"FEATURE_INTERVAL"))
      featureInterval = LeadingInt(*v);
    if (auto v = ReadPropertyText(parameters, u"RASTER_RESAMPLE")) {
      if (GbkEqualsNoCase(*v, "NN")) {
        resampleMethod = 0;
      } else if (GbkEqualsNoCase(*v, "BL")) {
        resampleMethod = 1;
      } else if (GbkEqualsNoCase(*v, "BC")) {
        resampleMethod = 2;
      }
    }
    if (auto v = ReadPropertyText(parameters, u"LOG_OUTPUT"))
      logOutput = GbkEqualsNoCase(*v, "NO") ? 0 : 1;
    return 0;
  });
}

void HVXORasterWriterBase::ReadDatasetSelection() {
  GuardWriterVoid(logOutput != 0, kRasterWriterBaseFile, __LINE__, [&] {
    selectionActive = 0;
    selectedDataset.clear();
    const StringList& directives = mappingFile.readerDirectives;
    if (directives.empty() || directives.size() % 2 != 0) return;
    for (std::size_t i = 0; i < directives.size(); i += 2) {
      const std::string& key = directives[i];
      const std::string& value = directives[i + 1];
      const char* marker = nullptr;
      if (GbkEqualsNoCase(key, "TWO_INPUT_OPERATOR_SET")) {
        marker = "DATASETNAME1=";
      } else if (GbkEqualsNoCase(key, "FUSION_SET")) {
        marker = "DATASETNAMESP=";
      } else {
        continue;
      }
      // Upper-casing keeps the byte positions, so the name is cut from the value as written.
      std::size_t at = GbkFind(GbkToUpper(value), marker);
      if (at == std::string::npos) continue;
      if (auto name = QuotedAfter(value, at)) {
        selectedDataset = *name;
        selectionActive = 1;
        return;
      }
    }
  });
}

int HVXORasterWriterBase::SelectDestinationFolder(IPropertySet* sourceOptions) {
  return GuardWriter(logOutput != 0, kRasterWriterBaseFile, __LINE__, 1, [&] {
    std::string option = ReadPropertyText(sourceOptions, u"Multiple_Source_Option").value_or("");
    std::string folder =
        ReadPropertyText(sourceOptions, u"DESTINATION_DATASET_FOLDER").value_or("");
    bool separate =
        GbkEqualsNoCase(option, "SEPARATE_FILE") || GbkEqualsNoCase(option, "SEPARATE_DIRECTORY");
    if (separate && !destinationNames.empty()) destinationFolder = folder;
    return 0;
  });
}

int HVXORasterWriterBase::ExpandNameMacros(std::string& name, IRasterBlock* source) {
  static const struct {
    const char* token;
    const char16_t* property;
  } kMacros[] = {{"%HVX_MAPCODE", u"HVX_MAPCODE"},
                 {"%HVX_ZONENUM", u"HVX_ZONENUM"},
                 {"%HVX_PATHNAME", u"HVX_PATHNAME"}};
  return GuardWriter(logOutput != 0, kRasterWriterBaseFile, __LINE__, 1, [&] {
    for (const auto& macro : kMacros) {
      VariantHolder value;
      if (source) source->GetPropertyValue(macro.property, value.Put());
      std::u16string text;
      if (FAILED(VariantToText(value.Get(), text)))
        throw std::invalid_argument("source property cannot be read as text");
      ReplaceAll(name, macro.token, Utf16ToGbk(text));
    }
    name = destinationFolder + name;
    return 0;
  });
}

std::optional<std::string> HVXORasterWriterBase::GbkName(const char16_t* name) const {
  std::optional<std::string> gbk = Utf16ToGbkExact(name);
  if (!gbk && logOutput)
    FireGeoLogGbk(FormatGbk("%s：名称含有GBK无法表示的字符", Utf16ToGbk(name).c_str()), kLogError,
                  kNameWithoutGbkCode);
  return gbk;
}

void HVXORasterWriterBase::ResetBlockCounters() { blocksWritten = 0; }

void HVXORasterWriterBase::ResetJob() {
  GuardWriterVoid(logOutput != 0, kRasterWriterBaseFile, __LINE__, [&] {
    mosaicMode = 0;
    resampleMethod = 1;
    driverName.clear();
    formatExtension.clear();
    destinationFolder.clear();
    lastStatus = 0;
    ResetBlockCounters();
    targetList.clear();
    cleanMapStringToStringArray(targetGroups);
    CloseOpenDatasets();
    failedTargets.clear();
    sourceTable.clear();
    mosaicNoData.clear();
    progressBase = 0;
    progressEnd = 0;
    progressFactor = 0;
  });
}

int HVXORasterWriterBase::WriteFormatFile(const std::string&, const std::string&) { return 0; }

std::string HVXORasterWriterBase::FinalPathOf(const std::string& temporaryPath) {
  constexpr std::string_view kTmp = ".tmp";
  if (temporaryPath.ends_with(kTmp))
    return temporaryPath.substr(0, temporaryPath.size() - kTmp.size());
  return temporaryPath;
}
