#ifndef TESTS_TESTGAME_H
#define TESTS_TESTGAME_H

#include <string>
#include <vector>

#include "TempDir.h"

/// A game directory of its own for running the engine program: the sample configuration, an
/// empty world, the engine's and the world scene's assets linked in, and the script under test.
class TestGame {
 public:
  explicit TestGame(const std::string& script);

  /// Runs the engine program in the directory; standard output is kept, standard error goes to
  /// a file. Without a display the program gets a private X server. `environment` is put before
  /// the command ("NAME=value ..."). The exit status, or -1 when the program did not exit.
  int run(const std::string& environment = "");
  /// The lines of standard output that start with one of the prefixes, in order.
  std::vector<std::string> lines(const std::vector<std::string>& prefixes) const;
  std::string errors() const;

  TempDir dir;
  std::string output;
};

#endif
