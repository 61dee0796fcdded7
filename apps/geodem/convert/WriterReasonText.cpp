#include "apps/geodem/convert/WriterReasonText.h"

#include <optional>
#include <string_view>
#include <vector>

namespace {

// One sentence of the writer: its code, its Chinese form with "%s" where it names something, and
// the English with "%1".."%9" for those parts in order.
struct Sentence {
  std::uint32_t code;
  std::string_view chinese;
  std::string_view english;
};

// The writer's sentences, as its code words them (every refusal it logs as an error).
constexpr Sentence kSentences[] = {
    {0x3049b, "创建XML文档对象失败，可能未安装正确的MSXML组件",
     "the writer could not create its XML reader"},
    {0x3049c, "映射文件无效 位于%s行，%s列, %s",
     "the mapping file is not valid: at line %1, column %2: %3"},
    {0x3049c, "映射文件无效 %s", "the mapping file is not valid: %1"},
    {0x3049d, "映射文件缺丢根元素", "the mapping file has no root element"},
    {0x3049e, "映射文件根元素错误，根元素名称必须为HVX_MappingFile",
     "the mapping file's root element must be HVX_MappingFile"},
    {0x3049f, "映射文件中找不到宏定义：%s", "the mapping file defines no macro %1"},
    {0x3049f, "映射文件中宏定义循环引用或展开过大：%s",
     "the mapping file's macro %1 refers to itself or expands too far"},
    {0x2009d, "缺少组件 %s", "the component %1 is missing"},
    {0x201a0, "参数 RASTER_NODATA 的值“%s”无效：须为数值",
     "the value \"%1\" of the writer parameter RASTER_NODATA is not valid: it must be a number"},
    {0x201a0, "参数 DEM_ZOOM 的值“%s”无效：须为不小于 1 的整数",
     "the value \"%1\" of the writer parameter DEM_ZOOM is not valid: it must be a whole number "
     "from 1"},
    {0x20199, "转换规则 %s 的目标名称过长",
     "the target name of the conversion rule %1 is too long"},
    {0x20197, "无元数据信息", "the writer was given no description of the sources"},
    {0x20090, "目标数据集名称为空", "the target has no name"},
    {0x20196, "输入数据集信息条目不匹配",
     "the description of the sources does not match the sources of the target"},
    {0x20195, "%s：创建数据集失败", "%1: the temporary raster could not be created"},
    {0x20198, "输出目标数据集%s失败", "%1 was not output"},
    {0x20194, "%s：原数据集与目标数据集相同", "%1: the source is the target itself"},
    {0x20192, "拼接的数据类型不一致", "the pieces of the mosaic differ in data type"},
    {0x20190, "拼接的波段数不一致", "the pieces of the mosaic differ in their number of bands"},
    {0x20191, "拼接的分辨率不一致", "the pieces of the mosaic differ in cell size"},
    {0x200a0, "文件: %s 已经存在，且设置为不覆盖", "%1 exists, and the job does not overwrite"},
    {0x200a0, "文件: %s 无法创建：%s", "%1 cannot be created: %2"},
    {0x200a1, "文件: %s 正由另一个转换（进程 %s）写入",
     "%1 is being written by another conversion (process %2)"},
    {0x200a1, "文件: %s 无法加锁：%s", "%1 cannot be locked: %2"},
    {0x20092, "创建目标路径 %s 失败", "the output folder %1 could not be created"},
    {0x2019a, "%s：写入数据集失败（写入数据块）%s", "%1: writing a block failed: %2"},
    {0x2019a, "%s：写入数据集失败（写入磁盘）%s", "%1: writing to the disk failed: %2"},
    {0x2019a, "%s：写入数据集失败（读回已写入的数据）%s",
     "%1: reading back the cells written failed: %2"},
    {0x2019a, "%s：写入数据集失败（填充无效值）%s",
     "%1: filling the temporary raster with no data failed: %2"},
    {0x2019a, "%s：写入数据集失败（设置无效值）%s",
     "%1: setting the temporary raster's no-data value failed: %2"},
    {0x2019a, "%s：写入数据集失败（设置地理变换）%s",
     "%1: setting the temporary raster's geotransform failed: %2"},
    {0x2019a, "%s：写入数据集失败（设置投影）%s",
     "%1: setting the temporary raster's coordinate system failed: %2"},
    {0x2019a, "%s：写入数据集失败（%s）%s", "%1: writing failed (%2): %3"},
    {0x2019b, "%s：名称含有GBK无法表示的字符", "%1: the name has characters without a GBK form"},
};

// The parts of `line` at the "%s" of `form` (each as short as the rest allows the earlier ones
// to be, the last one taking the rest); nothing when the line is not of that form.
std::optional<std::vector<std::string>> Match(std::string_view form, std::string_view line) {
  std::vector<std::string> parts;
  std::size_t hole = form.find("%s");
  if (hole == std::string_view::npos) return form == line ? std::optional(parts) : std::nullopt;
  if (!line.starts_with(form.substr(0, hole))) return std::nullopt;
  line.remove_prefix(hole);
  form.remove_prefix(hole + 2);
  for (;;) {
    const std::size_t next = form.find("%s");
    const std::string_view fixed = form.substr(0, next);
    if (next == std::string_view::npos) {
      // The last part: up to the fixed end of the form.
      if (!line.ends_with(fixed) || line.size() < fixed.size()) return std::nullopt;
      parts.emplace_back(line.substr(0, line.size() - fixed.size()));
      return parts;
    }
    const std::size_t at = fixed.empty() ? 0 : line.find(fixed);
    if (at == std::string_view::npos) return std::nullopt;
    parts.emplace_back(line.substr(0, at));
    line.remove_prefix(at + fixed.size());
    form.remove_prefix(next + 2);
  }
}

std::string Fill(std::string_view english, const std::vector<std::string>& parts) {
  std::string text;
  for (std::size_t i = 0; i < english.size(); ++i) {
    const char c = english[i];
    // "%1".."%9": the part's index; anything else is no part (a wrapped value past the end).
    const std::size_t part =
        i + 1 < english.size() ? static_cast<std::size_t>(english[i + 1] - '1') : parts.size();
    if (c == '%' && part < parts.size()) {
      text += parts[part];
      ++i;
    } else {
      text += c;
    }
  }
  return text;
}

}  // namespace

std::string WriterReasonText::English(std::uint32_t code, const std::string& chineseLine) {
  for (const Sentence& s : kSentences) {
    if (s.code != code) continue;
    if (auto parts = Match(s.chinese, chineseLine)) {
      std::string text = Fill(s.english, *parts);
      if (text.ends_with(": ")) text.resize(text.size() - 2);  // GDAL gave no reason
      return text;
    }
  }
  return {};
}
