#include "GLTestWindow.h"

#include <GL/gl.h>

#include "DeviceManager.h"
#include "GLManager.h"

DeviceManager* GLTestWindow::get() {
  if (DeviceManager::getInstance() == nullptr)
    DeviceManager::createInstance("enginetest", "", 800, 600, false);
  return DeviceManager::getInstance();
}

std::vector<unsigned char> GLTestWindow::readPixels(int x, int y, int width, int height) {
  std::vector<unsigned char> pixels(static_cast<size_t>(width) * height * 4);
  glPushClientAttrib(GL_CLIENT_PIXEL_STORE_BIT);
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glPixelStorei(GL_PACK_ROW_LENGTH, 0);
  glReadBuffer(GL_BACK);
  glReadPixels(x, y, width, height, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
  glPopClientAttrib();
  return pixels;
}

std::array<unsigned char, 4> GLTestWindow::readPixel2D(int x, int y) {
  const std::vector<unsigned char> pixel =
      readPixels(x, GLManager::getWindowHeight() - 1 - y, 1, 1);
  return {pixel[0], pixel[1], pixel[2], pixel[3]};
}
