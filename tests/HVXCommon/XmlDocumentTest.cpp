// The DOM under the mapping-file reader: parsing, errors, the node operations, validation, and
// files written to hurt the reader (network addresses, entity bombs, deep nesting, huge texts).
#include <fcntl.h>
#include <gtest/gtest.h>
#include <libxml/globals.h>
#include <libxml/xmlerror.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>

#include "HVXCommon/XmlDocument.h"
#include "HVXCommon/XmlNodeList.h"
#include "support/HostileXml.h"
#include "support/LocalListener.h"
#include "support/TempDir.h"

namespace {

long PeakMemoryKb() {
  rusage usage{};
  ::getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

// Under AddressSanitizer freed memory is held back in a quarantine (256 MiB by default) so that
// late uses of it are caught; what the parser frees there still counts in the peak.
#if defined(__SANITIZE_ADDRESS__)
constexpr long kAllocatorSlackKb = 256 * 1024;
#else
constexpr long kAllocatorSlackKb = 0;
#endif

class XmlDocumentTest : public ::testing::Test {
 protected:
  // Writes content as name and loads it into a new document.
  bool Load(const std::string& name, const std::string& content) {
    TempDir::WriteFile(dir / name, content);
    document = XmlDocument::Create();
    document->SetResolveExternals(true);
    return document->Load(dir / name);
  }

  TempDir dir;
  std::shared_ptr<XmlDocument> document;
};

}  // namespace

TEST_F(XmlDocumentTest, ParseErrorGivesCodeReasonLineAndColumn) {
  EXPECT_FALSE(Load("bad.xml",
                    "<?xml version=\"1.0\"?>\n<HVX_MappingFile>\n  <MACRO Key=\"a\" "
                    "Value=\"b\">\n</HVX_MappingFile>\n"));
  const XmlParseError& error = document->ParseError();
  EXPECT_EQ(error.errorCode, 76);
  EXPECT_EQ(error.reason, "Opening and ending tag mismatch: MACRO line 3 and HVX_MappingFile\n");
  EXPECT_EQ(error.line, 4);
  EXPECT_EQ(error.linePosition, 19);
  EXPECT_FALSE(document->DocumentElement());
}

TEST_F(XmlDocumentTest, MissingFileIsReportedWithItsName) {
  document = XmlDocument::Create();
  EXPECT_FALSE(document->Load(dir / "absent.xml"));
  EXPECT_NE(document->ParseError().errorCode, 0);
  EXPECT_NE(document->ParseError().reason.find("absent.xml"), std::string::npos);
}

TEST_F(XmlDocumentTest, AsynchronousLoadingIsRefused) {
  document = XmlDocument::Create();
  EXPECT_FALSE(document->SetAsync(true));
  EXPECT_TRUE(document->SetAsync(false));
}

TEST_F(XmlDocumentTest, NodeOperations) {
  ASSERT_TRUE(Load("nodes.xml",
                   "<m:HVX_MappingFile xmlns:m=\"urn:m\" xmlns:x=\"urn:x\">"
                   "<!-- note --><A Key=\"k\" x:Key=\"prefixed\">one<B>two<![CDATA[<3>]]></B>"
                   "<!-- not text --><?pi not text?>four</A>text</m:HVX_MappingFile>"));
  XmlNode root = document->DocumentElement();
  EXPECT_EQ(root.BaseName(), "HVX_MappingFile");
  EXPECT_EQ(root.NodeType(), kXmlElementNode);

  XmlNodeList children = root.ChildNodes();
  ASSERT_EQ(children.Count(), 3u);
  EXPECT_EQ(children.Item(0).NodeType(), kXmlCommentNode);
  EXPECT_EQ(children.Item(0).BaseName(), "");
  EXPECT_EQ(children.Item(0).Text(), " note ");
  EXPECT_EQ(children.Item(2).NodeType(), kXmlTextNode);
  EXPECT_EQ(children.Item(2).BaseName(), "");
  EXPECT_FALSE(children.Item(3));

  XmlNode a = children.Item(1);
  EXPECT_EQ(a.BaseName(), "A");
  EXPECT_EQ(a.Text(), "onetwo<3>four");
  EXPECT_EQ(a.Attribute("Key"), "k");
  EXPECT_EQ(a.Attribute("x:Key"), "prefixed");
  EXPECT_EQ(a.Attribute("key"), std::nullopt);
  EXPECT_EQ(children.Item(2).Attribute("Key"), std::nullopt);
  EXPECT_EQ(root.Text(), "onetwo<3>fourtext");
}

TEST_F(XmlDocumentTest, NodesKeepTheirTreeAfterTheDocumentMovesOn) {
  ASSERT_TRUE(Load("first.xml", "<HVX_MappingFile><A>first</A></HVX_MappingFile>"));
  XmlNode a = document->DocumentElement().ChildNodes().Item(0);
  TempDir::WriteFile(dir / "second.xml", "<HVX_MappingFile>second</HVX_MappingFile>");
  ASSERT_TRUE(document->Load(dir / "second.xml"));
  document.reset();
  EXPECT_EQ(a.Text(), "first");
}

TEST_F(XmlDocumentTest, UndeclaredNamespacePrefixIsRefused) {
  EXPECT_FALSE(Load("ns.xml", "<m:HVX_MappingFile/>"));
  EXPECT_NE(document->ParseError().reason.find("Namespace prefix m"), std::string::npos);
}

TEST_F(XmlDocumentTest, DocumentIsValidatedAgainstTheDtdItDeclares) {
  const std::string dtd = "<!ELEMENT HVX_MappingFile (MACRO*)>\n<!ELEMENT MACRO EMPTY>\n"
                          "<!ATTLIST MACRO Key CDATA #REQUIRED Value CDATA \"default\">\n";
  TempDir::WriteFile(dir / "mapping.dtd", dtd);
  EXPECT_TRUE(Load("valid.xml",
                   "<!DOCTYPE HVX_MappingFile SYSTEM \"mapping.dtd\">\n"
                   "<HVX_MappingFile><MACRO Key=\"a\"/></HVX_MappingFile>"));
  // Defaults of the DTD are part of the document.
  EXPECT_EQ(document->DocumentElement().ChildNodes().Item(0).Attribute("Value"), "default");

  EXPECT_FALSE(Load("invalid.xml",
                    "<!DOCTYPE HVX_MappingFile SYSTEM \"mapping.dtd\">\n"
                    "<HVX_MappingFile>\n<MACRO/></HVX_MappingFile>"));
  EXPECT_NE(document->ParseError().errorCode, 0);
  EXPECT_EQ(document->ParseError().line, 3);
  EXPECT_NE(document->ParseError().reason.find("Key"), std::string::npos);

  EXPECT_FALSE(Load("internal.xml",
                    "<!DOCTYPE HVX_MappingFile [<!ELEMENT HVX_MappingFile EMPTY>]>\n"
                    "<HVX_MappingFile><X/></HVX_MappingFile>"));
  // Without a DTD any well-formed content will do.
  EXPECT_TRUE(Load("free.xml", "<HVX_MappingFile><X/><MACRO/></HVX_MappingFile>"));
}

TEST_F(XmlDocumentTest, DocumentIsValidatedAgainstTheSchemaItNames) {
  TempDir::WriteFile(dir / "mapping.xsd",
                     "<xs:schema xmlns:xs=\"http://www.w3.org/2001/XMLSchema\">"
                     "<xs:element name=\"HVX_MappingFile\"><xs:complexType><xs:sequence>"
                     "<xs:element name=\"MAPPING_FILE_ID\" type=\"xs:string\"/>"
                     "</xs:sequence></xs:complexType></xs:element></xs:schema>");
  const std::string head =
      "<HVX_MappingFile xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" "
      "xsi:noNamespaceSchemaLocation=\"mapping.xsd\">";
  EXPECT_TRUE(Load("valid.xml", head + "<MAPPING_FILE_ID>a</MAPPING_FILE_ID></HVX_MappingFile>"));
  EXPECT_FALSE(Load("invalid.xml", head + "<MACRO/></HVX_MappingFile>"));
  EXPECT_NE(document->ParseError().reason.find("MACRO"), std::string::npos);
  EXPECT_EQ(document->ParseError().line, 1);

  EXPECT_FALSE(Load("missing.xml",
                    "<HVX_MappingFile xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" "
                    "xsi:noNamespaceSchemaLocation=\"absent.xsd\"/>"));
  EXPECT_NE(document->ParseError().reason.find("absent.xsd"), std::string::npos);
}

TEST_F(XmlDocumentTest, NetworkAddressesAreNeverContacted) {
  LocalListener listener;
  const std::string dtd = "<!DOCTYPE HVX_MappingFile SYSTEM \"" + listener.Url("x.dtd") + "\">\n";
  EXPECT_FALSE(Load("dtd.xml", dtd + "<HVX_MappingFile/>"));
  EXPECT_EQ(document->ParseError().reason,
            "Attempt to load network entity " + listener.Url("x.dtd"));
  EXPECT_EQ(document->ParseError().line, 1);

  const std::string entity = "<!DOCTYPE HVX_MappingFile [<!ENTITY e SYSTEM \"" +
                             listener.Url("e.txt") + "\">]>\n";
  EXPECT_FALSE(Load("entity.xml", entity + "<HVX_MappingFile>&e;</HVX_MappingFile>"));
  EXPECT_NE(document->ParseError().reason.find(listener.Url("e.txt")), std::string::npos);

  const std::string parameter = "<!DOCTYPE HVX_MappingFile [<!ENTITY % p SYSTEM \"" +
                                listener.Url("p.ent") + "\"> %p;]>\n";
  EXPECT_FALSE(Load("parameter.xml", parameter + "<HVX_MappingFile/>"));

  EXPECT_FALSE(Load("schema.xml",
                    "<HVX_MappingFile xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" "
                    "xsi:schemaLocation=\"urn:other " + listener.Url("m.xsd") + "\"/>"));
  EXPECT_NE(document->ParseError().reason.find(listener.Url("m.xsd")), std::string::npos);

  // A local schema that imports one from the network.
  TempDir::WriteFile(dir / "importing.xsd",
                     "<xs:schema xmlns:xs=\"http://www.w3.org/2001/XMLSchema\">"
                     "<xs:import namespace=\"urn:far\" schemaLocation=\"" +
                         listener.Url("far.xsd") +
                         "\"/><xs:element name=\"HVX_MappingFile\"/></xs:schema>");
  EXPECT_FALSE(Load("import.xml",
                    "<HVX_MappingFile xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" "
                    "xsi:noNamespaceSchemaLocation=\"importing.xsd\"/>"));
  EXPECT_NE(document->ParseError().reason.find(listener.Url("far.xsd")), std::string::npos);

  EXPECT_FALSE(listener.WasContacted());
}

// A FIFO that nobody writes to: opening it for reading waits for a writer for ever. Should a
// reader ever wait, the FIFO is opened for writing after a few seconds, so that a regression fails
// the test instead of hanging it.
class LonelyFifo {
 public:
  explicit LonelyFifo(const std::string& path) : path_(path) {
    ::mkfifo(path_.c_str(), 0600);
    rescue_ = std::jthread([this](std::stop_token stop) {
      for (int i = 0; i < 50 && !stop.stop_requested(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
      int fd = ::open(path_.c_str(), O_WRONLY | O_NONBLOCK);
      if (fd >= 0) ::close(fd);
    });
  }

 private:
  std::string path_;
  std::jthread rescue_;
};

struct SpecialFileCase {
  const char* name;
  std::string (*document)(const std::string& special);  // the mapping file naming it
};
void PrintTo(const SpecialFileCase& c, std::ostream* out) { *out << c.name; }

std::string ExternalEntity(const std::string& file) {
  return "<!DOCTYPE HVX_MappingFile [<!ENTITY e SYSTEM \"" + file +
         "\">]>\n<HVX_MappingFile>&e;</HVX_MappingFile>";
}

class SpecialFileTest : public XmlDocumentTest,
                        public ::testing::WithParamInterface<SpecialFileCase> {};

TEST_P(SpecialFileTest, IsRefusedWithoutWaiting) {
  const std::string fifo = dir / "fifo";
  LonelyFifo lonely(fifo);
  const bool stdinCase = std::string(GetParam().name).ends_with("stdin");
  struct stat input {};
  if (stdinCase && ::stat("/dev/stdin", &input) == 0 && S_ISREG(input.st_mode))
    GTEST_SKIP() << "standard input is a regular file here";
  const std::string special = stdinCase ? "/dev/stdin" : fifo;
  const std::string xml = GetParam().document(special);
  const auto start = std::chrono::steady_clock::now();
  if (xml.empty()) {  // the mapping file itself
    document = XmlDocument::Create();
    EXPECT_FALSE(document->Load(special));
  } else {
    EXPECT_FALSE(Load("job.xml", xml));
  }
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
  EXPECT_NE(document->ParseError().reason.find("not a regular file"), std::string::npos)
      << document->ParseError().reason;
}

INSTANTIATE_TEST_SUITE_P(
    XmlDocumentTest, SpecialFileTest,
    ::testing::Values(
        SpecialFileCase{"mapping_file", [](const std::string&) { return std::string(); }},
        SpecialFileCase{"dtd",
                        [](const std::string& f) {
                          return "<!DOCTYPE HVX_MappingFile SYSTEM \"" + f +
                                 "\">\n<HVX_MappingFile/>";
                        }},
        SpecialFileCase{"external_entity", ExternalEntity},
        SpecialFileCase{"parameter_entity",
                        [](const std::string& f) {
                          return "<!DOCTYPE HVX_MappingFile [<!ENTITY % p SYSTEM \"" + f +
                                 "\"> %p;]>\n<HVX_MappingFile/>";
                        }},
        SpecialFileCase{"schema",
                        [](const std::string& f) {
                          return "<HVX_MappingFile "
                                 "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" "
                                 "xsi:noNamespaceSchemaLocation=\"" +
                                 f + "\"/>";
                        }},
        SpecialFileCase{"entity_of_stdin", ExternalEntity}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(XmlDocumentTest, EntityBombsAreRefusedWithoutExhaustingMemory) {
  const long before = PeakMemoryKb();
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(Load("laughs.xml", BillionLaughs()));
  EXPECT_NE(document->ParseError().errorCode, 0);

  // One large entity used many times: linear in the file, quadratic in memory once expanded.
  std::string quadratic = "<!DOCTYPE HVX_MappingFile [<!ENTITY a \"" + std::string(100000, 'x') +
                          "\">]>\n<HVX_MappingFile><MAPPING_FILE_ID>";
  for (int i = 0; i < 20000; ++i) quadratic += "&a;";
  EXPECT_FALSE(Load("quadratic.xml", quadratic + "</MAPPING_FILE_ID></HVX_MappingFile>"));

  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
  EXPECT_LT(PeakMemoryKb() - before, 200 * 1024 + kAllocatorSlackKb);
}

TEST_F(XmlDocumentTest, DeepNestingIsRefusedAndAllowedDepthsAreWalked) {
  EXPECT_FALSE(Load("deep.xml", DeepNesting(100000)));
  EXPECT_NE(document->ParseError().reason.find("depth"), std::string::npos);

  std::string nested = "<HVX_MappingFile>";
  for (int i = 0; i < 200; ++i) nested += "<a>" + std::to_string(i % 10);
  for (int i = 0; i < 200; ++i) nested += "</a>";
  ASSERT_TRUE(Load("nested.xml", nested + "</HVX_MappingFile>"));
  EXPECT_EQ(document->DocumentElement().Text().size(), 200u);
}

TEST_F(XmlDocumentTest, HugeTextsAreReadOrRefusedWhole) {
  std::string pieces = "<HVX_MappingFile>";
  for (int i = 0; i < 12000; ++i) pieces += std::string(1000, 'x') + "<b/>";
  ASSERT_TRUE(Load("pieces.xml", pieces + "</HVX_MappingFile>"));
  EXPECT_EQ(document->DocumentElement().Text().size(), 12000000u);

  EXPECT_FALSE(Load("single.xml",
                    "<HVX_MappingFile>" + std::string(12000000, 'x') + "</HVX_MappingFile>"));
  EXPECT_NE(document->ParseError().reason.find("huge text node"), std::string::npos);
}

TEST_F(XmlDocumentTest, ErrorHandlingLeavesNothingBehind) {
  static int foreignErrors = 0;
  auto foreign = [](void*, xmlErrorPtr) { ++foreignErrors; };
  xmlSetStructuredErrorFunc(nullptr, foreign);
  EXPECT_FALSE(Load("bad.xml", "<HVX_MappingFile><A></HVX_MappingFile>"));
  EXPECT_EQ(document->ParseError().errorCode, 76);
  EXPECT_EQ(foreignErrors, 0);
  EXPECT_EQ(xmlStructuredError, static_cast<xmlStructuredErrorFunc>(foreign));
  xmlSetStructuredErrorFunc(nullptr, nullptr);

  // The next load starts without the errors of the last one.
  EXPECT_TRUE(Load("good.xml", "<HVX_MappingFile/>"));
  EXPECT_EQ(document->ParseError().errorCode, 0);
}
