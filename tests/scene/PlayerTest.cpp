#include <gtest/gtest.h>

#include <GL/freeglut.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <memory>
#include <string>

#include "Animated3DModel.h"
#include "Camera.h"
#include "GLManager.h"
#include "world/IndexedWorld.h"
#include "KeyboardManager.h"
#include "scene/Player.h"
#include "Scene3D.h"
#include "Sound_Abstract.h"
#include "TempDir.h"
#include "scene/World.h"
#include "WorldTestHelpers.h"

// Cubes of edge 10 (the sample configuration): cube (x, y, z) covers [10x, 10x + 10) on each
// axis. The floor's top is y = 0; the player stands a hair above it. Yaw 0 looks toward -z:
// forward moves the player toward -z and strafing right toward +x.
namespace {

constexpr float standingHeight = 0.001f;
constexpr int64_t fullPeriod = Player::maxPeriodMicroseconds;

class PlayerTest : public testing::Test {
 protected:
  void SetUp() override {
    XMLSimple& config = loadSampleConfiguration();
    // Speeds a walk reaches in a few steps: +0.002 and -0.001 per step up to 0.01.
    config.setDouble("player_speed_max", 0.01);
    config.setDouble("player_speed_capacity", 0.002);
    config.setDouble("player_speed_deceleration", 0.001);
    world = std::make_unique<World>(emptyWorldFile(), nullptr, testSoundSystem(), "world.lua");
    player = world->getPlayer();
    camera()->setRotation(Float3(0.f, 0.f, 0.f));
    const std::string names[6];
    const bool options[3] = {true, true, true};
    stone = world->getIndexedWorld().addCubeType(names, options, true);
    mist = world->getIndexedWorld().addCubeType(names, options, false);
  }

  void TearDown() override {
    keys()->releaseAllKeys();
    GLManager::mouseButton(GLUT_RIGHT_BUTTON, GLUT_UP, 0, 0);
    world.reset();
  }

  static KeyboardManager* keys() { return GLManager::getKeyboardManager(); }
  static Camera* camera() { return GLManager::getScene3D()->getCamera(); }

  /// Cubes from cube corner `from` (inclusive) to `to` (exclusive).
  void addCubes(Int3 from, Int3 to, int id) {
    ASSERT_TRUE(world->getIndexedWorld().addCubesParallelepiped(from, to, id));
  }
  /// A floor 200 x 200 around the origin, top at y = 0.
  void addFloor() { addCubes(Int3(-10, -1, -10), Int3(10, 0, 10), stone); }

  /// Puts the player on the floor and lets it land.
  void standOnFloor() {
    addFloor();
    player->setPosition(Float3(0.f, standingHeight, 0.f));
    player->manage(*world, 16667);
    ASSERT_TRUE(player->getOnGround());
  }

  /// Walks forward in frames of 1/60 s until a frame leaves the player where it was; false
  /// when that never happens.
  bool walkForwardUntilBlocked() {
    keys()->keyDown('e');
    for (int i = 0; i < 100; ++i) {
      const float before = player->getPosition().z();
      player->manage(*world, 16667);
      if (player->getPosition().z() == before) return true;
    }
    return false;
  }

  std::unique_ptr<World> world;
  Player* player = nullptr;
  int stone = -1;
  int mist = -1;
};

// ---- Fixed steps

TEST_F(PlayerTest, APeriodOfOneSixtiethSecondIsOneHundredSixtySevenGravityAndMotionSteps) {
  XMLSimple& config = DeviceManager::getInstance()->getConfig();
  config.setDouble("player_speed_max", 1.0);
  config.setDouble("player_speed_capacity", 0.001);
  config.setDouble("player_speed_deceleration", 0.0);
  player->setPosition(Float3(0.f, 100.f, 0.f));
  keys()->keyDown('e');
  player->manage(*world, 16667);

  // Gravity: 167 steps of -0.000003 each, the candidate falling by the running speed.
  EXPECT_NEAR(player->getSpeedVertical(), -167 * 0.000003f, 1e-7f);
  EXPECT_NEAR(player->getPosition().y(), 100.f - 0.000003f * 167 * 168 / 2, 1e-3f);
  // Motion: 167 steps gaining 0.001 each, moving by the running speed toward -z.
  EXPECT_NEAR(player->getSpeedForward(), 0.167f, 1e-5f);
  EXPECT_NEAR(player->getPosition().z(), -0.001f * 167 * 168 / 2, 1e-3f);
  EXPECT_NEAR(player->getPosition().x(), 0.f, 1e-4f);
  EXPECT_FALSE(player->getOnGround());
}

TEST_F(PlayerTest, APeriodIsCappedAtOneTenthOfASecondAndAZeroPeriodStillMovesOnce) {
  XMLSimple& config = DeviceManager::getInstance()->getConfig();
  config.setDouble("player_speed_max", 10.0);
  config.setDouble("player_speed_capacity", 0.001);
  config.setDouble("player_speed_deceleration", 0.0);
  player->setPosition(Float3(0.f, 100.f, 0.f));
  keys()->keyDown('e');
  player->manage(*world, 5000000);  // 50 s: counted as 0.1 s
  EXPECT_NEAR(player->getSpeedVertical(), -1000 * 0.000003f, 1e-6f);
  EXPECT_NEAR(player->getSpeedForward(), 1.f, 1e-4f);

  player->setSpeeds(0.f, 0.f, 0.f);
  player->manage(*world, 0);
  EXPECT_EQ(player->getSpeedVertical(), 0.f);  // no gravity step
  EXPECT_NEAR(player->getSpeedForward(), 0.001f, 1e-7f);  // one motion step
}

// ---- Ground, jump, walls

TEST_F(PlayerTest, StandingOnAFloorKeepsTheHeightAndTheGround) {
  standOnFloor();
  for (int i = 0; i < 20; ++i) {
    player->manage(*world, 16667);
    ASSERT_TRUE(player->getOnGround());
    ASSERT_EQ(player->getSpeedVertical(), 0.f);
    ASSERT_EQ(player->getPosition(), Float3(0.f, standingHeight, 0.f));
  }
}

TEST_F(PlayerTest, FallingOntoTheGroundStopsAboveItThenSettles) {
  addFloor();
  player->setPosition(Float3(5.f, 50.f, -5.f));
  int frames = 0;
  while (!player->getOnGround() && frames < 1000) {
    player->manage(*world, 16667);
    ++frames;
  }
  // The fall stops where the last whole frame of it would have entered the floor.
  ASSERT_TRUE(player->getOnGround());
  EXPECT_EQ(player->getSpeedVertical(), 0.f);
  EXPECT_GE(player->getPosition().y(), 0.f);
  EXPECT_LT(player->getPosition().y(), 5.f);
  // Then each frame falls from rest (0.042 in 167 steps) until that reaches the floor.
  for (int i = 0; i < 200; ++i) player->manage(*world, 16667);
  EXPECT_TRUE(player->getOnGround());
  EXPECT_GE(player->getPosition().y(), 0.f);
  EXPECT_LT(player->getPosition().y(), 0.000003f * 167 * 168 / 2);
  EXPECT_EQ(player->getPosition().x(), 5.f);
}

TEST_F(PlayerTest, AJumpRisesForAboutFourThousandStepsWithItsSound) {
  standOnFloor();
  keys()->keyDown(' ');
  player->manage(*world, fullPeriod);
  EXPECT_FALSE(player->getOnGround());
  EXPECT_NEAR(player->getSpeedVertical(), 0.0125f - 1000 * 0.000003f, 1e-6f);
  EXPECT_GT(player->getPosition().y(), 10.f);
  EXPECT_TRUE(player->getSoundJump()->isPlaying());

  // Holding space in the air does not jump again; the rise ends after about 4167 steps.
  for (int i = 0; i < 3; ++i) player->manage(*world, fullPeriod);
  EXPECT_GT(player->getSpeedVertical(), 0.f);  // 4000 steps
  player->manage(*world, fullPeriod);
  EXPECT_LT(player->getSpeedVertical(), 0.f);  // 5000 steps
  EXPECT_NEAR(player->getSpeedVertical(), 0.0125f - 5000 * 0.000003f, 1e-5f);
}

TEST_F(PlayerTest, TheRightMouseButtonJumpsToo) {
  standOnFloor();
  GLManager::mouseButton(GLUT_RIGHT_BUTTON, GLUT_DOWN, 400, 300);
  player->manage(*world, 16667);
  EXPECT_FALSE(player->getOnGround());
  EXPECT_GT(player->getSpeedVertical(), 0.f);
}

TEST_F(PlayerTest, WalkingIntoAWallStopsBeforeIt) {
  standOnFloor();
  // A wall three cubes high whose near face is at z = -20: head and feet corners meet it.
  addCubes(Int3(-10, 0, -4), Int3(10, 3, -2), stone);
  keys()->keyDown('e');
  float closest = 0.f;
  int stops = 0;
  for (int i = 0; i < 100; ++i) {
    const float before = player->getPosition().z();
    player->manage(*world, 16667);
    closest = std::min(closest, player->getPosition().z());
    if (player->getPosition().z() == before) {
      ++stops;
      EXPECT_FALSE(player->getModel()->getIsPlaying());
      EXPECT_EQ(player->getModel()->getCurrentFrame(), 0);
    }
  }
  EXPECT_GT(stops, 50);
  // The front of the box (6 units ahead) never enters the wall, and the player came close.
  EXPECT_GE(closest - player->getCollisionDepth(), -20.f);
  EXPECT_LT(closest, -10.f);
  EXPECT_TRUE(player->getOnGround());
}

TEST_F(PlayerTest, AWallHitOnlyByTheFeetStopsTheMoveAndClearsTheSpeeds) {
  standOnFloor();
  // One cube high (the head corners, 18 up, pass over it), near face at z = -20.
  addCubes(Int3(-10, 0, -4), Int3(10, 1, -2), stone);
  ASSERT_TRUE(walkForwardUntilBlocked());
  EXPECT_EQ(player->getSpeedForward(), 0.f);
  EXPECT_EQ(player->getSpeedLateral(), 0.f);
  EXPECT_GE(player->getPosition().z() - player->getCollisionDepth(), -20.f);
}

TEST_F(PlayerTest, AWallHitOnlyByTheHeadStopsTheMoveButKeepsTheSpeeds) {
  standOnFloor();
  // A beam at head height (y from 10 to 20; the head corners are at 18), near face z = -20.
  addCubes(Int3(-10, 1, -4), Int3(10, 2, -2), stone);
  ASSERT_TRUE(walkForwardUntilBlocked());
  EXPECT_GT(player->getSpeedForward(), 0.f);
  EXPECT_GE(player->getPosition().z() - player->getCollisionDepth(), -20.f);
}

// ---- Long frames and the whole box

TEST_F(PlayerTest, ALongFallInSlowFramesLandsOnAOneCubeFloor) {
  // One cube thick, y from 0 to 10; at 80 ms a frame the fall soon covers more than that.
  addCubes(Int3(-10, 0, -10), Int3(10, 1, 10), stone);
  player->setPosition(Float3(0.f, 400.f, 0.f));
  for (int frame = 0; frame < 80; ++frame) player->manage(*world, 80000);
  EXPECT_TRUE(player->getOnGround());
  EXPECT_GE(player->getPosition().y(), 10.f);
  EXPECT_LT(player->getPosition().y(), 11.f);
}

TEST_F(PlayerTest, FastWalkingDrivingAndFlyingStopAtAOneCubeWall) {
  DeviceManager::getInstance()->getConfig().setDouble("player_speed_max", 0.05);  // 50 a frame, 100 driving
  addCubes(Int3(-3, -1, -30), Int3(3, 0, 3), stone);
  // Three cubes high, one thick: z from -130 to -120, where a frame's end would be past it.
  addCubes(Int3(-3, 0, -13), Int3(3, 3, -12), stone);
  keys()->keyDown('e');
  for (int32_t type : {Player::MVT_TYPE_WALK, Player::MVT_TYPE_CAR, Player::MVT_TYPE_FLY}) {
    player->setMovementType(type);
    player->setPosition(Float3(0.f, standingHeight, 0.f));
    for (int frame = 0; frame < 30; ++frame) player->manage(*world, fullPeriod);
    EXPECT_GE(player->getPosition().z() - player->getCollisionDepth(), -120.f) << type;
    EXPECT_LT(player->getPosition().z(), -40.f) << type;
  }
}

TEST_F(PlayerTest, APillarNarrowerThanTheBoxBlocksAWalkingPlayer) {
  standOnFloor();
  // One cube, x from 0 to 10, z from -30 to -20; the player's centre walks into it, the
  // corners of its 12-wide box pass either side.
  addCubes(Int3(0, 0, -3), Int3(1, 3, -2), stone);
  player->setPosition(Float3(5.f, standingHeight, 0.f));
  ASSERT_TRUE(walkForwardUntilBlocked());
  for (int frame = 0; frame < 30; ++frame) player->manage(*world, 16667);
  EXPECT_GE(player->getPosition().z() - player->getCollisionDepth(), -20.f);
  EXPECT_LT(player->getPosition().z(), -10.f);
}

TEST_F(PlayerTest, CubesOfANonCollidableTypeDoNotStopThePlayer) {
  standOnFloor();
  addCubes(Int3(-10, 0, -4), Int3(10, 3, -2), mist);
  keys()->keyDown('e');
  for (int i = 0; i < 60; ++i) player->manage(*world, fullPeriod);
  EXPECT_LT(player->getPosition().z(), -40.f);
}

TEST_F(PlayerTest, CursorAndLetterKeysInEitherCase) {
  standOnFloor();
  keys()->keyDown('F');  // strafe right: +x
  player->manage(*world, fullPeriod);
  EXPECT_GT(player->getPosition().x(), 1.f);
  EXPECT_NEAR(player->getPosition().z(), 0.f, 1e-3f);
  keys()->keyUp('F');
  player->manage(*world, fullPeriod);  // decelerates to 0

  const Float3 before = player->getPosition();
  keys()->specialKeyDown(GLUT_KEY_DOWN);  // backward: +z
  player->manage(*world, fullPeriod);
  EXPECT_GT(player->getPosition().z(), before.z() + 1.f);
}

TEST_F(PlayerTest, TurnKeysTurnTheCameraByTheElapsedTime) {
  keys()->specialKeyDown(GLUT_KEY_LEFT);
  player->manage(*world, fullPeriod);
  EXPECT_NEAR(camera()->getYaw(), 18.f, 1e-4f);
  keys()->specialKeyUp(GLUT_KEY_LEFT);
  keys()->specialKeyDown(GLUT_KEY_RIGHT);
  player->manage(*world, 50000);
  EXPECT_NEAR(camera()->getYaw(), 9.f, 1e-4f);
}

TEST_F(PlayerTest, TheHeadingFollowsTheCameraYaw) {
  standOnFloor();
  camera()->setYaw(90.f);  // looking toward -x
  keys()->keyDown('e');
  player->manage(*world, fullPeriod);
  EXPECT_LT(player->getPosition().x(), -1.f);
  EXPECT_NEAR(player->getPosition().z(), 0.f, 1e-3f);
}

// ---- Movement types

TEST_F(PlayerTest, FlyingRisesDescendsWithoutGravityAndIgnoresBackward) {
  player->setMovementType(Player::MVT_TYPE_FLY);
  player->setPosition(Float3(0.f, 100.f, 0.f));
  player->manage(*world, fullPeriod);
  EXPECT_EQ(player->getPosition().y(), 100.f);  // no gravity

  keys()->keyDown(' ');
  player->manage(*world, 10000);  // 100 steps of 0.1
  EXPECT_NEAR(player->getPosition().y(), 110.f, 1e-3f);
  keys()->keyUp(' ');
  keys()->keyDown('c');
  player->manage(*world, 20000);
  EXPECT_NEAR(player->getPosition().y(), 90.f, 1e-3f);
  keys()->keyUp('c');

  keys()->keyDown('d');
  player->manage(*world, fullPeriod);
  EXPECT_EQ(player->getSpeedForward(), 0.f);
  EXPECT_EQ(player->getPosition().z(), 0.f);

  EXPECT_EQ(player->getModel()->getIdFrameMin(), 3);
  EXPECT_EQ(player->getModel()->getIdFrameMax(), 4);
  EXPECT_TRUE(player->getModel()->getIsPlaying());
}

TEST_F(PlayerTest, FlyingHopsOverALowObstacleAndStopsAtATallOne) {
  addFloor();
  // One cube high from z = -20 to -40, then a tall wall from z = -100 to -120.
  addCubes(Int3(-10, 0, -4), Int3(10, 1, -2), stone);
  addCubes(Int3(-10, 0, -12), Int3(10, 6, -10), stone);
  player->setMovementType(Player::MVT_TYPE_FLY);
  player->setPosition(Float3(0.f, standingHeight, 0.f));
  keys()->keyDown('e');
  bool hopped = false;
  for (int i = 0; i < 40 && !hopped; ++i) {
    const Float3 before = player->getPosition();
    player->manage(*world, 50000);
    if (player->getPosition().y() > before.y()) {
      hopped = true;
      // Up by 10 and on by twice the step: the candidate plus the same motion again.
      EXPECT_NEAR(player->getPosition().y(), before.y() + 10.f, 1e-3f);
      EXPECT_LT(player->getPosition().z(), -20.f);
    }
  }
  ASSERT_TRUE(hopped);

  bool blocked = false;
  for (int i = 0; i < 100 && !blocked; ++i) {
    const Float3 before = player->getPosition();
    player->manage(*world, 50000);
    if (player->getPosition() == before) {
      blocked = true;
      // Flying, only the centre of the box is kept out of the wall.
      EXPECT_GT(player->getPosition().z(), -100.f);
    }
  }
  EXPECT_TRUE(blocked);
}

TEST_F(PlayerTest, ACarNeitherStrafesNorJumpsAndDoesNotAnimate) {
  standOnFloor();
  player->setMovementType(Player::MVT_TYPE_CAR);
  keys()->keyDown('s');
  keys()->keyDown('f');
  keys()->keyDown(' ');
  player->manage(*world, fullPeriod);
  EXPECT_EQ(player->getSpeedLateral(), 0.f);
  EXPECT_EQ(player->getSpeedVertical(), 0.f);
  EXPECT_TRUE(player->getOnGround());
  EXPECT_EQ(player->getPosition().x(), 0.f);

  keys()->keyDown('e');
  player->manage(*world, fullPeriod);
  // Twice the walking top speed: 0.02, reached with +0.004 - 0.0005 per step.
  EXPECT_GT(player->getSpeedForward(), 0.015f);
  EXPECT_LE(player->getSpeedForward(), 0.02f + 0.004f);
  EXPECT_FALSE(player->getModel()->getIsPlaying());
  EXPECT_EQ(player->getModel()->getCurrentFrame(), 0);
}

TEST_F(PlayerTest, NoMovementTypeFreezesThePlayerOnItsFirstFrame) {
  player->setPosition(Float3(3.f, 100.f, 4.f));
  player->setMovementType(Player::MVT_TYPE_NONE);
  keys()->keyDown('e');
  keys()->specialKeyDown(GLUT_KEY_LEFT);
  player->manage(*world, fullPeriod);
  EXPECT_EQ(player->getPosition(), Float3(3.f, 100.f, 4.f));
  EXPECT_EQ(camera()->getYaw(), 0.f);
  EXPECT_EQ(player->getModel()->getIdFrameMax(), 2);
  EXPECT_EQ(player->getModel()->getCurrentFrame(), 0);
  EXPECT_FALSE(player->getModel()->getIsPlaying());
}

TEST_F(PlayerTest, SettingAMovementTypeClearsTheSpeedsButDoesNotMove) {
  player->setPosition(Float3(1.f, 2.f, 3.f));
  player->setSpeeds(0.5f, 0.25f, -0.5f);
  player->setMovementType(Player::MVT_TYPE_FLY);
  EXPECT_EQ(player->getMvtType(), Player::MVT_TYPE_FLY);
  EXPECT_EQ(player->getSpeedForward(), 0.f);
  EXPECT_EQ(player->getSpeedVertical(), 0.f);
  EXPECT_EQ(player->getSpeedLateral(), 0.f);
  EXPECT_EQ(player->getPosition(), Float3(1.f, 2.f, 3.f));
}

TEST_F(PlayerTest, AnUnknownMovementTypeIsFatal) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  player->setMovementType(7);
  EXPECT_EXIT(player->manage(*world, 16667), testing::ExitedWithCode(1), "Condition: mvtType == MVT_TYPE_WALK");
}

// ---- Animation and sounds

TEST_F(PlayerTest, WalkingAnimatesWithADelayFromTheSpeedAndPlaysFootsteps) {
  standOnFloor();
  DeviceManager::getInstance()->getConfig().setDouble("player_animation_speed", 100.0);
  player->getModel()->setCurrentFrame(4);
  keys()->keyDown('e');
  player->manage(*world, fullPeriod);
  Animated3DModel* model = player->getModel();
  EXPECT_EQ(model->getIdFrameMin(), 0);
  EXPECT_EQ(model->getIdFrameMax(), 2);
  EXPECT_EQ(model->getCurrentFrame(), 0);  // outside the walk range
  EXPECT_TRUE(model->getIsPlaying());
  EXPECT_TRUE(model->getIsForward());
  const float s = player->getSpeedForward() * 100.f;
  EXPECT_EQ(model->getFrameDelay(), static_cast<int>(50.f / s));

  // Fast enough and already animating: the footsteps start.
  player->getSoundWalk()->stop();
  player->manage(*world, fullPeriod);
  EXPECT_TRUE(player->getSoundWalk()->isPlaying());

  // Standing still stops the animation on frame 0.
  keys()->keyUp('e');
  player->manage(*world, fullPeriod);
  EXPECT_FALSE(model->getIsPlaying());
  EXPECT_EQ(model->getCurrentFrame(), 0);
}

TEST_F(PlayerTest, InTheAirTheWalkAnimationStops) {
  DeviceManager::getInstance()->getConfig().setDouble("player_animation_speed", 100.0);
  player->setPosition(Float3(0.f, 100.f, 0.f));
  keys()->keyDown('e');
  player->manage(*world, fullPeriod);
  EXPECT_FALSE(player->getModel()->getIsPlaying());
}

TEST_F(PlayerTest, ChangingTheModelDirectoryReloadsTheModelWhereThePlayerWas) {
  TempDir directory;
  for (const std::string name : {"player_frame1.obj", "player_frame2.obj", "player_frame3.obj", "player_frame4.obj",
                                 "player_frame5.obj", "player.mtl", "player.png"})
    directory.write(name, readFile("models/player/" + name));
  player->setMovementType(Player::MVT_TYPE_NONE);
  player->setPosition(Float3(12.f, 34.f, 56.f));
  DeviceManager::getInstance()->getConfig().setString("player_model_directory", directory.path());
  player->manage(*world, 16667);
  EXPECT_EQ(player->getModelDirectory(), directory.path());
  EXPECT_EQ(player->getModel()->getNbFrames(), 5);
  EXPECT_EQ(player->getPosition(), Float3(12.f, 34.f, 56.f));
}

TEST_F(PlayerTest, APlayerWithoutItsSoundsIsFatal) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(Player(nullptr), testing::ExitedWithCode(1),
              "Condition: model != NULL && soundWalk != NULL && soundJump != NULL");
}

// ---- Mouse

TEST_F(PlayerTest, TheWheelZoomsInToFirstPersonAndOutToNineHundred) {
  const MouseEvent wheelUp{400, 300, 3, MouseEvent::buttonPressed};
  const MouseEvent wheelDown{400, 300, 4, MouseEvent::buttonPressed};
  float expected = 30.f;
  int steps = 0;
  while (player->getCameraDistance() > 0.f) {
    player->mouseEvent(wheelUp);
    expected /= 1.4f;
    ++steps;
    EXPECT_FLOAT_EQ(player->getCameraDistance(), expected < 1.f ? 0.f : expected);
  }
  EXPECT_EQ(steps, 11);
  player->mouseEvent(wheelUp);
  EXPECT_EQ(player->getCameraDistance(), 0.f);

  player->mouseEvent(wheelDown);
  EXPECT_FLOAT_EQ(player->getCameraDistance(), 1.4f);
  for (int i = 0; i < 40; ++i) {
    player->mouseEvent(wheelDown);
    ASSERT_LE(player->getCameraDistance(), 900.f);
  }
  EXPECT_EQ(player->getCameraDistance(), 900.f);
  // A release of a wheel button changes nothing.
  player->mouseEvent(MouseEvent{400, 300, 3, MouseEvent::buttonReleased});
  EXPECT_EQ(player->getCameraDistance(), 900.f);
}

TEST_F(PlayerTest, MouseMotionTurnsTheCameraFromTheWindowCentre) {
  const double speed = DeviceManager::getInstance()->getConfig().getDouble("mouse_horizontal_speed");
  const Int2 centre = GLManager::getWindowSize() / 2;
  player->mouseEvent(MouseEvent{centre.x(), centre.y() + 10, -1, MouseEvent::motionWithoutButton});
  EXPECT_NEAR(camera()->getPitch(), -10.f * speed, 1e-5f);

  camera()->setRotation(Float3(0.f, 0.f, 0.f));
  player->setIsReverseMouseYCamera(true);
  player->mouseEvent(MouseEvent{centre.x(), centre.y() + 10, -1, MouseEvent::motionWithButton});
  EXPECT_NEAR(camera()->getPitch(), 10.f * speed, 1e-5f);

  camera()->setRotation(Float3(0.f, 0.f, 0.f));
  DeviceManager::getInstance()->getConfig().setDouble("mouse_vertical_speed", 0.5);
  player->mouseEvent(MouseEvent{centre.x() - 20, centre.y(), -1, MouseEvent::motionWithoutButton});
  EXPECT_NEAR(camera()->getYaw(), 10.f, 1e-5f);
  EXPECT_EQ(camera()->getPitch(), 0.f);

  // Button events do not turn.
  player->mouseEvent(MouseEvent{0, 0, 0, MouseEvent::buttonPressed});
  EXPECT_NEAR(camera()->getYaw(), 10.f, 1e-5f);
}

TEST_F(PlayerTest, ThePitchNeverLeavesMinusNinetyToNinety) {
  const Int2 centre = GLManager::getWindowSize() / 2;
  for (int i = 0; i < 50; ++i) {
    player->mouseEvent(MouseEvent{centre.x(), centre.y() - 37, -1, MouseEvent::motionWithoutButton});
    ASSERT_LE(camera()->getPitch(), 90.f);
  }
  EXPECT_EQ(camera()->getPitch(), 90.f);
  for (int i = 0; i < 100; ++i) {
    player->mouseEvent(MouseEvent{centre.x(), centre.y() + 41, -1, MouseEvent::motionWithoutButton});
    ASSERT_GE(camera()->getPitch(), -90.f);
  }
  EXPECT_EQ(camera()->getPitch(), -90.f);
}

// ---- Game save record

std::string recordBytes(const Player::Record& record) {
  FILE* file = std::tmpfile();
  EXPECT_TRUE(Player::writeRecord(file, record));
  std::rewind(file);
  std::string bytes(64, '\0');
  bytes.resize(std::fread(&bytes[0], 1, bytes.size(), file));
  std::fclose(file);
  return bytes;
}

bool readBytes(const std::string& bytes, Player::Record& record) {
  FILE* file = std::tmpfile();
  std::fwrite(bytes.data(), 1, bytes.size(), file);
  std::rewind(file);
  const bool isRead = Player::readRecord(file, record);
  std::fclose(file);
  return isRead;
}

TEST_F(PlayerTest, TheRecordIsTwentyFourLittleEndianBytes) {
  Player::Record record;
  record.position = Float3(1.f, -2.f, 0.5f);
  record.yaw = 45.f;
  record.pitch = -30.f;
  record.mvtType = Player::MVT_TYPE_FLY;
  const std::string expected("\x00\x00\x80\x3f" "\x00\x00\x00\xc0" "\x00\x00\x00\x3f"
                             "\x00\x00\x34\x42" "\x00\x00\xf0\xc1" "\x02\x00\x00\x00", 24);
  EXPECT_EQ(recordBytes(record), expected);
}

TEST_F(PlayerTest, SaveThenLoadRestoresPositionCameraAndMovementType) {
  player->setPosition(Float3(10.f, 20.f, -30.f));
  camera()->setYaw(123.f);
  camera()->setPitch(-45.f);
  player->setMovementType(Player::MVT_TYPE_CAR);
  FILE* file = std::tmpfile();
  ASSERT_TRUE(player->save(file));
  EXPECT_EQ(std::ftell(file), Player::recordSize);

  player->setPosition(Float3(0.f, 0.f, 0.f));
  camera()->setRotation(Float3(10.f, 20.f, 0.f));
  player->setMovementType(Player::MVT_TYPE_WALK);
  std::rewind(file);
  ASSERT_TRUE(player->load(file));
  std::fclose(file);
  EXPECT_EQ(player->getPosition(), Float3(10.f, 20.f, -30.f));
  EXPECT_FLOAT_EQ(camera()->getYaw(), 123.f);
  EXPECT_FLOAT_EQ(camera()->getPitch(), -45.f);
  EXPECT_EQ(player->getMvtType(), Player::MVT_TYPE_CAR);
}

TEST_F(PlayerTest, ADamagedRecordIsRefusedAndChangesNothing) {
  Player::Record good;
  good.position = Float3(1.f, 2.f, 3.f);
  const std::string bytes = recordBytes(good);
  Player::Record read;
  ASSERT_TRUE(readBytes(bytes, read));
  EXPECT_EQ(read.position, good.position);

  const Player::Record untouched = read;
  auto expectRefused = [&](const std::string& damaged, const char* what) {
    Player::Record target = untouched;
    EXPECT_FALSE(readBytes(damaged, target)) << what;
    EXPECT_EQ(target.position, untouched.position) << what;
    EXPECT_EQ(target.mvtType, untouched.mvtType) << what;
  };
  expectRefused(bytes.substr(0, 23), "short");
  expectRefused("", "empty");
  std::string nan = bytes;
  std::memcpy(&nan[4], "\x00\x00\xc0\x7f", 4);
  expectRefused(nan, "position not a number");
  std::string infinite = bytes;
  std::memcpy(&infinite[16], "\x00\x00\x80\x7f", 4);
  expectRefused(infinite, "infinite pitch");
  for (const char* type : {"\x04\x00\x00\x00", "\xff\xff\xff\xff"}) {
    std::string badType = bytes;
    std::memcpy(&badType[20], type, 4);
    expectRefused(badType, "movement type");
  }

  // Through the player: nothing moves.
  player->setPosition(Float3(7.f, 8.f, 9.f));
  camera()->setYaw(33.f);
  FILE* file = std::tmpfile();
  std::fwrite(nan.data(), 1, nan.size(), file);
  std::rewind(file);
  EXPECT_FALSE(player->load(file));
  std::fclose(file);
  EXPECT_EQ(player->getPosition(), Float3(7.f, 8.f, 9.f));
  EXPECT_FLOAT_EQ(camera()->getYaw(), 33.f);
}

}  // namespace
