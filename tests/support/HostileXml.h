#pragma once
// Mapping files written to hurt an XML reader.
#include <string>

// Nine levels of entities, ten references each: "lol" 10^9 times once expanded.
inline std::string BillionLaughs() {
  std::string xml = "<?xml version=\"1.0\"?>\n<!DOCTYPE HVX_MappingFile [\n<!ENTITY l0 \"lol\">\n";
  for (int i = 1; i <= 9; ++i) {
    xml += "<!ENTITY l" + std::to_string(i) + " \"";
    for (int k = 0; k < 10; ++k) xml += "&l" + std::to_string(i - 1) + ";";
    xml += "\">\n";
  }
  return xml + "]>\n<HVX_MappingFile><MAPPING_FILE_ID>&l9;</MAPPING_FILE_ID></HVX_MappingFile>\n";
}

// A root holding `depth` elements, each inside the one before.
inline std::string DeepNesting(int depth) {
  std::string xml = "<HVX_MappingFile>";
  for (int i = 0; i < depth; ++i) xml += "<a>";
  for (int i = 0; i < depth; ++i) xml += "</a>";
  return xml + "</HVX_MappingFile>";
}
