#include "Sprite.h"

#include <algorithm>
#include <cmath>

#include "ImageLoader.h"
#include "Scene2D.h"
#include "Assert.h"

Sprite::Sprite(const std::vector<ImageLoader*>& parImages, int hotSpotAlignment)
    : images(parImages) {
  assert(images.size() >= 1);
  assert(images[0] != NULL, "Sprite::Sprite : the first image is missing");
  int w = images[0]->getWidth();
  int h = images[0]->getHeight();
  switch (hotSpotAlignment) {
    case 1:
      hotSpot = Int2(0, 0);
      break;
    case 2:
      hotSpot = Int2(w / 2, h / 2);
      break;
    case 3:
      hotSpot = Int2(w, h);
      break;
    case 4:
      hotSpot = Int2(0, h / 2);
      break;
    case 5:
      hotSpot = Int2(w, h / 2);
      break;
    default:
      assertNoCondition(false, "Sprite::Sprite : unknown value of hotSpotAlignment");
  }
}

int Sprite::getScaledWidth() const {
  return Scene2D::toCoordinate(static_cast<double>(images[0]->getWidth()) * scale.x());
}

int Sprite::getScaledHeight() const {
  return Scene2D::toCoordinate(static_cast<double>(images[0]->getHeight()) * scale.y());
}

void Sprite::fitInto(int width, int height) {
  float fit = std::min(static_cast<float>(width) / images[0]->getWidth(),
                       static_cast<float>(height) / images[0]->getHeight());
  scale = Float2(fit, fit);
}

void Sprite::computeCorners() {
  bool isCurrentValid = currentImage >= 0 && currentImage < static_cast<int>(images.size()) &&
                        images[currentImage] != nullptr;
  const ImageLoader* image = images[isCurrentValid ? currentImage : 0];
  // Worked in double so that any position, scale or angle gives bounded ints.
  double w = Scene2D::toCoordinate(static_cast<double>(image->getWidth()) * scale.x());
  double h = Scene2D::toCoordinate(static_cast<double>(image->getHeight()) * scale.y());
  double left = -static_cast<double>(hotSpot.x());
  double top = -static_cast<double>(hotSpot.y());
  const double offsets[4][2] = {
      {left + w, top + h}, {left, top + h}, {left, top}, {left + w, top}};
  double turn = static_cast<double>(angle) * M_PI / 180.0;
  for (int i = 0; i < 4; ++i) {
    double dx = offsets[i][0], dy = offsets[i][1];
    double r = std::sqrt(dx * dx + dy * dy);
    double a = std::atan2(dy, dx) + turn;
    // std::round rounds half away from zero.
    corners[i] = Int2(Scene2D::toCoordinate(position.x() + std::round(r * std::cos(a))),
                      Scene2D::toCoordinate(position.y() + std::round(r * std::sin(a))));
  }
}

void Sprite::draw() {
  assert(currentImage >= 0 && currentImage < static_cast<int>(images.size()),
         "Sprite::draw : currentImage is not an image of the sprite");
  assert(images[currentImage]!= NULL);
  computeCorners();
  Scene2D::drawTexturedQuad(corners, images[currentImage]->getTexture(), flipX, flipY);
}
