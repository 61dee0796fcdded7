#pragma once
// A grid file sent to standard output (DST "-" or "/dev/stdout"), whatever standard output is: a
// pipe, a file, a socket. The writer makes its grid file as always, in a folder of its own in the
// temporary folder, where its side files live too; once the grid file is complete its bytes are
// copied to standard output: nothing goes out before the grid file is complete.
// The folder goes with this object.
#include <memory>
#include <string>

class StandardOutput {
 public:
  // Whether the destination as typed names standard output.
  static bool Named(const std::string& destination);
  // The folder for the grid file; null and a reason (with what to do) when standard output is a
  // terminal or the folder cannot be made.
  static std::unique_ptr<StandardOutput> Create(std::string& error);
  ~StandardOutput();
  StandardOutput(const StandardOutput&) = delete;
  StandardOutput& operator=(const StandardOutput&) = delete;

  // Where the writer makes the grid file.
  const std::string& gridPath() const { return gridPath_; }
  // Copies the grid file to standard output; false and the system's reason when that fails (a
  // reader that went away: "Broken pipe").
  bool Deliver(std::string& error) const;

 private:
  explicit StandardOutput(std::string folder);

  std::string folder_;
  std::string gridPath_;
};
