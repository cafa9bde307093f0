#ifndef COREKIT_GLMANAGER_H
#define COREKIT_GLMANAGER_H

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "BasicVector.h"
#include "MouseEvent.h"

class KeyboardManager;
class Scene2D;
class Scene3D;
class SpriteManager;

/// The window, its input, frame pacing and the global OpenGL objects (3D scene, 2D screen,
/// texture registry). The state is class-wide: one window per process. DeviceManager derives
/// from it and is the only way to create it; everything else uses the static accessors.
class GLManager {
 public:
  static constexpr int nbMouseButtons = 5;
  /// The frame step never reports a longer period than this (microseconds).
  static constexpr int64_t maxPeriodDuration = 200000;
  /// Shortest frame the frame step lets pass (microseconds).
  static constexpr int64_t minFrameDuration = 10000;

  /// Deletes the texture registry (no sprite may remain: fatal report otherwise), the 2D
  /// screen, the 3D scene and the keyboard manager.
  virtual ~GLManager();
  GLManager(const GLManager&) = delete;
  GLManager& operator=(const GLManager&) = delete;

  /// The frame step, once per frame after drawing: follows a resized window, empties the key
  /// and mouse lists, holds the frame to at least 10 ms, swaps buffers, pumps window events
  /// once (the input callbacks run here) and measures the period. Returns the microseconds
  /// spent in the buffer swap.
  static int manageEvents();
  /// Microseconds between the last two event pumps, at most 200000.
  static int64_t getPeriodDuration() { return periodDuration; }

  /// Size the viewport was last set to (window pixels).
  static Int2 getWindowSize() { return windowSize; }
  static int getWindowWidth() { return windowSize.x(); }
  static int getWindowHeight() { return windowSize.y(); }
  /// Logs "Rescaling to (w,h)", sets the viewport, the 2D screen and the 3D aspect ratio.
  static void resize(int width, int height);

  static KeyboardManager* getKeyboardManager() { return keyboardManager.get(); }
  static SpriteManager* getSpriteManager() { return spriteManager.get(); }
  static Scene2D* getScene2D() { return scene2D.get(); }
  static Scene3D* getScene3D() { return scene3D.get(); }

  /// Button slot 0..4 (left, middle, right, wheel up, wheel down) held; false outside 0..4.
  static bool isMouseButtonDown(int slot);
  /// Last position reported by a motion, window pixels.
  static Int2 getMousePosition() { return mousePosition; }
  /// The same in 2D coordinates.
  static Int2 getMousePosition2D() { return mousePosition2D; }
  /// Mouse events received since the last frame step, in order.
  static const std::vector<MouseEvent>& getMouseEvents() { return mouseEvents; }

  /// Window-system mouse callbacks, public so that tests can inject events.
  /// state: GLUT_DOWN (0) or GLUT_UP (1); a button number outside 0..4 uses slot 0.
  static void mouseButton(int button, int state, int x, int y);
  static void mouseMotion(int x, int y);
  static void mousePassiveMotion(int x, int y);

  /// Full screen at that size (sets the fullscreen flag for good).
  static void setFullscreen(int width, int height);
  /// Windowed at that size, placed at (10, 10).
  static void setWindowed(int width, int height);
  /// True once full-screen mode was entered; never cleared.
  static bool isFullscreen() { return isFullscreenMode; }

  /// Frame cap: milliseconds to sleep when `elapsedMicroseconds` passed since the last pump
  /// (10 - elapsed / 1000, truncated), 0 from 10 ms on.
  static int computeFrameSleepMs(int64_t elapsedMicroseconds);
  /// A measured period, capped at 200000 microseconds.
  static int64_t capPeriodDuration(int64_t measuredMicroseconds);
  /// Whether this renderer smooths polygons: draws one smoothed triangle into a small
  /// off-screen buffer and looks for partly covered pixels (true when it cannot try). The
  /// window keeps GL_POLYGON_SMOOTH on only when this holds and it has no multisampling.
  static bool isPolygonSmoothingEffective();

 protected:
  GLManager() = default;
  /// Opens the window and builds the global objects (called once by DeviceManager).
  void initialise(const std::string& programName, const std::string& title, int width,
                  int height, bool fullscreen, bool isMultisampled = true);

 private:
  static void createWindow(const std::string& title, int width, int height, bool isMultisampled);
  static void motion(int x, int y, int kind);

  static Int2 windowSize;
  static std::unique_ptr<KeyboardManager> keyboardManager;
  static std::unique_ptr<Scene3D> scene3D;
  static std::unique_ptr<Scene2D> scene2D;
  static std::unique_ptr<SpriteManager> spriteManager;
  static bool mouseButtons[nbMouseButtons];
  static Int2 mousePosition;
  static Int2 mousePosition2D;
  static std::vector<MouseEvent> mouseEvents;
  static bool isFullscreenMode;
  static int64_t lastStamp;
  static int64_t periodDuration;
};

#endif
