#pragma once
// Writes mapping files into a fresh folder, loads them and captures what the reader logs.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "HVXCommon/MappingFile.h"
#include "host/CodePage.h"
#include "support/EventCapture.h"
#include "support/TempDir.h"

// Test texts are written in UTF-8; the reader's strings are GBK.
inline std::string Gbk(const std::string& utf8) { return Utf8ToGbk(utf8); }

// A mapping file whose root holds body.
inline std::string MappingXml(const std::string& body) {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<HVX_MappingFile>\n" + body +
         "\n</HVX_MappingFile>\n";
}

// The exception line of the reader, as raised by one of its guards.
inline bool IsExceptionLine(const CapturedLog& log) {
  const std::string text = log.Utf8();
  const std::string head = "出现异常，位于代码文件 HVXCommon/MappingFile.cpp 的第 ";
  const std::string tail = " 行";
  return log.level == 3 && log.code == 0x304e0 && text.rfind(head, 0) == 0 &&
         text.size() > head.size() + tail.size() &&
         text.compare(text.size() - tail.size(), tail.size(), tail) == 0 &&
         text.find_first_not_of("0123456789", head.size()) == text.size() - tail.size();
}

class MappingFileTest : public ::testing::Test {
 protected:
  // Writes content as name in the test's folder and returns its path.
  std::string Write(const std::string& name, const std::string& content) {
    std::string file = dir / name;
    TempDir::WriteFile(file, content);
    return file;
  }
  // Writes xml, points the mapping file at it and loads it.
  int LoadXml(const std::string& xml, const std::string& name = "job.xml") {
    mapping.path = Write(name, xml);
    return mapping.Load();
  }
  int LoadBody(const std::string& body) { return LoadXml(MappingXml(body)); }

  // What the reader logged besides the line that opens the file, in UTF-8.
  std::vector<std::string> Messages() const {
    std::vector<std::string> out;
    for (const CapturedLog& log : events.logs) {
      if (log.code != 0x30410) out.push_back(log.Utf8());
    }
    return out;
  }
  std::string MissingMacro(const std::string& name) const {
    return "映射文件中找不到宏定义：" + name;
  }

  TempDir dir;
  EventCapture events;
  MappingFile mapping;
};
