#ifndef COREKIT_SCENE2D_H
#define COREKIT_SCENE2D_H

#include "BasicVector.h"

/// The 2D coordinate system drawn over the 3D scene: origin at the top left of the window,
/// x to the right, y downward, in units of the 2D size. One instance, owned by GLManager.
/// Also the 2D drawing primitives (static: they only need the OpenGL context).
class Scene2D {
 public:
  /// Window size and 2D size 640 x 480, scale 1, following the window.
  Scene2D();

  /// Orthographic projection over the 2D size with y downward, identity modelview; a zero
  /// window size is a fatal report.
  void applyProjection();
  /// The projection and the state all 2D drawing expects: no lighting, no depth test, filled
  /// polygons, front faces culled.
  void apply2DState();
  /// Window size = `size`; the 2D size too when following the window; applies the projection.
  void resize(Int2 size);
  /// Window pixels to 2D units.
  Int2 windowTo2D(Int2 windowPosition) const;

  Int2 windowSize{640, 480};
  Int2 size2D{640, 480};            ///< what the script's getWindowSize reports
  Float2 scale{1.f, 1.f};           ///< 2D size / window size per axis
  bool isFollowingWindow = true;    ///< 2D size stays equal to the window size

  /// One quad (x, y)-(x + width, y + height) with the texture's (s0, t0)-(s1, t1).
  static void drawTexturedRectangle(int x, int y, int texture, float s0, float t0, float s1,
                                    float t1, int width, int height);
  /// Corners 0..3 get texture coordinates (1,1), (0,1), (0,0), (1,0) unless flipped.
  static void drawTexturedQuad(const Int2 corners[4], int texture, bool flipX, bool flipY);
  /// Plain rectangle between the corners, filled or as an outline.
  static void drawRectangle(Int2 a, Int2 b, bool filled);
  /// Text in the window system's 8 x 13 bitmap font, raster position (x, y).
  static void drawBitmapText(const char* text, int x, int y);

  /// A computed coordinate truncated toward zero to an int that stays safe to add to: not a
  /// number gives 0, values past +-maxCoordinate are clamped.
  static int toCoordinate(double value);
  static constexpr int maxCoordinate = 1 << 28;
};

#endif
