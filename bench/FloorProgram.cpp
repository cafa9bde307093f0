// The flyover benchmark's floor (started by scripts/flyover from game/): the engine's window,
// opened as the engine opens it (800 x 600, the configuration file given, the same frame step
// with its buffer swap and 10 ms frame cap), drawing per frame nothing but one textured quad
// over the whole window (the sample sky's front image, filtered as the engine filters it, no
// blending, alpha test or fog) after a depth clear: the least a frame of the engine can cost
// on this machine. It hovers FLYOVER_WARMUP_MS milliseconds, then times FLYOVER_FLIGHT_MS
// milliseconds of frames and prints the line that bench/flyover.lua prints:
//   flyover: frames N median M p95 P worst W cpu C (milliseconds)
// C is the median processor time of a frame, all threads of the process together.
//
// Usage: flyover_floor [CONFIGURATION_FILE]   (default world.xml)

#include <GL/glew.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "DeviceManager.h"
#include "GLManager.h"
#include "ImageLoader.h"
#include "Platform.h"
#include "Sprite.h"
#include "SpriteManager.h"

namespace {

int64_t setting(const char* name, int64_t fallback) {
  const char* text = std::getenv(name);
  return text != nullptr && text[0] != '\0' ? std::atoll(text) : fallback;
}

// The element of rank ceil(q x n) of the sorted list, as the flight's script takes it.
double quantile(const std::vector<int64_t>& sorted, double q) {
  const size_t rank = std::max<size_t>(1, static_cast<size_t>(std::ceil(q * static_cast<double>(sorted.size()))));
  return static_cast<double>(sorted[rank - 1]);
}

void drawFloorFrame(int texture) {
  glClear(GL_DEPTH_BUFFER_BIT);
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  glDisable(GL_BLEND);
  glDisable(GL_ALPHA_TEST);
  glDisable(GL_FOG);
  glDisable(GL_LIGHTING);
  glDisable(GL_CULL_FACE);
  glEnable(GL_DEPTH_TEST);
  glEnable(GL_TEXTURE_2D);
  glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
  glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(texture));
  glColor4ub(255, 255, 255, 255);
  glBegin(GL_QUADS);
  glTexCoord2f(0.f, 0.f);
  glVertex3f(-1.f, -1.f, 0.5f);
  glTexCoord2f(1.f, 0.f);
  glVertex3f(1.f, -1.f, 0.5f);
  glTexCoord2f(1.f, 1.f);
  glVertex3f(1.f, 1.f, 0.5f);
  glTexCoord2f(0.f, 1.f);
  glVertex3f(-1.f, 1.f, 0.5f);
  glEnd();
}

}  // namespace

int main(int argc, char** argv) {
  const std::string configuration = argc > 1 ? argv[1] : "world.xml";
  const int64_t warmupMs = setting("FLYOVER_WARMUP_MS", 5000);
  const int64_t flightMs = setting("FLYOVER_FLIGHT_MS", 20000);
  DeviceManager::createInstance(argv[0], "", 800, 600, false, configuration);
  SpriteManager* registry = GLManager::getSpriteManager();
  Sprite* sky = registry->createSprite("skybox/front.png", 1);
  const int texture = sky->getImages()[0]->getTexture();

  std::vector<int64_t> periods, cpuPeriods;
  const int64_t start = Platform::getMicroseconds();
  bool isFlying = false;
  int64_t lastWall = start, lastCpu = Platform::getProcessCpuMicroseconds();
  for (;;) {
    drawFloorFrame(texture);
    GLManager::manageEvents();
    const int64_t now = Platform::getMicroseconds();
    const int64_t cpu = Platform::getProcessCpuMicroseconds();
    const int64_t elapsedMs = (now - start) / 1000;
    if (isFlying) {
      periods.push_back(now - lastWall);
      cpuPeriods.push_back(cpu - lastCpu);
    } else if (elapsedMs >= warmupMs) {
      isFlying = true;
      std::printf("flyover: flight starts\n");
    }
    lastWall = now;
    lastCpu = cpu;
    if (elapsedMs >= warmupMs + flightMs) break;
  }

  std::sort(periods.begin(), periods.end());
  std::sort(cpuPeriods.begin(), cpuPeriods.end());
  if (periods.empty())
    std::printf("flyover: frames 0 median 0 p95 0 worst 0 cpu 0\n");
  else
    std::printf("flyover: frames %zu median %.2f p95 %.2f worst %.2f cpu %.2f\n", periods.size(),
                quantile(periods, 0.5) / 1000.0, quantile(periods, 0.95) / 1000.0,
                static_cast<double>(periods.back()) / 1000.0, quantile(cpuPeriods, 0.5) / 1000.0);
  std::fflush(stdout);
  registry->deleteSprite(sky);
  DeviceManager::destroyInstance();
  return 0;
}
