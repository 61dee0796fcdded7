// Bad input, hostile files and failing disks: through the writer component as a host drives it,
// and through the geodem program.
//
// Every case states what it expects: the result and the log line (or that there is none), that
// nothing crashes, and that every file that existed before is byte-identical afterwards unless
// the case asked for overwriting. Groups: hostile mapping files, malformed raster blocks,
// inconsistent metadata lists, awkward paths, failing disks, and the same kinds of input given
// to geodem, whose exit status (0 done, 1 failed, 2 refused as a usage error) and error lines are
// what a user sees.
//
// The tests run as root here, for whom file permissions do not bite: the unwritable folder is
// tried in a forked child that has dropped to the user "nobody" (and, without that, as a folder
// under a regular file, which no user can create).
#include <gdal.h>
#include <gmock/gmock.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "HVXOWRITER/HVXOGEODEMWriter/HVXOGEODEMWriter.h"
#include "HVXOWRITER/HVXORasterWriterBase/RasterFixtures.h"
#include "apps/geodem/GeodemProcess.h"
#include "apps/geodem/TestRasters.h"
#include "host/CodePage.h"
#include "support/EventCapture.h"
#include "support/HostileXml.h"
#include "support/LocalListener.h"
#include "support/SmallDisk.h"
#include "support/TempDir.h"

#if defined(__SANITIZE_ADDRESS__)
// Absurd sizes reach GDAL, which answers them with an allocation that fails and handles the null
// it gets; under AddressSanitizer that allocation must fail the same way instead of aborting.
extern "C" const char* __asan_default_options() { return "allocator_may_return_null=1"; }
// GDAL's HFA driver (3.6) does not free what it had built when such a creation fails.
extern "C" const char* __lsan_default_suppressions() { return "leak:HFACreate\n"; }
#endif

namespace fs = std::filesystem;
using testing::HasSubstr;
using testing::IsEmpty;

namespace {

// --- What a case checks ------------------------------------------------------------------------

// Every regular file under a folder with its bytes, taken before a case runs.
class DiskSnapshot {
 public:
  explicit DiskSnapshot(const fs::path& root) : root_(root), files_(Read(root)) {}

  // Files that were there before and are now missing or different.
  std::vector<std::string> Changed() const {
    std::map<std::string, std::string> now = Read(root_);
    std::vector<std::string> changed;
    for (const auto& [path, bytes] : files_) {
      auto it = now.find(path);
      if (it == now.end() || it->second != bytes) changed.push_back(path);
    }
    return changed;
  }
  // Files that are there now and were not before.
  std::vector<std::string> Added() const {
    std::vector<std::string> added;
    for (const auto& [path, bytes] : Read(root_))
      if (!files_.count(path)) added.push_back(path);
    return added;
  }
  // Every file as it was, and none added.
  testing::AssertionResult AsItWas() const {
    std::vector<std::string> changed = Changed(), added = Added();
    if (changed.empty() && added.empty()) return testing::AssertionSuccess();
    auto result = testing::AssertionFailure();
    for (const std::string& path : changed) result << "\n  changed or gone: " << path;
    for (const std::string& path : added) result << "\n  added: " << path;
    return result;
  }

 private:
  static std::map<std::string, std::string> Read(const fs::path& root) {
    std::map<std::string, std::string> files;
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(root, ec); !ec && it != fs::end(it);
         it.increment(ec)) {
      if (it->is_symlink() || !it->is_regular_file()) continue;
      files[it->path().string()] = TempDir::ReadFile(it->path().string());
    }
    return files;
  }

  fs::path root_;
  std::map<std::string, std::string> files_;
};

// Whether a log line with this code contains this text (UTF-8); lists every line when not.
testing::AssertionResult Logged(const EventCapture& events, std::uint32_t code,
                                const std::string& text) {
  std::ostringstream all;
  for (const CapturedLog& log : events.logs) {
    if (log.code == code && log.Utf8().find(text) != std::string::npos)
      return testing::AssertionSuccess();
    all << "\n  [" << std::hex << log.code << "] " << log.Utf8();
  }
  return testing::AssertionFailure() << "no line " << std::hex << code << " with \"" << text
                                     << "\" among:" << all.str();
}

// The cells of a grid file: the numbers after the empty line that ends the header.
std::vector<long> GridCells(const std::string& path) {
  const std::string text = TempDir::ReadFile(path);
  const std::size_t header = text.find("\r\n\r\n");
  std::vector<long> cells;
  if (header == std::string::npos) return cells;
  std::istringstream in(text.substr(header + 4));
  for (long v; in >> v;) cells.push_back(v);
  return cells;
}

// --- The road of a host ------------------------------------------------------------------------

// One 8 x 8 Float32 source at (0, 8) with 1 x 1 pixels; cell (r, c) holds r * 8 + c.
constexpr int kSide = 8;
SourceSpec Source(const std::string& name) {
  return {name, GDT_Float32, 1, kSide, kSide, 0, double(kSide), 1, -1};
}
float SourceCell(int row, int column) { return static_cast<float>(row * kSide + column); }

// The grid cells of that source with the default zoom of 100, from column x0 and row y0 on; the
// cells before them were never written (a fresh raster holds 0 there).
std::vector<long> ExpectedCells(int x0 = 0, int y0 = 0) {
  std::vector<long> cells;
  for (int r = 0; r < kSide; ++r)
    for (int c = 0; c < kSide; ++c)
      cells.push_back(r >= y0 && c >= x0 ? long(SourceCell(r, c)) * 100 : 0);
  return cells;
}

// The whole source in one block, which completes it.
ComPtr<RasterBlock> WholeBlock(const std::string& name) {
  TestBlock t = MakeFloatBlock(name, {kSide, kSide, 1, 0, double(kSide), 1, -1},
                               [](int, int r, int c) { return SourceCell(r, c); });
  t.block->SetProperties(MakeProperties({{"BlocksNum", "1"}, {"InvalidData", "-9999"}}));
  return t.block;
}

class BadInput : public testing::Test {
 protected:
  // The mapping file `name` (UTF-8) in the test folder holding content, opened as the job.
  HRESULT OpenJob(const std::string& name, const std::string& content) {
    const std::string path = dir_ / name;
    fs::create_directories(fs::path(path).parent_path());
    TempDir::WriteFile(path, content);
    return writer_.OpenJob(Utf8ToUtf16(path).c_str());
  }
  // The sources as the metadata lists describe them, then the target (UTF-8).
  HRESULT OpenTarget(ComPtr<Metadata> metadata, const std::string& target,
                     ComPtr<IPropertySet> options = nullptr) {
    writer_.SetMetadata(metadata.Get());
    return writer_.OpenTarget(Utf8ToUtf16(target).c_str(), options.Get());
  }
  HRESULT OpenTarget(const std::vector<SourceSpec>& sources, const std::string& target,
                     ComPtr<IPropertySet> options = nullptr) {
    return OpenTarget(MakeMetadata(sources), target, std::move(options));
  }
  HRESULT Write(const ComPtr<RasterBlock>& block) {
    return writer_.WriteRasterBlock(block.Get(), block.Get());
  }

  TempDir dir_;
  EventCapture events_;  // declared before the writer: its teardown may still log
  HVXOGEODEMWriter writer_;
};

// --- Hostile mapping files ---------------------------------------------------------------------

std::string WithZoom(const std::string& body) {
  return "<HVX_MappingFile><WRITER_PARAMETER><KeyValuePair><Key>DEM_ZOOM</Key><Value>10</Value>"
         "</KeyValuePair></WRITER_PARAMETER>" +
         body + "</HVX_MappingFile>";
}

// Forty macros, each twice the one before: no cycle, but 2^40 bytes once expanded.
std::string DoublingMacros() {
  std::string macros = "<MACRO Key=\"M0\" Value=\"xx\"/>";
  for (int i = 1; i <= 40; ++i)
    macros += "<MACRO Key=\"M" + std::to_string(i) + "\" Value=\"$(M" + std::to_string(i - 1) +
              ")$(M" + std::to_string(i - 1) + ")\"/>";
  return WithZoom(macros + "<DESTINATION_DATASET>$(M40)</DESTINATION_DATASET>");
}

// A rule whose destination attributes bring in ten tokens of the next one each: 10^10 bytes.
std::string MultiplyingDestination() {
  std::string pairs;
  for (char c = 'A'; c <= 'J'; ++c) {
    std::string value;
    for (int i = 0; i < 10; ++i) value += std::string("%") + char(c + 1);
    pairs += "<AttributePair><AttributeName>" + std::string(1, c) +
             "</AttributeName><AttributeValue>" + value + "</AttributeValue></AttributePair>";
  }
  return WithZoom(
      "<HVX_RULE RuleID=\"1\"><SOURCE><FeatureClassName>src</FeatureClassName></SOURCE>"
      "<DESTINATION><FeatureClassName>%A.dem</FeatureClassName>" +
      pairs + "</DESTINATION></HVX_RULE>");
}

struct XmlCase {
  const char* name;
  std::function<std::string(const LocalListener&)> content;
  HRESULT result;
  std::uint32_t code;  // of the line that says why
  std::string text;    // in that line
};

void PrintTo(const XmlCase& c, std::ostream* out) { *out << c.name; }

class HostileMappingFile : public BadInput, public testing::WithParamInterface<XmlCase> {};

TEST_P(HostileMappingFile, IsRefusedOrBoundedQuicklyAndLeftAsItWas) {
  const XmlCase& c = GetParam();
  LocalListener listener;
  TempDir::WriteFile(dir_ / "job.xml", c.content(listener));
  DiskSnapshot before(dir_.Path());
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(writer_.OpenJob(Utf8ToUtf16(dir_ / "job.xml").c_str()), c.result);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
  EXPECT_TRUE(Logged(events_, c.code, c.text));
  EXPECT_FALSE(listener.WasContacted());
  EXPECT_TRUE(before.AsItWas());
}

constexpr std::uint32_t kInvalidFileCode = 0x3049c;
constexpr std::uint32_t kMacroCode = 0x3049f;

INSTANTIATE_TEST_SUITE_P(
    Cases, HostileMappingFile,
    testing::Values(
        XmlCase{"NotWellFormed",
                [](const LocalListener&) { return "<HVX_MappingFile><A></HVX_MappingFile>"; },
                E_FAIL, kInvalidFileCode, "映射文件无效 位于1行，"},
        XmlCase{"WrongRoot",
                [](const LocalListener&) { return "<MappingFile><MACRO/></MappingFile>"; }, E_FAIL, 0x3049e, "映射文件根元素错误，根元素名称必须为HVX_MappingFile"},
        XmlCase{"ViolatesItsDtd",
                [](const LocalListener&) {
                  return "<!DOCTYPE HVX_MappingFile [<!ELEMENT HVX_MappingFile (MACRO*)>"
                         "<!ELEMENT MACRO EMPTY>]>" +
                         WithZoom("");
                },
                E_FAIL, kInvalidFileCode, "映射文件无效 位于1行，"},
        XmlCase{"NetworkDtd",
                [](const LocalListener& l) {
                  return "<!DOCTYPE HVX_MappingFile SYSTEM \"" + l.Url("job.dtd") + "\">\n" +
                         WithZoom("");
                },
                E_FAIL, kInvalidFileCode, "Attempt to load network entity"},
        XmlCase{"NetworkEntity",
                [](const LocalListener& l) {
                  return "<!DOCTYPE HVX_MappingFile [<!ENTITY e SYSTEM \"" + l.Url("e.txt") +
                         "\">]>\n" + WithZoom("<MAPPING_FILE_ID>&e;</MAPPING_FILE_ID>");
                },
                E_FAIL, kInvalidFileCode, "e.txt"},
        XmlCase{"EntityBomb", [](const LocalListener&) { return BillionLaughs(); }, E_FAIL,
                kInvalidFileCode, "映射文件无效 位于"},
        XmlCase{"HundredThousandNestedElements",
                [](const LocalListener&) { return DeepNesting(100000); }, E_FAIL,
                kInvalidFileCode, "depth"},
        XmlCase{"CyclicMacros",
                [](const LocalListener&) {
                  return WithZoom(
                      "<MACRO Key=\"A\" Value=\"x$(B)\"/><MACRO Key=\"B\" Value=\"$(A)y\"/>"
                      "<DESTINATION_DATASET>$(A)</DESTINATION_DATASET>");
                },
                S_OK, kMacroCode, "映射文件中宏定义循环引用或展开过大：A"},
        XmlCase{"DoublingMacros", [](const LocalListener&) { return DoublingMacros(); }, S_OK,
                kMacroCode, "映射文件中宏定义循环引用或展开过大："},
        XmlCase{"MultiplyingDestinationName",
                [](const LocalListener&) { return MultiplyingDestination(); }, E_FAIL, 0x20199,
                "转换规则 1 的目标名称过长"},
        XmlCase{"Empty", [](const LocalListener&) { return std::string(); }, E_FAIL,
                kInvalidFileCode, "映射文件无效"},
        XmlCase{"BinaryBytes",
                [](const LocalListener&) { return std::string("\x7f" "ELF\0\0\x01\xff\xfe", 10); },
                E_FAIL, kInvalidFileCode, "映射文件无效 位于1行，"},
        XmlCase{"MalformedUtf8",
                [](const LocalListener&) {
                  return WithZoom("<MAPPING_FILE_ID>\xc3\x28\xa0\xa1</MAPPING_FILE_ID>");
                },
                E_FAIL, kInvalidFileCode, "映射文件无效 位于1行，"}),
    [](const testing::TestParamInfo<XmlCase>& info) { return std::string(info.param.name); });

TEST_F(BadInput, MappingFileThatIsMissingOrAFolderIsReported) {
  EXPECT_EQ(writer_.OpenJob(Utf8ToUtf16(dir_ / "missing.xml").c_str()), E_FAIL);
  EXPECT_TRUE(Logged(events_, kInvalidFileCode, "映射文件无效"));
  events_.Clear();
  fs::create_directory(dir_ / "folder.xml");
  EXPECT_EQ(writer_.OpenJob(Utf8ToUtf16(dir_ / "folder.xml").c_str()), E_FAIL);
  EXPECT_TRUE(Logged(events_, kInvalidFileCode, "映射文件无效"));
}

// --- Malformed raster blocks -------------------------------------------------------------------

// A block of the source with the arrays given: header values (see RasterFixtures' Header), the
// pixel area as a number of doubles, and the descriptor's elements.
ComPtr<RasterBlock> RawBlock(std::vector<double> header, std::size_t pixelDoubles,
                             std::vector<std::int32_t> descriptor = {0, 33, GDT_Float32}) {
  auto block = MakeRawBlock("src", std::move(header), pixelDoubles, std::move(descriptor));
  block->SetProperties(MakeProperties({{"BlocksNum", "1"}}));
  return block;
}
// The 20 header values of the whole source, with one of them changed.
std::vector<double> HeaderWith(std::size_t index, double value) {
  std::vector<double> h = Header(kSide, kSide, 0, kSide);
  h[index] = value;
  return h;
}
constexpr std::size_t kPixelDoubles = kSide * kSide * sizeof(float) / sizeof(double);

// A whole block whose payload and descriptor are replaced by the variants given.
ComPtr<RasterBlock> BlockWithVariants(VARIANT payload, VARIANT descriptor) {
  ComPtr<RasterBlock> block = WholeBlock("src");
  block->SetData(payload, descriptor);
  return block;
}
VARIANT ArrayVariant(VARTYPE type, std::size_t count) {
  VARIANT v;
  v.vt = VT_ARRAY | type;
  v.parray = SafeArrayCreateVector(type, count);
  return v;
}
VARIANT GoodDescriptor() {
  VARIANT v = ArrayVariant(VT_I4, 3);
  static_cast<std::int32_t*>(v.parray->data)[1] = 33;
  static_cast<std::int32_t*>(v.parray->data)[2] = GDT_Float32;
  return v;
}
VARIANT GoodPayload() {
  VARIANT v = ArrayVariant(VT_R8, kBlockHeaderValues + kPixelDoubles);
  std::vector<double> h = Header(kSide, kSide, 0, kSide);
  std::copy(h.begin(), h.end(), static_cast<double*>(v.parray->data));
  return v;
}

struct BlockCase {
  const char* name;
  std::function<ComPtr<RasterBlock>()> block;
  bool secondObject;
  HRESULT result;
};

void PrintTo(const BlockCase& c, std::ostream* out) { *out << c.name; }

class MalformedBlock : public BadInput, public testing::WithParamInterface<BlockCase> {};

// Skipped without a message, nothing created or counted; the proper block after it converts
// the source as if the bad one had never come.
TEST_P(MalformedBlock, IsSkippedAndLeavesNoTrace) {
  const BlockCase& c = GetParam();
  ASSERT_EQ(OpenTarget({Source("src")}, dir_ / "out/"), S_OK);
  DiskSnapshot before(dir_.Path());
  ComPtr<RasterBlock> bad = c.block();
  EXPECT_EQ(writer_.WriteRasterBlock(bad.Get(), c.secondObject ? bad.Get() : nullptr), c.result);
  EXPECT_THAT(events_.LogTexts(), IsEmpty());
  EXPECT_TRUE(before.AsItWas());
  EXPECT_EQ(writer_.blocksWritten, 0);

  ASSERT_EQ(Write(WholeBlock("src")), S_OK);
  EXPECT_EQ(GridCells(dir_ / "out/src.dem"), ExpectedCells());
  EXPECT_FALSE(fs::exists(dir_ / "out/src.dem.tmp"));
  EXPECT_EQ(writer_.CloseTarget(), S_OK);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, MalformedBlock,
    testing::Values(
        BlockCase{"WrongKind",
                  [] {
                    auto b = ComPtr<RasterBlock>::Attach(RasterBlock::Create(u"src", 2));
                    b->SetData(GoodPayload(), GoodDescriptor());
                    return b;
                  },
                  true, S_FALSE},
        BlockCase{"NoPayload", [] { return BlockWithVariants(VARIANT(), GoodDescriptor()); },
                  true, S_FALSE},
        BlockCase{"PayloadOfIntegers",
                  [] { return BlockWithVariants(ArrayVariant(VT_I4, 60), GoodDescriptor()); },
                  true, S_FALSE},
        BlockCase{"PayloadOfOneDouble",
                  [] {
                    VARIANT one;
                    one.vt = VT_R8;
                    one.dblVal = 8;
                    return BlockWithVariants(one, GoodDescriptor());
                  },
                  true, S_FALSE},
        BlockCase{"DescriptorOfDoubles",
                  [] { return BlockWithVariants(GoodPayload(), ArrayVariant(VT_R8, 3)); }, true,
                  S_FALSE},
        BlockCase{"EmptyPayload",
                  [] { return BlockWithVariants(ArrayVariant(VT_R8, 0), GoodDescriptor()); },
                  true, S_FALSE},
        BlockCase{"DescriptorOfTwo",
                  [] { return RawBlock(Header(kSide, kSide, 0, kSide), kPixelDoubles, {0, 33}); },
                  true, S_FALSE},
        BlockCase{"WrongMarker",
                  [] {
                    return RawBlock(Header(kSide, kSide, 0, kSide), kPixelDoubles,
                                    {0, 32, GDT_Float32});
                  },
                  true, S_FALSE},
        BlockCase{"UnknownDataType",
                  [] { return RawBlock(Header(kSide, kSide, 0, kSide), kPixelDoubles, {0, 33, 0}); },
                  true, S_FALSE},
        BlockCase{"DataTypeBeyondGdal",
                  [] {
                    return RawBlock(Header(kSide, kSide, 0, kSide), kPixelDoubles, {0, 33, 1000});
                  },
                  true, S_FALSE},
        BlockCase{"PayloadShorterThanItsHeader",
                  [] {
                    std::vector<double> h = Header(kSide, kSide, 0, kSide);
                    h.resize(10);
                    return RawBlock(h, 0);
                  },
                  true, S_FALSE},
        BlockCase{"PayloadShorterThanItsPixels",
                  [] { return RawBlock(Header(kSide, kSide, 0, kSide), kPixelDoubles - 1); }, true,
                  S_FALSE},
        BlockCase{"NotANumberOfColumns",
                  [] { return RawBlock(HeaderWith(2, std::nan("")), kPixelDoubles); }, true,
                  S_FALSE},
        BlockCase{"InfiniteRows", [] { return RawBlock(HeaderWith(3, HUGE_VAL), kPixelDoubles); },
                  true, S_FALSE},
        BlockCase{"NegativeColumns", [] { return RawBlock(HeaderWith(2, -8), kPixelDoubles); },
                  true, S_FALSE},
        BlockCase{"ZeroRows", [] { return RawBlock(HeaderWith(3, 0), kPixelDoubles); }, true,
                  S_FALSE},
        BlockCase{"ColumnsBeyondAnyArray",
                  [] { return RawBlock(HeaderWith(2, 1e12), kPixelDoubles); }, true, S_FALSE},
        BlockCase{"ZeroPixelWidth", [] { return RawBlock(HeaderWith(8, 0), kPixelDoubles); }, true,
                  S_FALSE},
        BlockCase{"WhollyOutsideItsTarget",
                  [] { return RawBlock(HeaderWith(4, 100), kPixelDoubles); }, true, S_FALSE},
        BlockCase{"NameOfNoSource", [] { return WholeBlock("elsewhere"); }, true, S_FALSE},
        BlockCase{"NoSecondObject", [] { return WholeBlock("src"); }, false, E_POINTER}),
    [](const testing::TestParamInfo<BlockCase>& info) { return std::string(info.param.name); });

TEST_F(BadInput, OddButUsableBlocksAreWrittenAsFarAsTheyGo) {
  // A payload longer than its header announces: the announced cells are used.
  ASSERT_EQ(OpenTarget({Source("src")}, dir_ / "long/"), S_OK);
  ComPtr<RasterBlock> longer = RawBlock(Header(kSide, kSide, 0, kSide), kPixelDoubles + 100);
  EXPECT_EQ(Write(longer), S_OK);
  EXPECT_EQ(GridCells(dir_ / "long/src.dem"), std::vector<long>(kSide * kSide, 0));
  writer_.CloseTarget();

  // Another type than the source's: converted cell by cell.
  ASSERT_EQ(OpenTarget({Source("src")}, dir_ / "int16/"), S_OK);
  auto int16 = ComPtr<RasterBlock>::Attach(RasterBlock::Create(u"src"));
  auto* cells = static_cast<std::int16_t*>(
      int16->AllocateData({kSide, kSide, 1, 0, double(kSide), 1, -1}, GDT_Int16));
  for (int i = 0; i < kSide * kSide; ++i) cells[i] = static_cast<std::int16_t>(i);
  int16->SetProperties(MakeProperties({{"BlocksNum", "1"}}));
  EXPECT_EQ(Write(int16), S_OK);
  EXPECT_EQ(GridCells(dir_ / "int16/src.dem"), ExpectedCells());
  writer_.CloseTarget();

  // Reaching past the right and bottom edges: the inside part is written, the rest stays no-data.
  ASSERT_EQ(OpenTarget({Source("src")}, dir_ / "clip/"), S_OK);
  TestBlock corner = MakeFloatBlock("src", {kSide, kSide, 1, 4, 4, 1, -1},
                                    [](int, int r, int c) { return SourceCell(r + 4, c + 4); });
  corner.block->SetProperties(MakeProperties({{"BlocksNum", "1"}, {"InvalidData", "-9999"}}));
  EXPECT_EQ(Write(corner.block), S_OK);
  EXPECT_EQ(GridCells(dir_ / "clip/src.dem"), ExpectedCells(4, 4));
  EXPECT_EQ(writer_.CloseTarget(), S_OK);
  EXPECT_THAT(events_.LogTexts(), testing::Not(testing::Contains(HasSubstr("失败"))));
}

// --- Inconsistent metadata lists ---------------------------------------------------------------

TEST_F(BadInput, MetadataListsOfOtherLengthsAreRefused) {
  ComPtr<Metadata> shorter = MakeMetadata({Source("a"), Source("b")});
  shorter->SetList(u"Width", {u"8"});
  EXPECT_EQ(OpenTarget(shorter, dir_ / "out/"), E_FAIL);
  EXPECT_TRUE(Logged(events_, 0x20196, "输入数据集信息条目不匹配"));

  events_.Clear();
  ComPtr<Metadata> nameless = MakeMetadata({Source("a")});
  nameless->SetList(u"InDatasetName", {});
  EXPECT_EQ(OpenTarget(nameless, dir_ / "out/"), E_FAIL);
  EXPECT_TRUE(Logged(events_, 0x20196, "输入数据集信息条目不匹配"));
  EXPECT_FALSE(fs::exists(dir_ / "out"));
}

TEST_F(BadInput, MosaicOfDisagreeingSourcesIsRefused) {
  struct Disagreement {
    void (*change)(SourceSpec&);
    std::uint32_t code;
    const char* text;
  };
  const Disagreement cases[] = {
      {[](SourceSpec& s) { s.dataType = GDT_Int16; }, 0x20192, "拼接的数据类型不一致"},
      {[](SourceSpec& s) { s.bands = 2; }, 0x20190, "拼接的波段数不一致"},
      {[](SourceSpec& s) { s.pixelHeight -= 1e-12; }, 0x20191, "拼接的分辨率不一致"},
  };
  DiskSnapshot before(dir_.Path());
  for (const Disagreement& d : cases) {
    SCOPED_TRACE(d.text);
    events_.Clear();
    SourceSpec other = Source("b");
    d.change(other);
    EXPECT_EQ(OpenTarget({Source("a"), other}, dir_ / "area.dem"), E_FAIL);
    EXPECT_TRUE(Logged(events_, d.code, d.text));
  }
  EXPECT_TRUE(before.AsItWas());
}

TEST_F(BadInput, SizesThatCannotMakeARasterSkipEveryBlock) {
  const std::pair<const char16_t*, std::u16string> lists[] = {
      {u"Width", u"0"}, {u"Height", u"-5"}, {u"BandNum", u"none"}};
  DiskSnapshot before(dir_.Path());
  for (const auto& [list, value] : lists) {
    ComPtr<Metadata> m = MakeMetadata({Source("src")});
    m->SetList(list, {value});
    ASSERT_EQ(OpenTarget(m, dir_ / "out/"), S_OK);
    EXPECT_EQ(Write(WholeBlock("src")), S_FALSE);
    EXPECT_EQ(writer_.CloseTarget(), S_FALSE);  // nothing counted
  }
  EXPECT_TRUE(before.AsItWas());
}

// The joint extent of sources without a pixel size has no size: the raster cannot be made, and
// closing the target converts nothing into the grid file that was there.
TEST_F(BadInput, MosaicWithoutPixelSizeFailsAndKeepsTheGridFile) {
  SourceSpec a = Source("a"), b = Source("b");
  a.pixelWidth = b.pixelWidth = 0;
  b.originX = 8;
  TempDir::WriteFile(dir_ / "area.dem", "an earlier grid");
  DiskSnapshot before(dir_.Path());
  ASSERT_EQ(OpenTarget({a, b}, dir_ / "area.dem", MakeProperties({{"OVERWRITE", "YES"}})), S_OK);
  EXPECT_EQ(Write(WholeBlock("a")), E_FAIL);
  EXPECT_TRUE(Logged(events_, 0x20195, dir_ / "area.dem.tmp：创建数据集失败"));
  writer_.CloseTarget();
  EXPECT_TRUE(Logged(events_, 0x20198, "输出目标数据集" + dir_ / "area.dem" + "失败"));
  EXPECT_THAT(before.Changed(), IsEmpty());
}

// --- Paths -------------------------------------------------------------------------------------

TEST_F(BadInput, ChineseCharactersAndSpacesInPaths) {
  const std::string folder = dir_ / "输出 数据/";
  ASSERT_EQ(OpenTarget({Source("高程 模型.tif")}, folder), S_OK);
  ASSERT_EQ(Write(WholeBlock("高程 模型.tif")), S_OK);
  EXPECT_EQ(GridCells(folder + "高程 模型.dem"), ExpectedCells());
  EXPECT_EQ(writer_.CloseTarget(), S_OK);

  // A folder whose name holds a character with the trail byte of a backslash stays one folder.
  const std::string trail = dir_ / "乗 表/";
  ASSERT_EQ(OpenTarget({Source("src")}, trail), S_OK);
  ASSERT_EQ(Write(WholeBlock("src")), S_OK);
  EXPECT_EQ(GridCells(trail + "src.dem"), ExpectedCells());
  std::vector<std::string> folders;
  for (const auto& entry : fs::directory_iterator(dir_.Path()))
    folders.push_back(entry.path().filename().string());
  std::sort(folders.begin(), folders.end());
  EXPECT_EQ(folders, (std::vector<std::string>{"乗 表", "输出 数据"}));

  // The mapping file's own path.
  events_.Clear();
  EXPECT_EQ(OpenJob("映射 文件/作业 一.xml", WithZoom("")), S_OK);
  EXPECT_TRUE(Logged(events_, 0x30410, "映射 文件/作业 一.xml"));
}

TEST_F(BadInput, OutputFolderUnderARegularFileIsReported) {
  TempDir::WriteFile(dir_ / "file.txt", "not a folder");
  DiskSnapshot before(dir_.Path());
  ASSERT_EQ(OpenTarget({Source("src")}, dir_ / "file.txt/sub/"), S_OK);
  EXPECT_EQ(Write(WholeBlock("src")), E_FAIL);
  EXPECT_TRUE(Logged(events_, 0x20092, "创建目标路径 " + dir_ / "file.txt/sub 失败"));
  writer_.CloseTarget();
  EXPECT_TRUE(before.AsItWas());
}

// Runs body in a child process with the rights of "nobody" when the tests run as root (an
// unprivileged test runs it as it is) and gives back what body returned. Nothing when the rights
// cannot be dropped.
std::optional<std::string> RunUnprivileged(const std::function<std::string()>& body) {
  if (::geteuid() != 0) return body();
  const passwd* nobody = ::getpwnam("nobody");
  int pipeEnds[2];
  if (!nobody || ::pipe(pipeEnds) != 0) return std::nullopt;
  const uid_t uid = nobody->pw_uid;
  const gid_t gid = nobody->pw_gid;
  const pid_t child = ::fork();
  if (child == 0) {
    ::close(pipeEnds[0]);
    if (::setgroups(0, nullptr) != 0 || ::setgid(gid) != 0 || ::setuid(uid) != 0) ::_exit(3);
    const std::string out = body();
    const bool written = ::write(pipeEnds[1], out.data(), out.size()) ==
                         static_cast<ssize_t>(out.size());
    ::_exit(written ? 0 : 4);  // no static teardown or leak report in the copy of the test
  }
  ::close(pipeEnds[1]);
  std::string out;
  char buffer[4096];
  for (ssize_t n; (n = ::read(pipeEnds[0], buffer, sizeof buffer)) > 0;) out.append(buffer, n);
  ::close(pipeEnds[0]);
  int status = 0;
  ::waitpid(child, &status, 0);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return std::nullopt;
  return out;
}

// Opens the test folder to other users and makes dir/name, holding one file, a folder that they
// may read but not write.
void LockedFolder(const TempDir& dir, const std::string& name, const std::string& file) {
  constexpr fs::perms kReadable = fs::perms::owner_read | fs::perms::owner_exec |
                                  fs::perms::group_read | fs::perms::group_exec |
                                  fs::perms::others_read | fs::perms::others_exec;
  fs::permissions(dir.Path(), kReadable | fs::perms::owner_write);
  fs::create_directory(dir / name);
  TempDir::WriteFile(dir / (name + "/" + file), "kept");
  fs::permissions(dir / name, kReadable);
}

TEST_F(BadInput, OutputFolderWithoutWritePermissionIsReported) {
  LockedFolder(dir_, "locked", "kept.txt");
  DiskSnapshot before(dir_.Path());
  std::optional<std::string> seen = RunUnprivileged([&] {
    std::ostringstream out;
    for (const std::string& target : {dir_ / "locked/", dir_ / "locked/new/"}) {
      events_.Clear();
      out << OpenTarget({Source("src")}, target) << " " << Write(WholeBlock("src")) << " ";
      for (const std::string& line : events_.LogTexts()) out << line << "|";
      out << "\n";
      writer_.CloseTarget();
    }
    return out.str();
  });
  if (!seen) GTEST_SKIP() << "cannot drop to the user nobody here";
  const std::string failed = "0 " + std::to_string(E_FAIL) + " ";
  // Without its lock a target is never written: the lock that cannot be made says why.
  EXPECT_EQ(*seen, failed + "文件: " + dir_ / "locked/src.dem" +
                       " 无法加锁：Permission denied|\n" + failed + "创建目标路径 " +
                       dir_ / "locked/new" + " 失败|\n");
  EXPECT_TRUE(before.AsItWas());
}

// The grid file, or the temporary raster beside it, is already there (an earlier result, one left
// by an unfinished run, a file of the user's that bears the name).
TEST_F(BadInput, ExistingOutputOrTemporaryPathIsKeptUnlessOverwritingWasAsked) {
  for (const std::string existing : {"a.dem", "a.dem.tmp"}) {
    SCOPED_TRACE(existing);
    const std::string folder = dir_ / (existing + ".case/");
    fs::create_directory(folder);
    TempDir::WriteFile(folder + existing, "kept");
    DiskSnapshot before(folder);
    events_.Clear();
    ASSERT_EQ(OpenTarget({Source("src")}, folder + "a.dem", MakeProperties({{"OVERWRITE", "NO"}})),
              S_OK);
    EXPECT_EQ(Write(WholeBlock("src")), E_FAIL);
    EXPECT_TRUE(
        Logged(events_, 0x200a0, "文件: " + folder + existing + " 已经存在，且设置为不覆盖"));
    writer_.CloseTarget();
    EXPECT_TRUE(before.AsItWas());

    ASSERT_EQ(OpenTarget({Source("src")}, folder + "a.dem", MakeProperties({{"OVERWRITE", "YES"}})),
              S_OK);
    EXPECT_EQ(Write(WholeBlock("src")), S_OK);
    EXPECT_EQ(GridCells(folder + "a.dem"), ExpectedCells());
    EXPECT_FALSE(fs::exists(folder + "a.dem.tmp"));
  }
}

TEST_F(BadInput, SourceThatIsItsOwnTargetIsLeftAlone) {
  // The temporary raster would be written over the source: refused before anything is written.
  const std::string source = dir_ / "a.dem.tmp";
  TempDir::WriteFile(source, "the source's bytes");
  TempDir::WriteFile(dir_ / "a.dem", "the source's own grid");
  DiskSnapshot before(dir_.Path());
  EXPECT_EQ(OpenTarget({Source(source)}, dir_ / "a.dem"), E_FAIL);
  EXPECT_TRUE(Logged(events_, 0x20194, source + "：原数据集与目标数据集相同"));

  // The grid file would be written over the source: an existing file, which is not replaced.
  events_.Clear();
  ASSERT_EQ(OpenTarget({Source(dir_ / "a.dem")}, dir_ / "a.dem"), S_OK);
  EXPECT_EQ(Write(WholeBlock(dir_ / "a.dem")), E_FAIL);
  EXPECT_TRUE(Logged(events_, 0x200a0, "已经存在，且设置为不覆盖"));
  writer_.CloseTarget();
  EXPECT_TRUE(before.AsItWas());
}

// --- Failing disks -----------------------------------------------------------------------------

TEST_F(BadInput, GridFileOnAFullDeviceIsReportedAndTheRasterKept) {
  fs::create_symlink("/dev/full", dir_ / "a.dem");
  ASSERT_EQ(OpenTarget({Source("src")}, dir_ / "a.dem"), S_OK);
  EXPECT_EQ(Write(WholeBlock("src")), E_FAIL);  // the block was placed, the grid file not
  EXPECT_TRUE(Logged(events_, 0x20198, "输出目标数据集" + dir_ / "a.dem" + "失败"));
  EXPECT_EQ(writer_.CloseTarget(), S_OK);
  // Nothing is lost: the converted cells are still in the temporary raster.
  GDALDatasetH raster = GDALOpen((dir_ / "a.dem.tmp").c_str(), GA_ReadOnly);
  ASSERT_NE(raster, nullptr);
  EXPECT_EQ(ReadBand(raster, 1)[9], SourceCell(1, 1));
  GDALClose(raster);
  EXPECT_EQ(fs::read_symlink(dir_ / "a.dem"), "/dev/full");
}

TEST_F(BadInput, FullDiskIsReportedAndKeepsWhatWasThere) {
  SmallDisk disk(dir_ / "small");
  if (!disk.Mounted()) GTEST_SKIP() << "mounting a tmpfs is not allowed here";
  TempDir::WriteFile(dir_ / "small/kept.txt", "kept");
  DiskSnapshot before(dir_.Path());
  // 160 x 160 cells of Float32: 100 KiB of raster, twice that of grid text.
  SourceSpec big{"src", GDT_Float32, 1, 160, 160, 0, 160, 1, -1};
  ASSERT_EQ(OpenTarget({big}, dir_ / "small/a.dem"), S_OK);
  TestBlock t = MakeFloatBlock("src", {160, 160, 1, 0, 160, 1, -1},
                               [](int, int r, int c) { return r * 1000.0f + c; });
  t.block->SetProperties(MakeProperties({{"BlocksNum", "1"}}));
  // The raster fits in GDAL's cache; the disk is found full when it is flushed, at the block
  // that completes it. Nothing is converted, and the raster cut short is removed.
  EXPECT_EQ(Write(t.block), E_FAIL);
  EXPECT_TRUE(Logged(events_, 0x2019a, dir_ / "small/a.dem：写入数据集失败（写入磁盘）"));
  EXPECT_EQ(writer_.CloseTarget(), E_FAIL);
  EXPECT_TRUE(before.AsItWas());
}

// --- Through the geodem program ----------------------------------------------------------------

class GeodemBadInput : public testing::Test {
 protected:
  // The writer registered once, in the registry of the test process, as `geodem register` does.
  static void SetUpTestSuite() {
    registration_ = new ProcessResult(GeodemProcess::Geodem({"register"}));
  }
  static void TearDownTestSuite() { delete registration_; }
  void SetUp() override {
    ASSERT_EQ(registration_->status, 0) << "is the writer module built?\n" << registration_->err;
  }

  // A GeoTIFF source at dir/name (UTF-8), 4 x 3 cells of Float32 unless said otherwise.
  std::string Raster(const std::string& name, const TestRaster& raster = {}) {
    const std::string path = dir_ / name;
    fs::create_directories(fs::u8path(path).parent_path());
    EXPECT_TRUE(raster.WriteGTiff(path));
    return path;
  }
  static ProcessResult Convert(std::vector<std::string> args) {
    args.insert(args.begin(), {"convert", "-q"});
    return GeodemProcess::Geodem(args);
  }
  // geodem convert args ends with status and an error line holding error, and leaves every file
  // under the test folder as it was.
  void ExpectRefused(const std::vector<std::string>& args, int status, const std::string& error) {
    DiskSnapshot before(dir_.Path());
    ProcessResult r = Convert(args);
    EXPECT_EQ(r.status, status) << r.err;
    EXPECT_THAT(r.err, HasSubstr("error: " + error));
    EXPECT_TRUE(before.AsItWas());
  }

  TempDir dir_;
  static ProcessResult* registration_;
};
ProcessResult* GeodemBadInput::registration_ = nullptr;

struct GeodemXmlCase {
  const char* name;
  std::function<std::string(const LocalListener&)> content;
  std::string error;  // in the error lines
};
void PrintTo(const GeodemXmlCase& c, std::ostream* out) { *out << c.name; }

class GeodemHostileMappingFile : public GeodemBadInput,
                                 public testing::WithParamInterface<GeodemXmlCase> {};

TEST_P(GeodemHostileMappingFile, FailsWithTheReasonAndWritesNothing) {
  LocalListener listener;
  const std::string source = Raster("dem.tif");
  TempDir::WriteFile(dir_ / "job.xml", GetParam().content(listener));
  ExpectRefused({"--mapping", dir_ / "job.xml", source, dir_ / "out.dem"}, 1, GetParam().error);
  EXPECT_FALSE(listener.WasContacted());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, GeodemHostileMappingFile,
    testing::Values(
        GeodemXmlCase{"NotWellFormed",
                      [](const LocalListener&) { return "<HVX_MappingFile><A></HVX_MappingFile>"; },
                      "映射文件无效 位于1行，"},
        GeodemXmlCase{"WrongRoot",
                      [](const LocalListener&) { return "<MappingFile><MACRO/></MappingFile>"; },
                      "映射文件根元素错误"},
        GeodemXmlCase{"NetworkDtd",
                      [](const LocalListener& l) {
                        return "<!DOCTYPE HVX_MappingFile SYSTEM \"" + l.Url("job.dtd") + "\">\n" +
                               WithZoom("");
                      },
                      "映射文件无效 位于1行，"},
        GeodemXmlCase{"EntityBomb", [](const LocalListener&) { return BillionLaughs(); },
                      "映射文件无效 位于"},
        GeodemXmlCase{"HundredThousandNestedElements",
                      [](const LocalListener&) { return DeepNesting(100000); }, "映射文件无效"},
        GeodemXmlCase{"MultiplyingDestinationName",
                      [](const LocalListener&) { return MultiplyingDestination(); },
                      "转换规则 1 的目标名称过长"}),
    [](const testing::TestParamInfo<GeodemXmlCase>& info) {
      return std::string(info.param.name);
    });

TEST_F(GeodemBadInput, CyclicMacrosAreReportedAndTheJobRunsWithoutThem) {
  TempDir::WriteFile(dir_ / "job.xml",
                     "<HVX_MappingFile><MACRO Key=\"A\" Value=\"x$(B)\"/>"
                     "<MACRO Key=\"B\" Value=\"$(A)y\"/><WRITER_PARAMETER><KeyValuePair>"
                     "<Key>VERSION</Key><Value>$(A)</Value></KeyValuePair></WRITER_PARAMETER>"
                     "</HVX_MappingFile>");
  ProcessResult r = Convert({"--mapping", dir_ / "job.xml", Raster("dem.tif"), dir_ / "out.dem"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_THAT(r.err, HasSubstr("error: 映射文件中宏定义循环引用或展开过大：A"));
  // The unresolved VERSION names no edition: the positional layout.
  EXPECT_EQ(TempDir::ReadFile(dir_ / "out.dem").rfind("NSDTF-DEM\r\n", 0), 0u);
}

TEST_F(GeodemBadInput, ChineseCharactersAndSpacesInPaths) {
  const std::string source = Raster("中文 目录/高程 A.tif");
  fs::create_directory(fs::u8path(dir_ / "映射 文件"));
  TempDir::WriteFile(dir_ / "映射 文件/作业 一.xml", WithZoom(""));
  ProcessResult r =
      Convert({"--mapping", dir_ / "映射 文件/作业 一.xml", source, dir_ / "输出 数据/"});
  EXPECT_EQ(r.status, 0) << r.err;
  const std::string grid = TempDir::ReadFile(dir_ / "输出 数据/高程 A.dem");
  EXPECT_EQ(grid.rfind("NSDTF-DEM\r\n", 0), 0u) << grid;
  EXPECT_THAT(grid, HasSubstr("\r\n10\r\n"));  // the mapping file's zoom
}

TEST_F(GeodemBadInput, OutputFolderWithoutWritePermission) {
  if (const std::string why = GeodemProcess::NobodyCannotRunGeodem(); !why.empty())
    GTEST_SKIP() << why;
  const std::string source = Raster("dem.tif");
  LockedFolder(dir_, "locked", "kept.txt");
  DiskSnapshot before(dir_.Path());
  std::optional<std::string> seen = RunUnprivileged([&] {
    std::string out;
    for (const std::string& target : {dir_ / "locked/out.dem", dir_ / "locked/new/out.dem"}) {
      ProcessResult r = Convert({source, target});
      out += std::to_string(r.status) + " " + r.err + "\n";
    }
    return out;
  });
  if (!seen) GTEST_SKIP() << "cannot drop to the user nobody here";
  EXPECT_THAT(*seen, HasSubstr("1 "));
  EXPECT_THAT(*seen, HasSubstr("error: 文件: " + dir_ / "locked/out.dem" + " 无法加锁"));
  EXPECT_THAT(*seen, testing::Not(HasSubstr("创建数据集失败")));
  EXPECT_THAT(*seen, HasSubstr("error: 创建目标路径 " + dir_ / "locked/new" + " 失败"));
  EXPECT_THAT(*seen, testing::Not(HasSubstr("0 ")));
  EXPECT_TRUE(before.AsItWas());
}

TEST_F(GeodemBadInput, GridFileOnAFullDevice) {
  const std::string source = Raster("dem.tif");
  fs::create_symlink("/dev/full", dir_ / "full.dem");
  // The unfinished raster is removed: the source still holds everything.
  ExpectRefused({source, dir_ / "full.dem"}, 1, "输出目标数据集" + dir_ / "full.dem" + "失败");
  EXPECT_EQ(fs::read_symlink(dir_ / "full.dem"), "/dev/full");
}

TEST_F(GeodemBadInput, DiskThatFillsUpKeepsWhatWasThere) {
  TestRaster big;
  big.width = big.height = 300;
  const std::string source = Raster("big.tif", big);
  SmallDisk disk(dir_ / "small");
  if (!disk.Mounted()) GTEST_SKIP() << "mounting a tmpfs is not allowed here";
  TempDir::WriteFile(dir_ / "small/kept.txt", "kept");
  ExpectRefused({"--no-space-check", source, dir_ / "small/big.dem"}, 1,
                dir_ / "small/big.dem" + "：写入数据集失败（写入磁盘）");
}

TEST_F(GeodemBadInput, ExistingOutputIsKeptUnlessOverwritingWasAsked) {
  const std::string source = Raster("dem.tif");
  TempDir::WriteFile(dir_ / "out.dem", "an earlier grid");
  ExpectRefused({source, dir_ / "out.dem"}, 1, dir_ / "out.dem" + " exists; add --overwrite to replace it");
  ProcessResult r = Convert({"--overwrite", source, dir_ / "out.dem"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(TempDir::ReadFile(dir_ / "out.dem").rfind("NSDTF-DEM\r\n", 0), 0u);
}

TEST_F(GeodemBadInput, SourceThatIsItsOwnTargetIsLeftAlone) {
  // The grid file would be the source: refused before anything runs.
  const std::string source = Raster("dem.dem");
  const std::string temporary = Raster("other.dem.tmp");
  ExpectRefused({"--overwrite", source, source}, 2,
                "the grid file " + source + " would be written over the source");
  // The temporary raster would be the source: refused before anything runs, and the source, which
  // was there before the run, is not taken for an unfinished raster and removed.
  ExpectRefused({"--overwrite", temporary, dir_ / "other.dem"}, 2,
                "the source " + temporary + " reads " + temporary);
}

TEST_F(GeodemBadInput, TruncatedSourceFailsWithoutAGridFile) {
  TestRaster raster;
  raster.width = raster.height = 256;
  const std::string source = Raster("cut.tif", raster);
  fs::resize_file(source, fs::file_size(source) / 2);
  ExpectRefused({source, dir_ / "out.dem"}, 1, "cannot read block 1 of 1 of source " + source);
}

}  // namespace
