#pragma once
// SIGINT and SIGTERM while geodem converts: instead of dying with half-written files, geodem stops
// at the next safe point (between blocks; the writer between the rows of a grid file, through the
// host's stop request), removes what the run began and exits 128 + the signal's number. A second
// signal, either one in either order, ends the process at once, for a stop that does not come.
//
// One object installs the handlers for its lifetime and restores the earlier ones after.
#include <signal.h>

class Interruption {
 public:
  Interruption();
  ~Interruption();
  Interruption(const Interruption&) = delete;
  Interruption& operator=(const Interruption&) = delete;

  // The signal that asked to stop, 0 while none did.
  static int Signal();
  // "interrupted by SIGINT" and the exit status that goes with it.
  static const char* Text();
  static int ExitStatus();

 private:
  struct sigaction m_saved[2];  // SIGINT's and SIGTERM's before
};
