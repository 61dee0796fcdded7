#pragma once
// The geodem program: parses the command line and runs the command it names.
#include <ostream>

class GeodemApp {
 public:
  GeodemApp(std::ostream& out, std::ostream& err) : out_(out), err_(err) {}
  int Run(int argc, const char* const* argv);

 private:
  int Register(bool unregister, bool system, bool quiet);

  std::ostream& out_;
  std::ostream& err_;
};
