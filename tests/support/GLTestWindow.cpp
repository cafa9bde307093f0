#include "GLTestWindow.h"

#include <GL/glew.h>

#include <cstring>

#include "meshing/CubesTable.h"
#include "DeviceManager.h"
#include "GLManager.h"
#include "world/IndexedWorld.h"
#include "TempDir.h"
#include "VBO.h"

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

std::vector<unsigned char> GLTestWindow::readUploadedMesh(const VBO& vbo) {
  std::vector<unsigned char> mesh;
  const auto append = [&mesh](const void* data, size_t bytes) {
    const size_t at = mesh.size();
    mesh.resize(at + bytes);
    if (bytes > 0) std::memcpy(mesh.data() + at, data, bytes);
  };
  const auto appendBuffer = [&mesh, &append](unsigned int name) {
    GLint bytes = 0;
    glBindBufferARB(GL_ARRAY_BUFFER_ARB, name);
    glGetBufferParameterivARB(GL_ARRAY_BUFFER_ARB, GL_BUFFER_SIZE_ARB, &bytes);
    append(&bytes, sizeof bytes);
    const size_t at = mesh.size();
    mesh.resize(at + (size_t)bytes);
    if (bytes > 0) glGetBufferSubDataARB(GL_ARRAY_BUFFER_ARB, 0, bytes, mesh.data() + at);
  };
  for (const auto& buffer : vbo.getBuffers()) {
    append(&buffer->textureId, sizeof buffer->textureId);
    append(&buffer->isQuads, sizeof buffer->isQuads);
    append(&buffer->nbVertices, sizeof buffer->nbVertices);
    appendBuffer(buffer->vboVertices);
    appendBuffer(buffer->vboTexCoords);
  }
  glBindBufferARB(GL_ARRAY_BUFFER_ARB, 0);
  return mesh;
}

std::unique_ptr<IndexedWorld> GLTestWindow::openSmallEmptyWorld() {
  XMLSimple& config = get()->getConfig();
  config.setInt("size_one_region", 8);
  config.setDouble("size_one_cube", 1.0);
  config.setBool("fast_shadows", false);
  CubesTable::setSizeOneCube(1.f);
  return std::unique_ptr<IndexedWorld>(new IndexedWorld(emptyWorldFile()));
}

void GLTestWindow::pushPlainDrawing() {
  glPushAttrib(GL_ALL_ATTRIB_BITS);
  glDisable(GL_FOG);
  glDisable(GL_LIGHTING);
  glDisable(GL_BLEND);
  glDisable(GL_DEPTH_TEST);
  glDisable(GL_CULL_FACE);
  glEnable(GL_TEXTURE_2D);
  glColor4f(1.f, 1.f, 1.f, 1.f);
  glMatrixMode(GL_PROJECTION);
  glPushMatrix();
  glLoadIdentity();
  glOrtho(0, 800, 0, 600, -1, 1);
  glMatrixMode(GL_MODELVIEW);
  glPushMatrix();
  glLoadIdentity();
}

void GLTestWindow::popPlainDrawing() {
  glMatrixMode(GL_PROJECTION);
  glPopMatrix();
  glMatrixMode(GL_MODELVIEW);
  glPopMatrix();
  glPopAttrib();
}
