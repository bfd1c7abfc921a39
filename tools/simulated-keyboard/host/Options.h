// The command line of the simulated-keyboard program:
//   simulated-keyboard [options] -- COMMAND [ARG...]
// Parsing knows nothing of umockdev, so it is tested on its own.
#pragma once

#include <span>
#include <string>
#include <vector>

#include "SimulatedKeyboard.h"

namespace simkbd {

class Options {
 public:
  // The first keyboard is configured by the options; --add-keyboard adds the
  // others with the defaults of their size and the versions it names.
  std::vector<KeyboardConfig> keyboards;
  std::string reportPath;             // empty: no report
  std::vector<std::string> command;   // what runs with the keyboards attached
  bool help = false;                  // --help: print usage() and stop

  // Parses the arguments after the program name. Returns false with a
  // one-line `error` when they are not a valid command line.
  static bool parse(std::span<const std::string> arguments, Options& options, std::string& error);
  static std::string usage();
};

}  // namespace simkbd
