#include "scene/PassTimings.h"

#include <GL/glew.h>

#include <algorithm>
#include <cstdlib>

#include "Platform.h"

PassTimings::PassTimings() {
  const char* setting = std::getenv("ENGINE_PASS_TIMINGS");
  isEnabled = setting != nullptr && setting[0] != '\0';
}

void PassTimings::start() {
  if (!isEnabled) return;
  glFinish();
  lastWall = Platform::getMicroseconds();
  lastCpu = Platform::getProcessCpuMicroseconds();
}

void PassTimings::endPass(Pass pass) {
  if (!isEnabled) return;
  glFinish();
  const int64_t wall = Platform::getMicroseconds();
  const int64_t cpu = Platform::getProcessCpuMicroseconds();
  wallTimes[pass].push_back(wall - lastWall);
  cpuTimes[pass].push_back(cpu - lastCpu);
  lastWall = wall;
  lastCpu = cpu;
}

void PassTimings::continuePass(Pass pass) {
  if (!isEnabled) return;
  if (wallTimes[pass].empty()) {
    endPass(pass);
    return;
  }
  const int64_t previousWall = wallTimes[pass].back(), previousCpu = cpuTimes[pass].back();
  wallTimes[pass].pop_back();
  cpuTimes[pass].pop_back();
  endPass(pass);
  wallTimes[pass].back() += previousWall;
  cpuTimes[pass].back() += previousCpu;
}

void PassTimings::add(Pass pass, int64_t wallMicroseconds, int64_t cpuMicroseconds) {
  if (!isEnabled) return;
  wallTimes[pass].push_back(wallMicroseconds);
  cpuTimes[pass].push_back(cpuMicroseconds);
}

int64_t PassTimings::median(const std::vector<int64_t>& samples) {
  if (samples.empty()) return 0;
  std::vector<int64_t> sorted = samples;
  const size_t middle = (sorted.size() - 1) / 2;
  std::nth_element(sorted.begin(), sorted.begin() + static_cast<std::ptrdiff_t>(middle), sorted.end());
  return sorted[middle];
}

const char* PassTimings::getName(Pass pass) {
  static const char* const names[nbPasses] = {"manage", "clear",    "skybox",    "regions",  "player",
                                              "water",  "script3D", "overlay2D", "script2D", "swap"};
  return names[pass];
}

void PassTimings::print(std::ostream& out) const {
  GLint nbSamplesPerPixel = 0;
  glGetIntegerv(GL_SAMPLES, &nbSamplesPerPixel);
  out << "Pass timings over " << wallTimes[clear].size()
      << " frames (medians in microseconds, wall / processor; " << nbSamplesPerPixel
      << " samples per pixel):\n";
  for (int i = 0; i < nbPasses; ++i) {
    const Pass pass = static_cast<Pass>(i);
    out << "  " << getName(pass) << ": " << getMedianWall(pass) << " / " << getMedianCpu(pass) << "\n";
  }
  out.flush();
}
