#include "scene/Water.h"

#include <GL/glew.h>

#include <cmath>
#include <iterator>

#include "DeviceManager.h"
#include "ImageLoader.h"
#include "Scene2D.h"
#include "Scene3D.h"
#include "Sprite.h"
#include "SpriteManager.h"
#include "Utils.h"
#include "Assert.h"

namespace {

const XMLSimple& config() { return DeviceManager::getInstance()->getConfig(); }

int textureOf(const Sprite* sprite) {
  return sprite != nullptr ? sprite->getImages()[0]->getTexture() : -1;
}

bool isWithoutAlpha(const Sprite* sprite) { return sprite != nullptr && !sprite->getImages()[0]->getIsAlpha(); }

/// Loads the view matrix of the 3D scene and moves to `centre`.
void placeAt(Float3 centre) {
  glLoadMatrixf(GLManager::getScene3D()->getViewMatrix());
  glTranslatef(centre.x(), centre.y(), centre.z());
}

}  // namespace

constexpr float Water::layerOffsets[3];

Water::Water(float parSizeOneCube) : sizeOneCube(parSizeOneCube) {
  setSize(size);
  loadTextures();
}

Water::~Water() {
  deleteSingleLayerTexture();
  SpriteManager* sprites = GLManager::getSpriteManager();
  sprites->deleteSprite(texture);
  sprites->deleteSprite(subTexture);
}

void Water::loadTextures() {
  const bool isSurfaceReloaded = reloadIfChanged("water_texture", texture, textureName);
  const bool isDeepReloaded = reloadIfChanged("water_sub_texture", subTexture, subTextureName);
  // The single layer is made again from the new images when next drawn.
  if (isSurfaceReloaded || isDeepReloaded) deleteSingleLayerTexture();
}

bool Water::reloadIfChanged(const std::string& key, Sprite*& sprite, std::string& loadedName) {
  const std::string name = config().getString(key);
  if (sprite != nullptr && name == loadedName) return false;
  SpriteManager* sprites = GLManager::getSpriteManager();
  sprites->deleteSprite(sprite);
  sprite = sprites->createSprite(name, 1);
  loadedName = name;
  return true;
}

void Water::setSize(float parSize) {
  size = parSize;
  tiles = std::trunc(size / followStep);
}

bool Water::isCoveringLowerLayers(Float3 camera, Float3 centre, float squareSize) {
  // A sight line to a point of a lower square crosses this square's plane between the camera
  // and that point, inside the square (both lie in its column, which is convex) and nearer.
  const float half = squareSize / 2.f;
  return std::fabs(camera.x() - centre.x()) < half && std::fabs(camera.z() - centre.z()) < half &&
         camera.y() >= centre.y() + coverMargin;
}

float Water::snapToStep(float value) { return std::trunc(value / followStep) * followStep; }

float Water::computeHeight(int64_t timeMs) {
  // The remainder of a negative time is negative: bring it back into the cycle.
  const float t = static_cast<float>(((timeMs % cycleMs) + cycleMs) % cycleMs);
  if (t > 2000.f) return 1.f - (t - 2000.f) * 4.f / 4000.f;
  return t * 4.f / 4000.f - 1.f;
}

void Water::follow(Float3 cameraPosition) { follow(cameraPosition, Utils::getTimeMs()); }

void Water::follow(Float3 cameraPosition, int64_t timeMs) {
  position = Float3(snapToStep(cameraPosition.x()), computeHeight(timeMs),
                    snapToStep(cameraPosition.z()));
}

int Water::computeOuterRing(float x, float z, float yDeep, float squareSize,
                            FlatQuad quads[nbRingQuads]) {
  const float inner = wavesSquareSize;
  const float h = squareSize / 2.f;
  const float u = (h + inner / 2.f) / 2.f;
  const float g = h - inner / 2.f;
  // A square no wider than the waves leaves no sea around them; negative sizes would lay the
  // ring over the waves instead.
  if (!(g > 0.f)) return 0;
  const struct {
    float dx, dz, width, depth;
  } layout[nbRingQuads] = {
      {0.f, u, inner, g}, {0.f, -u, inner, g}, {-u, 0.f, g, inner}, {u, 0.f, g, inner},
      {u, u, g, g},       {u, -u, g, g},       {-u, u, g, g},       {-u, -u, g, g},
  };
  for (int i = 0; i < nbRingQuads; ++i) {
    quads[i].centre = Float3(x + layout[i].dx, yDeep, z + layout[i].dz);
    quads[i].size = Float2(layout[i].width, layout[i].depth);
    // One texture repeat per 50 units.
    quads[i].textureScale = Float2(layout[i].width * 0.02f, layout[i].depth * 0.02f);
  }
  return nbRingQuads;
}

void Water::computeWaveGrid(float x, float z, float yDeep, float heightCurrent,
                            float wavesAmplitude,
                            Float3 vertices[nbWaveVertices][nbWaveVertices]) {
  assert(-1.f <= heightCurrent && heightCurrent <= 1.f);
  const float f = std::sin(heightCurrent * 0.7853982f) * wavesAmplitude;
  for (int a = -3; a <= 4; ++a) {
    for (int b = -3; b <= 4; ++b) {
      float e = 0.f;
      const bool border = a == -3 || a == 4 || b == -3 || b == 4;
      const bool aEven = (a & 1) == 0, bEven = (b & 1) == 0;
      if (!border && aEven && bEven) e = f;
      if (!border && !aEven && !bEven) e = -f;
      vertices[a + 3][b + 3] = Float3(x + followStep * a - 25.f, yDeep + e,
                                      z + followStep * b - 25.f);
    }
  }
}

void Water::drawFlatQuad(const FlatQuad& quad, int textureName) {
  placeAt(quad.centre);
  Scene3D::drawQuadHorizontal(quad.size, textureName, quad.textureScale, true);
  Scene3D::drawQuadHorizontal(quad.size, textureName, quad.textureScale, false);
}

void Water::draw() {
  const XMLSimple& configuration = config();
  const float deepAmplitude = configuration.getFloat("water_deep_amplitude");
  const float x = position.x(), z = position.z();
  const float heightCurrent = position.y();
  const float yDeep = heightCurrent * deepAmplitude - 5.f;
  const Float2 squareSize(size, size), squareScale(tiles, tiles);
  const bool isWaves = configuration.getBool("enable_water_waves");
  const float wavesAmplitude = isWaves ? configuration.getFloat("water_waves_amplitude") : 0.f;
  const bool isLayered = configuration.getBool("enable_multi_layered_water");
  Scene3D* scene = GLManager::getScene3D();

  // One layer for all: the surface, where it hides the deep layers (from its highest point, the
  // crests of the waves, up).
  int singleTexture = -1;
  if (isLayered && configuration.getBool("single_water_layer")) {
    const float crest = std::fabs(std::sin(heightCurrent * 0.7853982f) * wavesAmplitude);
    const Float3 surfaceTop(x, isWaves ? yDeep + crest : heightCurrent, z);
    if (isCoveringLowerLayers(scene->getCamera()->getPosition(), surfaceTop, size))
      singleTexture = getSingleLayerTexture();
  }

  glPushMatrix();
  nbDeepLayersDrawn = 0;
  if (isLayered && singleTexture == -1) {
    const int subTextureName = textureOf(subTexture);
    const bool isOpaque = scene->beginOpaqueDraw(isWithoutAlpha(subTexture));
    const int nbLayers = static_cast<int>(std::size(layerOffsets));
    const Float3 upperLayer(x, yDeep + layerOffsets[nbLayers - 1], z);
    const int firstLayer =
        isOpaque && isCoveringLowerLayers(scene->getCamera()->getPosition(), upperLayer, size) ? nbLayers - 1 : 0;
    for (int layer = firstLayer; layer < nbLayers; ++layer)
      drawFlatQuad(FlatQuad{Float3(x, yDeep + layerOffsets[layer], z), squareSize, squareScale},
                   subTextureName);
    nbDeepLayersDrawn = nbLayers - firstLayer;
    Scene3D::endOpaqueDraw(isOpaque);
  }

  scene->apply3DDrawState();
  if (singleTexture != -1) {
    // The composed image has no alpha: drawn without blending, each pixel shaded once.
    const bool isOpaque = scene->beginOpaqueDraw(true);
    drawSurface(yDeep, singleTexture, isWaves, wavesAmplitude);
    Scene3D::endOpaqueDraw(isOpaque);
  } else {
    const int textureName = textureOf(texture);
    if (textureName != -1) glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(textureName));
    drawSurface(yDeep, textureName, isWaves, wavesAmplitude);
  }
  glPopMatrix();
}

void Water::drawSurface(float yDeep, int textureName, bool isWaves, float wavesAmplitude) const {
  const float x = position.x(), z = position.z();
  const float heightCurrent = position.y();
  const Float2 squareSize(size, size), squareScale(tiles, tiles);
  if (!isWaves) {
    drawFlatQuad(FlatQuad{Float3(x, heightCurrent, z), squareSize, squareScale}, textureName);
    return;
  }

  FlatQuad ring[nbRingQuads];
  const int nbRing = computeOuterRing(x, z, yDeep, size, ring);
  for (int i = 0; i < nbRing; ++i) drawFlatQuad(ring[i], textureName);

  Float3 grid[nbWaveVertices][nbWaveVertices];
  computeWaveGrid(x, z, yDeep, heightCurrent, wavesAmplitude, grid);
  glLoadMatrixf(GLManager::getScene3D()->getViewMatrix());
  const Float2 oncePerCell(1.f, 1.f);
  for (int i = 0; i < nbWaveVertices - 1; ++i) {
    for (int j = 0; j < nbWaveVertices - 1; ++j) {
      const Float3 corners[4] = {grid[i][j], grid[i][j + 1], grid[i + 1][j + 1], grid[i + 1][j]};
      Scene3D::drawQuad(textureName, corners, oncePerCell);
    }
  }
}

std::vector<unsigned char> Water::composeLayers(const ImageLoader& surface, const ImageLoader& deep) {
  std::vector<unsigned char> composed;
  const unsigned char* top = surface.getPixels();
  const unsigned char* below = deep.getPixels();
  if (top == nullptr || below == nullptr) return composed;
  const int width = surface.getWidth(), height = surface.getHeight();
  const int topBytes = surface.getIsAlpha() ? 4 : 3, belowBytes = deep.getIsAlpha() ? 4 : 3;
  composed.resize(static_cast<size_t>(width) * height * 3);
  for (int row = 0; row < height; ++row) {
    const int belowRow = static_cast<int>(static_cast<int64_t>(row) * deep.getHeight() / height);
    for (int column = 0; column < width; ++column) {
      const int belowColumn = static_cast<int>(static_cast<int64_t>(column) * deep.getWidth() / width);
      const unsigned char* t = top + (static_cast<size_t>(row) * width + column) * topBytes;
      const unsigned char* b = below + (static_cast<size_t>(belowRow) * deep.getWidth() + belowColumn) * belowBytes;
      const int alpha = topBytes == 4 ? t[3] : 255;
      unsigned char* out = &composed[(static_cast<size_t>(row) * width + column) * 3];
      for (int c = 0; c < 3; ++c) out[c] = static_cast<unsigned char>((t[c] * alpha + b[c] * (255 - alpha) + 127) / 255);
    }
  }
  return composed;
}

int Water::getSingleLayerTexture() {
  if (singleLayerTexture != -1 || texture == nullptr || subTexture == nullptr) return singleLayerTexture;
  const ImageLoader& surface = *texture->getImages()[0];
  const std::vector<unsigned char> composed = composeLayers(surface, *subTexture->getImages()[0]);
  if (!composed.empty())
    singleLayerTexture = SpriteManager::createTexture(composed.data(), surface.getWidth(), surface.getHeight(), false);
  return singleLayerTexture;
}

void Water::deleteSingleLayerTexture() {
  if (singleLayerTexture == -1) return;
  const GLuint name = static_cast<GLuint>(singleLayerTexture);
  glDeleteTextures(1, &name);
  singleLayerTexture = -1;
}

void Water::drawScreenTint(Float3 cameraPosition) {
  if (!(position.y() > cameraPosition.y())) return;
  const Color saved = SpriteManager::getCurrentColor();
  glColor4ub(tintColour[0], tintColour[1], tintColour[2], tintColour[3]);
  Scene2D::drawRectangle(Int2(0, 0), GLManager::getScene2D()->size2D, true);
  glColor4ub(saved[0], saved[1], saved[2], saved[3]);
}
