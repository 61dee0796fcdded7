#include <gtest/gtest.h>
#include <libxml/parser.h>
#include <libxml/tree.h>

#include <filesystem>

#include "apps/geodem/convert/JobMappingFile.h"

namespace {

// The KeyValuePair lists of an element, read back with libxml2.
KeyValueList ReadList(xmlNodePtr root, const char* element) {
  KeyValueList list;
  for (xmlNodePtr section = root->children; section; section = section->next) {
    if (section->type != XML_ELEMENT_NODE || xmlStrcmp(section->name, BAD_CAST element)) continue;
    for (xmlNodePtr pair = section->children; pair; pair = pair->next) {
      if (pair->type != XML_ELEMENT_NODE) continue;
      EXPECT_STREQ(reinterpret_cast<const char*>(pair->name), "KeyValuePair");
      std::string key, value;
      for (xmlNodePtr kv = pair->children; kv; kv = kv->next) {
        if (kv->type != XML_ELEMENT_NODE) continue;
        xmlChar* text = xmlNodeGetContent(kv);
        (xmlStrcmp(kv->name, BAD_CAST "Key") ? value : key) = reinterpret_cast<char*>(text);
        xmlFree(text);
      }
      list.emplace_back(key, value);
    }
  }
  return list;
}

TEST(JobMappingFile, WriterParametersHaveDefaultsThenTheUsersPairs) {
  ConvertOptions o;
  EXPECT_EQ(JobMappingFile::WriterParameters(o), (KeyValueList{{"OVERWRITE", "NO"},
                                                               {"RASTER_NODATA", "-99999"},
                                                               {"DEM_ZOOM", "100"},
                                                               {"VERSION", "GEODEM"}}));
  o.overwrite = true;
  o.noData = "-9999";
  o.zoom = "10";
  o.formatVersion = "grd_1999";
  o.parameters = {{"CUSTOM", "1"}};
  EXPECT_EQ(JobMappingFile::WriterParameters(o), (KeyValueList{{"OVERWRITE", "YES"},
                                                               {"RASTER_NODATA", "-9999"},
                                                               {"DEM_ZOOM", "10"},
                                                               {"VERSION", "grd_1999"},
                                                               {"CUSTOM", "1"}}));
}

TEST(JobMappingFile, ParsesBackWithEveryTextIntact) {
  KeyValueList parameters = {
      {"VERSION", "GRD_2007"}, {"NOTE", "a<b & c>\"d\" 'e' ]]>"}, {"名称", "高程 数据"}};
  std::string xml = JobMappingFile::Render(parameters);
  xmlDocPtr doc =
      xmlReadMemory(xml.data(), static_cast<int>(xml.size()), "job.xml", nullptr, XML_PARSE_NONET);
  ASSERT_NE(doc, nullptr) << xml;
  xmlNodePtr root = xmlDocGetRootElement(doc);
  EXPECT_STREQ(reinterpret_cast<const char*>(root->name), "HVX_MappingFile");
  EXPECT_EQ(ReadList(root, "WRITER_PARAMETER"), parameters);
  EXPECT_EQ(ReadList(root, "WRITER_DIRECTIVE"), (KeyValueList{{"LOG_OUTPUT", "YES"}}));
  xmlFreeDoc(doc);
}

TEST(JobMappingFile, LivesInATemporaryFileForTheJob) {
  std::string error;
  std::string path;
  {
    auto file = JobMappingFile::Create(JobMappingFile::Render({{"A", "1"}}), error);
    ASSERT_TRUE(file) << error;
    path = file->path();
    xmlDocPtr doc = xmlReadFile(path.c_str(), nullptr, XML_PARSE_NONET);
    ASSERT_NE(doc, nullptr);
    xmlFreeDoc(doc);
  }
  EXPECT_FALSE(std::filesystem::exists(path));
}

}  // namespace
