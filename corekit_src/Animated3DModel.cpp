#include "Animated3DModel.h"

#include "ObjModel.h"
#include "Utils.h"
#include "Assert.h"

Animated3DModel::Animated3DModel(const std::vector<std::string>& parFilenames, float scale) {
  assert(parFilenames.size() > 0);
  frames.reserve(parFilenames.size());
  for (const std::string& fileName : parFilenames)
    frames.push_back(std::make_unique<ObjModel>(fileName, scale, 0.f));
  idFrameMax = static_cast<int>(frames.size()) - 1;
}

Animated3DModel::~Animated3DModel() = default;

void Animated3DModel::advance(int64_t nowMs) {
  if (!(nextChange < nowMs && isPlaying)) return;
  nextChange = nowMs + frameDelay;
  if (isForward) {
    ++currentFrame;
    if (currentFrame > idFrameMax) currentFrame = idFrameMin;
  } else {
    --currentFrame;
    if (currentFrame < idFrameMin) currentFrame = idFrameMax;
  }
}

void Animated3DModel::draw() {
  advance(Utils::getTimeMs());
  frames[currentFrame]->draw();
}

bool Animated3DModel::testCollision(Float3 start, Float3 end, Float3& hitPoint) {
  return frames[currentFrame]->testCollision(start, end, hitPoint);
}

void Animated3DModel::setFrameRange(int idFrameMin, int idFrameMax) {
  assert(idFrameMin < idFrameMax && idFrameMin >= 0);
  // Both are known non-negative here, so comparing with the unsigned size is exact.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wsign-compare"
  assert(idFrameMax < frames.size());
#pragma GCC diagnostic pop
  this->idFrameMin = idFrameMin;
  this->idFrameMax = idFrameMax;
  if (currentFrame < idFrameMin || currentFrame > idFrameMax) currentFrame = idFrameMin;
}

void Animated3DModel::setCurrentFrame(int frame) {
  assert(frame >= 0 && frame < getNbFrames());
  currentFrame = frame;
}
