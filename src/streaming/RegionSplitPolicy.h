#ifndef REGIONSPLITPOLICY_H
#define REGIONSPLITPOLICY_H

#include <cstdint>

/// Whether the streaming may share its next region build with the worker. A shared build pays
/// only while the worker runs beside the main thread; when the process gets about one
/// processor (a busy machine, or one core), the two threads take turns and a shared build costs
/// more than a serial one. That shows as a main thread that got little processor time during its
/// shared build: sharing then pauses for some builds, after which one shared build probes again.
class RegionSplitPolicy {
 public:
  /// Builds made without sharing after a shared build that did not pay.
  static constexpr int pausedBuilds = 16;
  /// A shared build pays when the main thread had at least this share of its wall time.
  static constexpr double minMainThreadShare = 0.7;
  /// Shorter builds are not judged: waking the worker alone weighs on them.
  static constexpr int64_t minJudgedMicroseconds = 2000;

  bool maySplit() const { return buildsToPause == 0; }
  /// One build done: whether it was shared, its wall time and the main thread's processor time
  /// during it.
  void recordBuild(bool wasSplit, int64_t wallMicroseconds, int64_t mainThreadMicroseconds);

 private:
  int buildsToPause = 0;
};

#endif
