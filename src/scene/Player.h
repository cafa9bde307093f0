#ifndef ENGINE_PLAYER_H
#define ENGINE_PLAYER_H

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

#include "BasicVector.h"
#include "MouseEvent.h"

class Animated3DModel;
class Object3D;
class SoundManager;
class Sound_Abstract;

/// The character the user steers in play mode: an animated model of five OBJ frames, the walk
/// and jump sounds, a collision box and a fixed-step physics model with four movement types.
/// Its heading is the camera's yaw: turning the player turns the camera of the 3D scene, and
/// it always moves relative to where the camera looks. Owned by the world scene; needs the
/// device manager (configuration, keys, camera, window).
///
/// Configuration read: "player_sound_walk", "player_sound_jump", "player_model_directory"
/// (strings); "player_collision_size_height", "player_collision_size_width",
/// "player_collision_size_depth", "player_speed_max", "player_speed_capacity",
/// "player_speed_deceleration", "player_animation_speed", "mouse_horizontal_speed",
/// "mouse_vertical_speed" (numbers).
class Player {
 public:
  static constexpr int32_t MVT_TYPE_WALK = 0;
  static constexpr int32_t MVT_TYPE_CAR = 1;
  static constexpr int32_t MVT_TYPE_FLY = 2;
  static constexpr int32_t MVT_TYPE_NONE = 3;

  /// Physics step: speeds, capacity, deceleration and gravity are per step of this length.
  static constexpr int64_t stepMicroseconds = 100;
  /// Longest period integrated by one manage (at most 1000 steps).
  static constexpr int64_t maxPeriodMicroseconds = 100000;
  static constexpr float gravityPerStep = 0.000003f;
  static constexpr float jumpSpeed = 0.0125f;
  /// Fly mode rises and descends by this much per step.
  static constexpr float flyClimbPerStep = 0.1f;
  /// Degrees of yaw per microsecond of a turn key held.
  static constexpr float turnDegreesPerMicrosecond = 0.00018f;
  static constexpr float modelScale = 0.3f;
  static constexpr int nbModelFrames = 5;
  static constexpr float maxCameraDistance = 900.f;
  static constexpr float cameraZoomFactor = 1.4f;

  /// The game-save record: position (3 x float32), camera yaw, camera pitch (float32), mvtType
  /// (int32), little-endian.
  static constexpr int recordSize = 24;
  struct Record {
    Float3 position{0.f, 0.f, 0.f};
    float yaw = 0.f;
    float pitch = 0.f;
    int32_t mvtType = MVT_TYPE_WALK;
  };

  /// Result of the collision box test: corners at the top and at the bottom of the box.
  struct BoxHits {
    bool head = false;
    bool feet = false;
  };

  /// Loads the configuration (sounds through the sound system, which is borrowed and keeps
  /// them; the model) and warps the mouse pointer to the window centre.
  explicit Player(SoundManager* parSound);
  /// Deletes the model; the sounds stay with the sound system.
  ~Player();
  Player(const Player&) = delete;
  Player& operator=(const Player&) = delete;

  /// Reloads the sounds and the model whose configured names changed, reads the collision
  /// sizes. Fatal report "model != NULL && soundWalk != NULL && soundJump != NULL" when one
  /// could not be made.
  void loadConfiguration();
  /// One physics and animation step over the frame period of the device manager. The world is
  /// used only through its point collision test (testCollision(start, point, out)).
  void manage(Object3D& world);
  /// Same over an explicit period in microseconds (kept within 0..100000).
  void manage(Object3D& world, int64_t periodMicroseconds);
  /// Draws the model at the position turned to the heading, unless the camera is closer than 1
  /// (first-person view); opaque (without blending, the alpha test kept).
  void draw();
  /// One mouse event of play mode: the wheel zooms the camera, motion turns it.
  void mouseEvent(const MouseEvent& event);

  /// The collision box placed at `to`, tested against the world at the points of a lattice over
  /// the whole box, less than a cube edge apart on every axis (its corners among them), so that
  /// no cube the box overlaps goes unseen: head = a point of the top face meets a collidable
  /// cube, feet = a point below the top does. `from` is only handed to the world's test.
  BoxHits testBox(Object3D& world, Float3 from, Float3 to) const;

  /// Writes the 24-byte record (position, camera yaw and pitch, mvtType). False when the file
  /// refused the bytes.
  bool save(FILE* file) const;
  /// Reads a record and applies it. A short or damaged record (not a number, infinite, or an
  /// unknown movement type) answers false and changes nothing.
  bool load(FILE* file);
  /// The reading and applying halves of load, so that a caller can check the rest of a file
  /// before the player changes.
  static bool readRecord(FILE* file, Record& record);
  static bool writeRecord(FILE* file, const Record& record);
  /// Whether a record can be applied: finite numbers and a known movement type.
  static bool isRecordValid(const Record& record);
  Record getRecord() const;
  /// Sets the position, the camera's yaw and pitch (setYaw, setPitch) and mvtType.
  void applyRecord(const Record& record);

  /// The model's position: the centre of the bottom of the collision box.
  Float3 getPosition() const;
  void setPosition(Float3 position);

  float getSpeedForward() const { return speedForward; }
  float getSpeedVertical() const { return speedVertical; }
  float getSpeedLateral() const { return speedLateral; }
  void setSpeeds(float forward, float vertical, float lateral) {
    speedForward = forward;
    speedVertical = vertical;
    speedLateral = lateral;
  }
  int32_t getMvtType() const { return mvtType; }
  /// The script's movement change: sets the type and clears the three speeds (the player does
  /// not move).
  void setMovementType(int32_t type);
  bool getOnGround() const { return onGround; }
  void setOnGround(bool parOnGround) { onGround = parOnGround; }
  float getCameraDistance() const { return cameraDistance; }
  void setCameraDistance(float distance) { cameraDistance = distance; }
  /// While something else has the typed keys (the script's open text entry), the keys do not
  /// drive the player; the mouse, gravity and the script still do.
  void setAreKeysTaken(bool parAreKeysTaken) { areKeysTaken = parAreKeysTaken; }
  bool getAreKeysTaken() const { return areKeysTaken; }
  bool getIsReverseMouseYCamera() const { return isReverseMouseYCamera; }
  void setIsReverseMouseYCamera(bool isReverse) { isReverseMouseYCamera = isReverse; }

  Animated3DModel* getModel() const { return model.get(); }
  Sound_Abstract* getSoundWalk() const { return soundWalk; }
  Sound_Abstract* getSoundJump() const { return soundJump; }
  const std::string& getModelDirectory() const { return modelDirectory; }
  float getCollisionHeight() const { return collisionHeight; }
  float getCollisionWidth() const { return collisionWidth; }
  float getCollisionDepth() const { return collisionDepth; }

 private:
  /// The keys of one update.
  struct Controls {
    bool jump, turnLeft, turnRight, strafeLeft, strafeRight, forward, backward, descend;
  };
  /// Where a move first meets something: the point of the way and the box hits there.
  struct Obstacle {
    bool isFound = false;
    Float3 at{0.f, 0.f, 0.f};
    BoxHits hits;
  };
  /// The keys and buttons of this update; only the mouse when `isKeyboardTaken`.
  static Controls readControls(bool isKeyboardTaken);
  void applyGravity(Object3D& world, int64_t period);
  void animate(float speedMax);
  /// Moves to `end`, or answers `obstacle` when the way met one (the player then stays, stops
  /// or hops as the obstacle's hits say).
  void moveHorizontally(Object3D& world, Float3 from, const Obstacle& obstacle, Float3 end);
  /// The box tested along the way from `start` (excluded) to `end` (included) at points at
  /// most `stride` apart: the first point where it is blocked. Gravity is blocked by any hit;
  /// the horizontal move as before (box hits unless flying, or a collidable cube at the centre).
  Obstacle findObstacle(Object3D& world, Float3 from, Float3 start, Float3 end, bool isHorizontal) const;
  /// Longest way between two tests of the box: half a cube edge, so that no move in one frame,
  /// however long the frame or fast the fall, passes through a cube unseen.
  static float getStride();
  /// Takes the sound of the configured name when it changed.
  void reloadSound(const char* key, std::string& loadedName, Sound_Abstract*& loaded);
  static bool isCollidable(Object3D& world, Float3 from, Float3 point);

  bool onGround = false;
  bool areKeysTaken = false;
  float cameraDistance = 30.f;
  std::unique_ptr<Animated3DModel> model;
  float speedForward = 0.f;
  float speedVertical = 0.f;
  float speedLateral = 0.f;
  int32_t mvtType = MVT_TYPE_WALK;
  SoundManager* sound;
  Sound_Abstract* soundWalk = nullptr;
  Sound_Abstract* soundJump = nullptr;
  bool isReverseMouseYCamera = false;
  std::string modelDirectory;
  std::string soundWalkName;
  std::string soundJumpName;
  float collisionHeight = 0.f;
  float collisionWidth = 0.f;
  float collisionDepth = 0.f;
};

#endif
