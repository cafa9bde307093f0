#include "Screenshot.h"

#include <GL/gl.h>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <vector>

#include "AtomicFileWriter.h"
#include "GLManager.h"
#include "Platform.h"
#include "PngWriter.h"
#include "Assert.h"

std::string Screenshot::fileName(int64_t seconds, int64_t microseconds) {
  const std::time_t time = static_cast<std::time_t>(seconds);
  std::tm local{};
  localtime_r(&time, &local);
  char name[64];
  std::snprintf(name, sizeof name, "screenshot-%04d%02d%02d-%02d%02d%02d-%03d.png", local.tm_year + 1900,
                local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec,
                static_cast<int>(microseconds / 1000));
  return name;
}

std::string Screenshot::saveWindow(const std::string& directory) {
  const int width = GLManager::getWindowWidth();
  const int height = GLManager::getWindowHeight();
  if (width <= 0 || height <= 0) return "";
  std::vector<unsigned char> pixels(static_cast<size_t>(width) * height * 3);
  glPushClientAttrib(GL_CLIENT_PIXEL_STORE_BIT);
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glPixelStorei(GL_PACK_ROW_LENGTH, 0);
  glReadBuffer(GL_BACK);
  glReadPixels(0, 0, width, height, GL_RGB, GL_UNSIGNED_BYTE, pixels.data());
  glPopClientAttrib();

  // OpenGL counts rows from the bottom, PNG from the top.
  const size_t rowBytes = static_cast<size_t>(width) * 3;
  for (int y = 0; y < height / 2; ++y)
    std::swap_ranges(&pixels[y * rowBytes], &pixels[(y + 1) * rowBytes], &pixels[(height - 1 - y) * rowBytes]);

  int64_t seconds = 0;
  int64_t microseconds = 0;
  Platform::getWallClock(seconds, microseconds);
  const std::string path = directory + "/" + fileName(seconds, microseconds);
  std::string reason = "cannot create the directory '" + directory + "'";
  if (Platform::makeDirectory(directory)) {
    // Crash-safe like every file the engine writes: never a half-written picture.
    AtomicFileWriter out(path);
    if (out.getStream() != nullptr && writePng(out.getStream(), pixels.data(), width, height, 3) && out.commit())
      return path;
    reason = out.isOk() ? "the image could not be encoded" : out.getProblem();
  }
  showProblem("Cannot write the screenshot '" + path + "': " + reason);
  return "";
}
