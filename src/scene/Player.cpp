#include "scene/Player.h"

#include <GL/glew.h>
#include <GL/freeglut.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "Animated3DModel.h"
#include "meshing/CubesTable.h"
#include "DeviceManager.h"
#include "KeyboardManager.h"
#include "Object3D.h"
#include "Scene3D.h"
#include "SoundManager.h"
#include "Sound_Abstract.h"
#include "Assert.h"

namespace {

XMLSimple& config() { return DeviceManager::getInstance()->getConfig(); }

float configFloat(const char* key) { return static_cast<float>(config().getDouble(key)); }

Camera* camera() { return GLManager::getScene3D()->getCamera(); }

Int2 windowCentre() {
  const Int2 size = GLManager::getWindowSize();
  return Int2(static_cast<int>(size.x() * 0.5), static_cast<int>(size.y() * 0.5));
}

bool isLetterDown(const KeyboardManager* keys, char lower) {
  return keys->isKeyDown(static_cast<unsigned char>(lower)) ||
         keys->isKeyDown(static_cast<unsigned char>(lower - 'a' + 'A'));
}

// Each horizontal speed loses the deceleration per step, and stops when less is left.
void decelerate(float& speed, float deceleration) {
  if (speed > deceleration)
    speed -= deceleration;
  else if (speed < -deceleration)
    speed += deceleration;
  else
    speed = 0.f;
}

// Lattice intervals along one side of the collision box: points less than 0.9 cube edge apart
// (a cube, even open-bounded, always holds one), within a bound for absurd configurations.
int latticeIntervals(float extent, float sizeOneCube) {
  constexpr int most = 64;
  const float spacing = 0.9f * sizeOneCube;
  if (!(spacing > 0.f) || !(extent > 0.f)) return 1;
  const float intervals = std::ceil(extent / spacing);
  return intervals < most ? std::max(1, static_cast<int>(intervals)) : most;
}

void stopAnimation(Animated3DModel& model) {
  model.setPlaying(false);
  model.setCurrentFrame(0);
}

void putFloat(unsigned char* out, float value) {
  uint32_t bits;
  std::memcpy(&bits, &value, 4);
  for (int i = 0; i < 4; ++i) out[i] = static_cast<unsigned char>(bits >> (8 * i));
}

uint32_t getUint32(const unsigned char* in) {
  return uint32_t(in[0]) | uint32_t(in[1]) << 8 | uint32_t(in[2]) << 16 | uint32_t(in[3]) << 24;
}

float getFloat(const unsigned char* in) {
  const uint32_t bits = getUint32(in);
  float value;
  std::memcpy(&value, &bits, 4);
  return value;
}

}  // namespace

Player::Player(SoundManager* parSound) : sound(parSound) {
  loadConfiguration();
  const Int2 centre = windowCentre();
  glutWarpPointer(centre.x(), centre.y());
}

Player::~Player() = default;

void Player::reloadSound(const char* key, std::string& loadedName, Sound_Abstract*& loaded) {
  const std::string name = config().getString(key);
  if (name == loadedName) return;
  loadedName = name;
  loaded = sound != nullptr ? sound->getSound(name) : nullptr;
}

void Player::loadConfiguration() {
  reloadSound("player_sound_walk", soundWalkName, soundWalk);
  reloadSound("player_sound_jump", soundJumpName, soundJump);

  const std::string directory = config().getString("player_model_directory");
  if (directory != modelDirectory) {
    const Float3 position = model ? model->getPosition() : Float3(0.f, 0.f, 0.f);
    model.reset();
    modelDirectory = directory;
    std::vector<std::string> frames;
    for (int i = 1; i <= nbModelFrames; ++i)
      frames.push_back(modelDirectory + "/player_frame" + std::to_string(i) + ".obj");
    model = std::make_unique<Animated3DModel>(frames, modelScale);
    model->setPosition(position);
  }

  collisionHeight = configFloat("player_collision_size_height");
  collisionWidth = configFloat("player_collision_size_width");
  collisionDepth = configFloat("player_collision_size_depth");

  assert(model != NULL && soundWalk != NULL && soundJump != NULL);
}

Float3 Player::getPosition() const { return model->getPosition(); }

void Player::setPosition(Float3 position) { model->setPosition(position); }

void Player::setMovementType(int32_t type) {
  mvtType = type;
  setSpeeds(0.f, 0.f, 0.f);
}

Player::Controls Player::readControls(bool isKeyboardTaken) {
  const KeyboardManager* keys = GLManager::getKeyboardManager();
  Controls controls;
  if (isKeyboardTaken) {
    controls = Controls();
    controls.jump = GLManager::isMouseButtonDown(GLUT_RIGHT_BUTTON);
    return controls;
  }
  controls.jump = keys->isKeyDown(' ') || GLManager::isMouseButtonDown(GLUT_RIGHT_BUTTON);
  controls.turnLeft = keys->isKeyDown(KeyboardManager::keyLeft);
  controls.turnRight = keys->isKeyDown(KeyboardManager::keyRight);
  controls.strafeLeft = isLetterDown(keys, 's');
  controls.strafeRight = isLetterDown(keys, 'f');
  controls.forward = keys->isKeyDown(KeyboardManager::keyCursorUp) || isLetterDown(keys, 'e');
  controls.backward = keys->isKeyDown(KeyboardManager::keyCursorDown) || isLetterDown(keys, 'd');
  controls.descend = isLetterDown(keys, 'c');
  return controls;
}

bool Player::isCollidable(Object3D& world, Float3 from, Float3 point) {
  Float3 hit;
  return world.testCollision(from, point, hit);
}

Player::BoxHits Player::testBox(Object3D& world, Float3 from, Float3 to) const {
  const float s = CubesTable::getSizeOneCube();
  const float w = collisionWidth, d = collisionDepth, h = collisionHeight;
  const int nx = latticeIntervals(2.f * w, s), ny = latticeIntervals(h, s), nz = latticeIntervals(2.f * d, s);
  BoxHits hits;
  // The top face first (the head), then the levels below it down to the bottom (the feet).
  for (int level = ny; level >= 0 && !hits.feet; --level) {
    const float y = level == ny ? h : h * static_cast<float>(level) / static_cast<float>(ny);
    bool isHit = false;
    for (int i = 0; i <= nx && !isHit; ++i) {
      const float x = -w + 2.f * w * static_cast<float>(i) / static_cast<float>(nx);
      for (int k = 0; k <= nz && !isHit; ++k) {
        const float z = -d + 2.f * d * static_cast<float>(k) / static_cast<float>(nz);
        isHit = isCollidable(world, from, to + Float3(x, y, z));
      }
    }
    (level == ny ? hits.head : hits.feet) = isHit;
  }
  return hits;
}

float Player::getStride() {
  const float stride = 0.5f * CubesTable::getSizeOneCube();
  return stride > 0.f ? stride : std::numeric_limits<float>::infinity();
}

Player::Obstacle Player::findObstacle(Object3D& world, Float3 from, Float3 start, Float3 end,
                                      bool isHorizontal) const {
  // Bounded for speeds a script may set: beyond that the way is tested more coarsely.
  constexpr float mostTests = 1000.f;
  const float nbTests = std::min(mostTests, std::max(1.f, std::ceil(distance(start, end) / getStride())));
  const int count = nbTests > 1.f ? static_cast<int>(nbTests) : 1;
  const bool isFly = mvtType == MVT_TYPE_FLY;
  Obstacle obstacle;
  for (int i = 1; i <= count; ++i) {
    const Float3 point = i == count ? end : start + (end - start) / (static_cast<float>(count) / static_cast<float>(i));
    const BoxHits hits = testBox(world, from, point);
    const bool isBlocked = isHorizontal ? ((hits.head || hits.feet) && !isFly) || isCollidable(world, from, point)
                                        : hits.head || hits.feet;
    if (isBlocked) {
      obstacle.isFound = true;
      obstacle.at = point;
      obstacle.hits = hits;
      return obstacle;
    }
  }
  return obstacle;
}

void Player::manage(Object3D& world) { manage(world, GLManager::getPeriodDuration()); }

void Player::manage(Object3D& world, int64_t periodMicroseconds) {
  const int64_t period = std::max<int64_t>(0, std::min(periodMicroseconds, maxPeriodMicroseconds));
  loadConfiguration();
  float speedMax = configFloat("player_speed_max");
  float capacity = configFloat("player_speed_capacity");
  float deceleration = configFloat("player_speed_deceleration");

  if (mvtType == MVT_TYPE_NONE) {
    model->setFrameRange(0, 2);
    stopAnimation(*model);
    return;
  } else if (mvtType == MVT_TYPE_CAR) {
    speedMax *= 2.f;
    capacity *= 2.f;
    deceleration *= 0.5f;
  } else if (mvtType == MVT_TYPE_FLY) {
    speedMax *= 2.f;
    capacity *= 2.f;
  } else {
    assert(mvtType == MVT_TYPE_WALK);
  }

  const Controls controls = readControls(areKeysTaken);
  const float turn = static_cast<float>(period) * turnDegreesPerMicrosecond;
  if (controls.turnLeft)
    camera()->rotateYaw(turn);
  else if (controls.turnRight)
    camera()->rotateYaw(-turn);

  if (mvtType == MVT_TYPE_WALK && controls.jump && onGround) {
    speedVertical = jumpSpeed;
    onGround = false;
    soundJump->play(false);
  }

  if (mvtType != MVT_TYPE_FLY) applyGravity(world, period);

  const Float3 from = getPosition();
  Float3 to = from;
  const float a = (180.f - (camera()->getYaw() + 90.f)) * 3.1415927f / 180.f;
  const float cosA = std::cos(a), sinA = std::sin(a);
  const float cosSide = std::cos(a + 1.5707964f), sinSide = std::sin(a + 1.5707964f);
  const double nbSteps = static_cast<double>(period) / stepMicroseconds;
  // The way is tested as it goes, so that a long frame cannot carry the player through a
  // cube; the steps all run (the speeds they build are kept when only the head meets one).
  const float stride = getStride();
  Float3 tested = from;
  Obstacle obstacle;
  int i = 0;
  do {
    if (mvtType != MVT_TYPE_CAR) {
      if (controls.strafeRight && speedLateral < speedMax) speedLateral += capacity;
      if (controls.strafeLeft && speedLateral > -speedMax) speedLateral -= capacity;
    }
    if (controls.forward && speedForward < speedMax) speedForward += capacity;
    if (controls.backward && mvtType != MVT_TYPE_FLY && speedForward > -speedMax) speedForward -= capacity;
    if (mvtType == MVT_TYPE_FLY) {
      if (controls.jump) {
        to += Float3(0.f, flyClimbPerStep, 0.f);
        speedVertical = 0.f;
      }
      if (controls.descend) {
        to -= Float3(0.f, flyClimbPerStep, 0.f);
        speedVertical = 0.f;
      }
    }
    decelerate(speedForward, deceleration);
    decelerate(speedLateral, deceleration);
    to = Float3(to.x() - cosA * speedForward - cosSide * speedLateral, to.y(),
                to.z() - sinA * speedForward - sinSide * speedLateral);
    if (!obstacle.isFound && distance(tested, to) >= stride) {
      obstacle = findObstacle(world, from, tested, to, true);
      tested = to;
    }
    ++i;
  } while (i < nbSteps);
  if (!obstacle.isFound) obstacle = findObstacle(world, from, tested, to, true);

  animate(speedMax);
  moveHorizontally(world, from, obstacle, to);
}

void Player::applyGravity(Object3D& world, int64_t period) {
  const Float3 from = getPosition();
  Float3 to = from;
  // Tested as it falls: a fall longer than a cube in one frame must not pass through it.
  const float stride = getStride();
  Float3 tested = from;
  Obstacle obstacle;
  const double nbSteps = static_cast<double>(period) / stepMicroseconds;
  if (nbSteps > 0) {
    const int64_t count = static_cast<int64_t>(std::ceil(nbSteps));
    for (int64_t i = 0; i < count && !obstacle.isFound; ++i) {
      speedVertical -= gravityPerStep;
      to = Float3(to.x(), to.y() + speedVertical, to.z());
      if (std::fabs(to.y() - tested.y()) >= stride) {
        obstacle = findObstacle(world, from, tested, to, false);
        tested = to;
      }
    }
  }
  if (!obstacle.isFound) obstacle = findObstacle(world, from, tested, to, false);
  if (obstacle.hits.feet) {
    onGround = true;
    speedVertical = 0.f;
  } else if (obstacle.hits.head) {
    speedVertical = 0.f;
    onGround = false;
  } else {
    setPosition(to);
  }
}

void Player::animate(float speedMax) {
  if (mvtType == MVT_TYPE_FLY) {
    model->setFrameRange(3, 4);
    model->setPlaying(true);
    return;
  }
  model->setFrameRange(0, 2);
  if (mvtType == MVT_TYPE_CAR || !onGround) {
    stopAnimation(*model);
    return;
  }
  const float s = std::sqrt(speedForward * speedForward + speedLateral * speedLateral) *
                  configFloat("player_animation_speed");
  if ((s > speedMax / 2.f || s < -speedMax / 2.f) && model->getIsPlaying() && !soundWalk->isPlaying())
    soundWalk->play(false);
  if (s > 0.1f) {
    model->setPlaying(true);
    model->setForward(true);
    model->setFrameDelay(static_cast<int>(50.f / s));
  } else if (s < -0.1f) {
    model->setPlaying(true);
    model->setForward(false);
    model->setFrameDelay(static_cast<int>(-50.f / s));
  } else {
    stopAnimation(*model);
  }
}

void Player::moveHorizontally(Object3D& world, Float3 from, const Obstacle& obstacle, Float3 end) {
  if (!obstacle.isFound) {
    setPosition(end);
    return;
  }
  const Float3 to = obstacle.at;
  const BoxHits hits = obstacle.hits;
  const bool isFly = mvtType == MVT_TYPE_FLY;
  stopAnimation(*model);
  if (hits.head) return;

  const float hop = 10.f;
  const bool blockedHigh = isFly && isCollidable(world, from, to + Float3(0.f, collisionHeight + hop, 0.f));
  const bool blockedLow = isFly ? isCollidable(world, from, to + Float3(0.f, hop, 0.f)) : hits.feet;
  speedForward = 0.f;
  speedLateral = 0.f;
  if (blockedHigh || blockedLow) return;
  if (speedVertical > 0.f) speedVertical = 0.f;
  // Flying over a low obstacle: hop up and carry on the motion.
  setPosition(isFly ? to + Float3(0.f, hop, 0.f) + (to - from) : to);
}

void Player::draw() {
  if (!(cameraDistance > 1.f)) return;
  glEnable(GL_TEXTURE_2D);
  glPolygonMode(GL_BACK, GL_LINE);
  glPolygonMode(GL_FRONT, GL_FILL);
  glEnable(GL_CULL_FACE);
  glPushMatrix();
  const Float3 position = getPosition();
  glTranslatef(position.x(), position.y(), position.z());
  glRotatef(camera()->getYaw() + 180.f, 0.f, 1.f, 0.f);
  // The body is opaque: lit, its fragments take the material's alpha (0.8), which blending
  // would let the scene behind show through. The alpha test still cuts out its texture's
  // transparent texels. (Blended only as the reference of the opaque path.)
  glPushAttrib(GL_ENABLE_BIT);
  if (GLManager::getScene3D()->getIsOpaqueDrawAllowed()) glDisable(GL_BLEND);
  model->draw();
  glPopAttrib();
  glPopMatrix();
}

void Player::mouseEvent(const MouseEvent& event) {
  if (event.kind == MouseEvent::buttonPressed && event.button == 3) {
    if (cameraDistance > 0.f) {
      cameraDistance /= cameraZoomFactor;
      if (cameraDistance < 1.f) cameraDistance = 0.f;
    }
  } else if (event.kind == MouseEvent::buttonPressed && event.button == 4) {
    if (cameraDistance < maxCameraDistance) {
      if (cameraDistance == 0.f) cameraDistance = 1.f;
      cameraDistance = std::min(cameraDistance * cameraZoomFactor, maxCameraDistance);
    }
  } else if (event.kind == MouseEvent::motionWithButton || event.kind == MouseEvent::motionWithoutButton) {
    const Int2 centre = windowCentre();
    Camera* view = camera();
    // The vertical motion uses the horizontal key and the horizontal motion the vertical key.
    view->rotatePitch(static_cast<float>(event.y - centre.y()) * (isReverseMouseYCamera ? 1.f : -1.f) *
                      configFloat("mouse_horizontal_speed"));
    view->rotateYaw(static_cast<float>(centre.x() - event.x) * configFloat("mouse_vertical_speed"));
    if (view->getPitch() > 90.f) {
      view->rotatePitch(-view->getPitch());
      view->setPitch(90.f);
    } else if (view->getPitch() < -90.f) {
      view->setPitch(-90.f);
    }
    glutWarpPointer(centre.x(), centre.y());
  }
}

// ---------------------------------------------------------------------------------------------
// Game save record

bool Player::writeRecord(FILE* file, const Record& record) {
  unsigned char bytes[recordSize];
  putFloat(bytes, record.position.x());
  putFloat(bytes + 4, record.position.y());
  putFloat(bytes + 8, record.position.z());
  putFloat(bytes + 12, record.yaw);
  putFloat(bytes + 16, record.pitch);
  const uint32_t type = static_cast<uint32_t>(record.mvtType);
  for (int i = 0; i < 4; ++i) bytes[20 + i] = static_cast<unsigned char>(type >> (8 * i));
  return std::fwrite(bytes, 1, recordSize, file) == static_cast<size_t>(recordSize);
}

bool Player::readRecord(FILE* file, Record& record) {
  unsigned char bytes[recordSize];
  if (std::fread(bytes, 1, recordSize, file) != static_cast<size_t>(recordSize)) return false;
  Record read;
  read.position = Float3(getFloat(bytes), getFloat(bytes + 4), getFloat(bytes + 8));
  read.yaw = getFloat(bytes + 12);
  read.pitch = getFloat(bytes + 16);
  read.mvtType = static_cast<int32_t>(getUint32(bytes + 20));
  if (!isRecordValid(read)) return false;
  record = read;
  return true;
}

bool Player::isRecordValid(const Record& record) {
  for (int i = 0; i < 3; ++i)
    if (!std::isfinite(record.position[i])) return false;
  return std::isfinite(record.yaw) && std::isfinite(record.pitch) && record.mvtType >= MVT_TYPE_WALK &&
         record.mvtType <= MVT_TYPE_NONE;
}

Player::Record Player::getRecord() const {
  Record record;
  record.position = getPosition();
  record.yaw = camera()->getYaw();
  record.pitch = camera()->getPitch();
  record.mvtType = mvtType;
  return record;
}

void Player::applyRecord(const Record& record) {
  setPosition(record.position);
  camera()->setYaw(record.yaw);
  camera()->setPitch(record.pitch);
  mvtType = record.mvtType;
}

bool Player::save(FILE* file) const { return writeRecord(file, getRecord()); }

bool Player::load(FILE* file) {
  Record record;
  if (!readRecord(file, record)) return false;
  applyRecord(record);
  return true;
}
