#ifndef COREKIT_ANIMATED3DMODEL_H
#define COREKIT_ANIMATED3DMODEL_H

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "Object3D.h"

class ObjModel;

/// A list of OBJ models played as the frames of an animation within a frame range, one frame
/// change per frame delay, forward or backward. Drawing advances the animation from the
/// millisecond clock and draws the current frame.
class Animated3DModel : public Object3D {
 public:
  /// One ObjModel per file name, in order, with that scale and no welding. The list must not
  /// be empty ("parFilenames.size() > 0").
  Animated3DModel(const std::vector<std::string>& parFilenames, float scale);
  /// Deletes the frames, which releases their cache elements.
  ~Animated3DModel() override;
  Animated3DModel(const Animated3DModel&) = delete;
  Animated3DModel& operator=(const Animated3DModel&) = delete;

  /// Advances the animation to the clock (Utils::getTimeMs) and draws the current frame.
  void draw() override;
  /// The current frame's segment test.
  bool testCollision(Float3 start, Float3 end, Float3& hitPoint) override;

  /// One animation step at clock time `nowMs`: when the next change time has passed and the
  /// animation plays, moves to the next frame of the range (wrapping) and schedules the next
  /// change one frame delay later. draw() calls it with the clock.
  void advance(int64_t nowMs);

  /// Plays frames idFrameMin..idFrameMax; a current frame outside becomes idFrameMin.
  /// Needs 0 <= idFrameMin < idFrameMax < number of frames (fatal report otherwise).
  void setFrameRange(int idFrameMin, int idFrameMax);
  int getIdFrameMin() const { return idFrameMin; }
  int getIdFrameMax() const { return idFrameMax; }

  /// Shows that frame now (0 <= frame < number of frames, fatal report otherwise).
  void setCurrentFrame(int frame);
  int getCurrentFrame() const { return currentFrame; }

  void setFrameDelay(int parFrameDelay) { frameDelay = parFrameDelay; }
  int getFrameDelay() const { return frameDelay; }
  void setForward(bool parIsForward) { isForward = parIsForward; }
  bool getIsForward() const { return isForward; }
  void setPlaying(bool parIsPlaying) { isPlaying = parIsPlaying; }
  bool getIsPlaying() const { return isPlaying; }
  int64_t getNextChange() const { return nextChange; }

  int getNbFrames() const { return static_cast<int>(frames.size()); }
  ObjModel* getFrame(int index) { return frames[index].get(); }

 private:
  std::vector<std::unique_ptr<ObjModel>> frames;
  int idFrameMin = 0;
  int64_t nextChange = 0;  ///< milliseconds, clock time of the next frame change
  int currentFrame = 0;
  int frameDelay = 500;  ///< milliseconds
  bool isForward = false;
  bool isPlaying = true;
  int idFrameMax = 0;
};

#endif
