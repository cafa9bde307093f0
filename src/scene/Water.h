#ifndef SRC_WATER_H
#define SRC_WATER_H

#include <cstdint>
#include <string>
#include <vector>

#include "BasicVector.h"

class ImageLoader;
class Sprite;

/// The sea: a large textured square around the camera that rises and falls by one unit over a
/// four-second cycle around height 0, optionally with a 7 x 7 grid of waves around the camera
/// and three deeper layers of a second texture, plus the blue screen tint shown while the
/// camera is under the surface. Owned by the world scene, which sets its size from the view
/// distance, makes it follow the camera and draws it last; every call needs the GL context.
///
/// Configuration read: "water_texture", "water_sub_texture" (image files),
/// "water_deep_amplitude", "water_waves_amplitude" (numbers), "enable_multi_layered_water",
/// "enable_water_waves", "single_water_layer" (booleans).
class Water {
 public:
  /// The square moves in steps of this many world units, so its texture (one repeat per step)
  /// never slides under the camera.
  static constexpr float followStep = 50.f;
  /// Milliseconds of one rise and fall of the surface.
  static constexpr int64_t cycleMs = 4000;
  /// Edge of the square of waves kept around the camera (7 cells of 50 units).
  static constexpr float wavesSquareSize = 350.f;
  /// Vertices per side of the wave grid (7 x 7 cells).
  static constexpr int nbWaveVertices = 8;
  /// Flat quads of the ring of sea around the waves.
  static constexpr int nbRingQuads = 8;
  /// Heights of the deep layers below the deep level.
  static constexpr float layerOffsets[3] = {-60.f, -40.f, -20.f};

  /// One flat quad of the sea: centre, size along x and z, texture repeats along x and z.
  struct FlatQuad {
    Float3 centre;
    Float2 size;
    Float2 textureScale;
  };

  /// Loads both textures from the configuration.
  explicit Water(float parSizeOneCube);
  /// Releases both sprites.
  ~Water();
  Water(const Water&) = delete;
  Water& operator=(const Water&) = delete;

  /// Reloads a texture whose configured file name changed since it was loaded (also the first
  /// time); the world calls it at every update so run-time configuration changes show.
  void loadTextures();
  /// Places the square under the camera (steps of 50 units, truncated toward zero) and sets the
  /// surface height from the program clock.
  void follow(Float3 cameraPosition);
  /// Same at an explicit clock time in milliseconds.
  void follow(Float3 cameraPosition, int64_t timeMs);
  /// Draws the deep layers, the surface (flat, or a ring of flat quads around the wave grid).
  /// Deep layers of a texture without alpha are drawn without blending
  /// (Scene3D::beginOpaqueDraw); then, seen from above, the upper layer covers the lower ones
  /// entirely and only it is drawn. The pixels are the same either way.
  /// With "single_water_layer" (and the layers on), while the surface covers the deep layers
  /// (isCoveringLowerLayers with its highest point) the surface alone is drawn, without
  /// blending, in one image of the surface over the deep texture (composeLayers): one pass
  /// instead of two or four, the colours of the open sea seen from above but for the parallax
  /// between the layers; what lies under the surface (the ground of shallow water) no longer
  /// shows through it. Under or close to the surface the layers are drawn as without it.
  void draw();
  /// In the 2D pass: covers the whole 2D area with `tintColour` when the camera is below the
  /// surface; the current colour is kept.
  void drawScreenTint(Float3 cameraPosition);

  /// Edge of the square; also sets `tiles` to trunc(size / 50).
  void setSize(float parSize);
  float getSize() const { return size; }
  float getTiles() const { return tiles; }
  /// (x, heightCurrent, z).
  Float3 getPosition() const { return position; }
  float getHeightCurrent() const { return position.y(); }
  /// Deep layers the last draw drew (0 without the layers or with the single layer, 1 when the
  /// upper one covered the others).
  int getNbDeepLayersDrawn() const { return nbDeepLayersDrawn; }
  float getSizeOneCube() const { return sizeOneCube; }
  Sprite* getTexture() const { return texture; }
  Sprite* getSubTexture() const { return subTexture; }
  BasicVector<4, unsigned char> getTintColour() const { return tintColour; }
  void setTintColour(BasicVector<4, unsigned char> colour) { tintColour = colour; }

  /// Surface height at a clock time: a triangle wave, -1 at 0 ms, +1 at 2000 ms, back to -1 at
  /// 4000 ms; always within -1..1 (negative times included).
  static float computeHeight(int64_t timeMs);
  /// Whether an opaque square of edge `squareSize` centred on `centre` hides everything of equal
  /// squares straight below it from `camera`: the camera is inside the square's column and at
  /// least `coverMargin` above it (so that the near plane cannot clip the square where the
  /// lower ones show).
  static bool isCoveringLowerLayers(Float3 camera, Float3 centre, float squareSize);
  static constexpr float coverMargin = 10.f;
  /// Square position under a camera coordinate: trunc(value / 50) x 50.
  static float snapToStep(float value);
  /// The eight quads of sea around the 350 x 350 square of waves, at height yDeep, for a
  /// square of edge `squareSize` centred on (x, z). Returns how many were written: 8, or 0 when
  /// the square is not larger than the waves (nothing is left around them).
  static int computeOuterRing(float x, float z, float yDeep, float squareSize,
                              FlatQuad quads[nbRingQuads]);
  /// Vertex (a, b), a and b from -3 to 4, at [a + 3][b + 3]: (x + 50a - 25, yDeep + e,
  /// z + 50b - 25) with e = +f where a and b are both even, -f where both are odd, 0 elsewhere
  /// and on the border; f = sin(heightCurrent x pi / 4) x wavesAmplitude. A heightCurrent
  /// outside -1..1 is the fatal report "-1.f <= heightCurrent && heightCurrent <= 1.f".
  static void computeWaveGrid(float x, float z, float yDeep, float heightCurrent,
                              float wavesAmplitude,
                              Float3 vertices[nbWaveVertices][nbWaveVertices]);
  /// RGB pixels of `surface`'s size: each surface pixel blended by its alpha over the pixel of
  /// `deep` at the same place of the image (deep stretched to the surface's size, its alpha
  /// ignored), as the blended surface shows over an opaque deep layer. Empty when either image
  /// holds no pixels.
  static std::vector<unsigned char> composeLayers(const ImageLoader& surface, const ImageLoader& deep);

 private:
  /// Makes `sprite` show the configured file of `key`; `loadedName` is the name it was made
  /// from (the configured text, so an empty name does not reload the default image each time).
  /// Returns whether it reloaded.
  static bool reloadIfChanged(const std::string& key, Sprite*& sprite, std::string& loadedName);
  static void drawFlatQuad(const FlatQuad& quad, int textureName);
  /// The surface (flat, or the ring and the waves) at yDeep with `textureName`.
  void drawSurface(float yDeep, int textureName, bool isWaves, float wavesAmplitude) const;
  /// The texture of composeLayers for the loaded images, made on first use; -1 when it cannot be.
  int getSingleLayerTexture();
  void deleteSingleLayerTexture();

  float size = 30.f;
  float tiles = 0.f;
  float sizeOneCube;
  Sprite* texture = nullptr;
  Sprite* subTexture = nullptr;
  std::string textureName;
  std::string subTextureName;
  BasicVector<4, unsigned char> tintColour{0, 104, 255, 128};
  Float3 position{0.f, -1.f, 0.f};
  int nbDeepLayersDrawn = 0;
  /// The GL texture of getSingleLayerTexture (-1: none yet).
  int singleLayerTexture = -1;
};

#endif
