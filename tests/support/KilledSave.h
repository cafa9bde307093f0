#ifndef TESTS_KILLEDSAVE_H
#define TESTS_KILLEDSAVE_H

#include <cstdint>
#include <functional>
#include <string>

/// Kills saves at random moments: each round runs `save` in a child process and kills it with
/// SIGKILL after a random delay of up to twice the time one save takes (measured first, in
/// this process), so that the kills land before, during and after the write. After every round
/// the file at `path` must hold exactly `before` or what `save` writes; the file's content
/// alternates because `save` is handed the round number. Answers how many children were
/// killed before they finished (the caller checks that some were).
class KilledSave {
 public:
  /// `save(round)` writes the file; even rounds one content, odd rounds the other.
  KilledSave(const std::string& parPath, std::function<void(int)> parSave);

  /// Runs the rounds with gtest expectations on the file's content; answers the number of
  /// children killed before they ended.
  int run(int nbRounds);

 private:
  std::string path;
  std::function<void(int)> save;
};

#endif
