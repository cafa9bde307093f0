#include "streaming/RegionSplitPolicy.h"

void RegionSplitPolicy::recordBuild(bool wasSplit, int64_t wallMicroseconds, int64_t mainThreadMicroseconds) {
  if (!wasSplit) {
    if (buildsToPause > 0) --buildsToPause;
    return;
  }
  if (wallMicroseconds >= minJudgedMicroseconds &&
      (double)mainThreadMicroseconds < minMainThreadShare * (double)wallMicroseconds)
    buildsToPause = pausedBuilds;
}
