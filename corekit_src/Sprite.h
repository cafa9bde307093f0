#ifndef COREKIT_SPRITE_H
#define COREKIT_SPRITE_H

#include <vector>

#include "BasicVector.h"

class ImageLoader;

/// An image placed by a hot spot, scaled, rotated about its position and mirrored.
/// Sprites are made by SpriteManager::createSprite and released with deleteSprite; the images
/// are borrowed from the registry, which shares and frees them.
class Sprite {
 public:
  /// hotSpotAlignment: 1 top left, 2 centre, 3 bottom right, 4 middle of the left edge,
  /// 5 middle of the right edge (of the first image); anything else is a fatal report.
  Sprite(const std::vector<ImageLoader*>& parImages, int hotSpotAlignment);

  void draw();
  /// Uniform scale so that the image fits into width x height.
  void fitInto(int width, int height);
  /// Image size x scale, truncated.
  int getScaledWidth() const;
  int getScaledHeight() const;
  /// Recomputes `corners` from position, hot spot, scale and angle (done by draw).
  void computeCorners();

  const std::vector<ImageLoader*>& getImages() const { return images; }

  Int2 position{0, 0};     ///< where the hot spot goes, 2D units
  Int2 hotSpot{0, 0};      ///< anchor inside the unscaled image
  bool flipX = false;
  bool flipY = false;
  Float2 scale{1.f, 1.f};
  float angle = 0.f;       ///< degrees, about the position
  int currentImage = 0;
  Int2 corners[4];         ///< the quad last drawn

 private:
  std::vector<ImageLoader*> images;
};

#endif
