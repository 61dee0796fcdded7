// The source table: from the host's metadata lists to one record per source, grouped by target.
#include <algorithm>
#include <cmath>
#include <optional>

#include "HVXOWRITER/HVXORasterWriterBase/HVXORasterWriterBase.h"
#include "host/TextValues.h"
#include "HVXOWRITER/HVXOWriterBase/WriterGuard.h"
#include "host/CodePage.h"
#include "host/GeoEvents.h"

namespace {

constexpr std::uint32_t kBandsDifferCode = 0x20190;
constexpr std::uint32_t kResolutionDiffersCode = 0x20191;
constexpr std::uint32_t kTypeDiffersCode = 0x20192;
constexpr std::uint32_t kSourceIsTargetCode = 0x20194;

// A metadata list, each item turned into a GBK string by convert; nothing when the host has no
// list of that name.
template <class Convert>
std::optional<StringList> ReadList(IMetadata* metadata, const char16_t* name, Convert convert) {
  std::int32_t count = 0;
  if (metadata->GetCount(name, &count) != S_OK) return std::nullopt;
  StringList items;
  for (std::int32_t i = 0; i < count; ++i) {
    BstrHolder item;
    metadata->GetItem(name, i, item.Put());
    items.push_back(convert(item.Get()));
  }
  return items;
}

std::optional<StringList> ReadList(IMetadata* metadata, const char16_t* name) {
  return ReadList(metadata, name, [](const char16_t* item) { return Utf16ToGbk(item); });
}

// The numeric lists of a source, each with the record field it fills. A list the host does not
// provide leaves its field 0.
struct NumericList {
  const char16_t* name;
  void (*apply)(SourceRecord&, const std::string&);
};

const NumericList kNumericLists[] = {
    {u"InDataType", [](SourceRecord& r, const std::string& t) { r.dataType = LeadingInt(t); }},
    {u"BandNum", [](SourceRecord& r, const std::string& t) { r.bandCount = LeadingInt(t); }},
    {u"Height", [](SourceRecord& r, const std::string& t) { r.height = LeadingInt(t); }},
    {u"Width", [](SourceRecord& r, const std::string& t) { r.width = LeadingInt(t); }},
    {u"GEO_STARTPOSH", [](SourceRecord& r, const std::string& t) { r.originX = LeadingReal(t); }},
    {u"GEO_STARTPOSV", [](SourceRecord& r, const std::string& t) { r.originY = LeadingReal(t); }},
    {u"RESOLVEH", [](SourceRecord& r, const std::string& t) { r.pixelWidth = LeadingReal(t); }},
    {u"RESOLVEV",
     [](SourceRecord& r, const std::string& t) { r.pixelHeight = std::fabs(LeadingReal(t)); }},
};

}  // namespace

HRESULT HVXORasterWriterBase::BuildSourceTable(const char16_t* targetName, IMetadata* metadata) {
  if (!metadata) return 1;
  return GuardWriter(logOutput != 0, kRasterWriterBaseFile, __LINE__, E_FAIL, [&]() -> HRESULT {
    ReadDatasetSelection();
    bool exact = true;
    std::optional<StringList> names =
        ReadList(metadata, u"InDatasetName", [&](const char16_t* item) {
          std::optional<std::string> name = GbkName(item);
          exact = exact && name;
          return name.value_or("");
        });
    if (!exact) return E_INVALIDARG;
    if (!names || names->empty()) return 1;
    std::vector<std::optional<StringList>> lists;
    for (const NumericList& list : kNumericLists) {
      lists.push_back(ReadList(metadata, list.name));
      if (lists.back() && lists.back()->size() != names->size()) return 1;
    }
    std::string target = Utf16ToGbk(targetName);
    for (std::size_t i = 0; i < names->size(); ++i) {
      const std::string& name = (*names)[i];
      if (selectionActive && !GbkEqualsNoCase(name, selectedDataset)) continue;
      SourceRecord record;
      record.outputPath = MakeOutputPath(target, name);
      for (std::size_t l = 0; l < lists.size(); ++l) {
        if (lists[l]) kNumericLists[l].apply(record, (*lists[l])[i]);
      }
      sourceTable[GbkToUpper(name)] = record;  // a name listed again: the later items win
    }
    return 0;
  });
}

std::string HVXORasterWriterBase::MakeOutputPath(const std::string& target,
                                                 const std::string& sourceName) {
  auto named = destinationNames.find(GbkToUpper(sourceName));
  if (named != destinationNames.end()) return destinationFolder + named->second;
  auto any = destinationNames.find("*");
  if (any != destinationNames.end() && IsFileType(any->second, formatExtension) == 1)
    return destinationFolder + any->second;
  if (IsFileType(target, formatExtension) == 1) return target;
  if (IsFileOrPath(target) != 0) return target;
  // The target is a folder: the strings are joined as they are, with a separator only where the
  // folder was named without one.
  const bool separated = target.empty() || GbkFindLastSeparator(target) == target.size() - 1;
  return target + (separated ? "" : "/") + SplitPath(sourceName).fname + "." + formatExtension;
}

HRESULT HVXORasterWriterBase::GroupSourcesByTarget() {
  return GuardWriter(logOutput != 0, kRasterWriterBaseFile, __LINE__, E_FAIL, [&]() -> HRESULT {
    if (mosaicMode == 1) {
      if (CheckMosaicConsistency() != 0) return E_FAIL;
      ComputeMosaicExtent();
    }
    targetList.clear();
    for (const auto& [key, record] : sourceTable) {
      targetGroups[GbkToUpper(FinalPathOf(record.outputPath))].push_back(key);
      const std::string& path = record.outputPath;  // clang 14 lambdas cannot capture bindings
      bool listed = std::any_of(targetList.begin(), targetList.end(),
                                [&](const std::string& t) { return GbkEqualsNoCase(t, path); });
      if (!listed) targetList.push_back(path);
    }
    // A temporary raster written over one of the sources would destroy the input mid-job.
    for (auto it = targetList.rbegin(); it != targetList.rend(); ++it) {
      if (sourceTable.count(GbkToUpper(*it))) {
        if (logOutput)
          FireGeoLogGbk(FormatGbk("%s：原数据集与目标数据集相同", it->c_str()), kLogError,
                        kSourceIsTargetCode);
        return E_FAIL;
      }
    }
    return 0;
  });
}

HRESULT HVXORasterWriterBase::CheckMosaicConsistency() {
  return GuardWriter(logOutput != 0, kRasterWriterBaseFile, __LINE__, E_FAIL, [&]() -> HRESULT {
    if (sourceTable.empty()) return 0;
    const SourceRecord& reference = sourceTable.begin()->second;
    auto fail = [&](const char* message, std::uint32_t code) -> HRESULT {
      if (logOutput) FireGeoLogGbk(Utf8ToGbk(message), kLogError, code);
      return 1;
    };
    for (const auto& [key, record] : sourceTable) {
      if (record.dataType != reference.dataType)
        return fail("拼接的数据类型不一致", kTypeDiffersCode);
      if (record.bandCount != reference.bandCount)
        return fail("拼接的波段数不一致", kBandsDifferCode);
      if (record.pixelWidth != reference.pixelWidth || record.pixelHeight != reference.pixelHeight)
        return fail("拼接的分辨率不一致", kResolutionDiffersCode);
    }
    return 0;
  });
}

void HVXORasterWriterBase::ComputeMosaicExtent() {
  GuardWriterVoid(logOutput != 0, kRasterWriterBaseFile, __LINE__, [&] {
    if (sourceTable.empty()) return;
    const SourceRecord& first = sourceTable.begin()->second;
    double pixelWidth = first.pixelWidth;
    double pixelHeight = first.pixelHeight;
    double left = first.originX;
    double top = first.originY;
    double right = first.originX + (first.width - 1.0) * pixelWidth;
    double bottom = first.originY - (first.height - 1.0) * pixelHeight;
    for (const auto& [key, r] : sourceTable) {
      left = std::min(left, r.originX);
      top = std::max(top, r.originY);
      right = std::max(right, r.originX + (r.width - 1.0) * pixelWidth);
      bottom = std::min(bottom, r.originY - (r.height - 1.0) * pixelHeight);
    }
    // Extents run between pixel origins: one more pixel covers the last column and row.
    std::int32_t width = TruncateToInt((right - left) / pixelWidth + 1.5);
    std::int32_t height = TruncateToInt((top - bottom) / pixelHeight + 1.5);
    for (auto& [key, r] : sourceTable) {
      r.sourceColumn = TruncateToInt(std::floor((r.originX - left) / pixelWidth + 0.5));
      r.sourceRow = TruncateToInt(std::floor((top - r.originY) / pixelHeight + 0.5));
      r.sourceWidth = r.width;
      r.sourceHeight = r.height;
      r.originX = left;
      r.originY = top;
      r.width = width;
      r.height = height;
    }
  });
}
