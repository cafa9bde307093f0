#ifndef TESTS_GLTESTWINDOW_H
#define TESTS_GLTESTWINDOW_H

#include <array>
#include <memory>
#include <vector>

class DeviceManager;
class IndexedWorld;
class VBO;

/// The real engine window for GL tests (run them under Xvfb). It is opened once per test
/// process, 800 x 600 windowed, and stays open until the process ends; death-test children
/// open their own.
class GLTestWindow {
 public:
  /// Opens the window on first use (DeviceManager::createInstance) and returns the device
  /// manager, whose GL context is current.
  static DeviceManager* get();

  /// RGBA bytes of the back buffer (what was drawn since the last swap), rows bottom-up as
  /// OpenGL counts them: (x, y) is the lower left corner in window pixels.
  static std::vector<unsigned char> readPixels(int x, int y, int width, int height);
  /// RGBA of one pixel of the back buffer in 2D coordinates (origin top left, y downward,
  /// window pixels).
  static std::array<unsigned char, 4> readPixel2D(int x, int y);
  /// What a finished vertex buffer set holds on the GL side, read back: for every buffer in
  /// draw order its texture, kind and vertex count, then its vertex and texture-coordinate
  /// bytes. Two meshes drawn the same have equal answers.
  static std::vector<unsigned char> readUploadedMesh(const VBO& vbo);
  /// Sets the window's configuration for small worlds (regions of 8 cubes of edge 1, no fast
  /// shadows) and answers a new empty world made with it, without cube types.
  static std::unique_ptr<IndexedWorld> openSmallEmptyWorld();
  /// Saves the GL state and both matrices, then sets plain textured drawing in white: no fog,
  /// lighting, blending, depth test or culling, a projection over the window's 800 x 600 pixels
  /// (depth -1 to 1) and an identity modelview. popPlainDrawing puts everything back.
  static void pushPlainDrawing();
  static void popPlainDrawing();
};

#endif
