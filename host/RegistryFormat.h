#pragma once
// The text form of the registry file, meant to be read (and, with care, edited) by people:
//
//   geodem registry 1
//   [CLSID\{54323F89-AD68-479B-97A1-04A03953E1CC}\InprocServer32]
//   @="/usr/lib/geodem/libHVXOGEODEMWriter.so"
//   "ThreadingModel"="Apartment"
//
// The first line identifies the file. Every key has a header line with its path, followed by its
// values, "@" naming the default value; lines starting with ';' or '#' and blank lines are skipped.
// The file is UTF-8: GBK text is converted, and what does not convert both ways unchanged is
// written byte for byte as an escape, so that any value survives. Quoted names and values escape
// \\ \" \n \r \t and other bytes as \xHH; key names in headers escape '%' and control bytes as %HH
// (a key name can hold no backslash, which separates the names of a path).
#include <string>
#include <string_view>

#include "host/RegistryTree.h"

class RegistryFormat {
 public:
  static constexpr std::string_view kSignature = "geodem registry 1";

  static std::string Write(const RegistryTree& tree);
  // Throws RegistryError (ERROR_BADDB) naming `source` and the line for text that is no registry.
  // Empty text is an empty registry.
  static RegistryTree Read(std::string_view text, const std::string& source);
};
