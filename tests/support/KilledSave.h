#ifndef TESTS_KILLEDSAVE_H
#define TESTS_KILLEDSAVE_H

#include <cstdint>
#include <functional>
#include <string>

/// Kills saves at random moments: each round runs `save` in a child process and kills it with
/// SIGKILL after a random delay of up to the time one save takes (measured first, in this
/// process; shortened whenever a child finishes before its kill), so that the kills land while
/// the file is encoded, written and replaced. After every round the file at `path` must hold
/// exactly one of the two contents `save` writes: it is handed the round number and writes one
/// content in even rounds and the other in odd rounds.
class KilledSave {
 public:
  /// `save(round)` writes the file; even rounds one content, odd rounds the other.
  KilledSave(const std::string& parPath, std::function<void(int)> parSave);

  /// Runs rounds with gtest expectations on the file's content until `nbKills` children were
  /// killed before they ended (at most 4 * nbKills rounds); answers how many were.
  int run(int nbKills);

 private:
  std::string path;
  std::function<void(int)> save;
};

#endif
