#include "scene/World.h"

#include <GL/glew.h>

#include <iostream>

#include "world/CubeTypeManager.h"
#include "meshing/CubesTable.h"
#include "world/CustomObject.h"
#include "DeviceManager.h"
#include "Fog.h"
#include "scene/PassTimings.h"
#include "scene/Player.h"
#include "Scene2D.h"
#include "Scene3D.h"
#include "scene/Skybox.h"
#include "Sprite.h"
#include "SpriteManager.h"
#include "scene/Water.h"
#include "Assert.h"
#include "Utils.h"

namespace {

XMLSimple& config() { return DeviceManager::getInstance()->getConfig(); }

// The lighting flag of the 3D scene, GL lighting and the quadrics' normals move together.
void setLighting(bool isOn) {
  Scene3D* scene = GLManager::getScene3D();
  scene->setIsLighting(isOn);
  if (isOn)
    glEnable(GL_LIGHTING);
  else
    glDisable(GL_LIGHTING);
  if (scene->getQuadric() != nullptr) gluQuadricNormals(scene->getQuadric(), isOn ? GLU_FLAT : GLU_NONE);
}

}  // namespace

World::World(const std::string& parWorldFile, Font* parFont, SoundManager* parSound,
             const std::string& parScriptFile, std::vector<std::string>* parObjectTypeNames)
    : indexedWorld(parWorldFile, parObjectTypeNames),
      streamer(indexedWorld),
      font(parFont),
      viewDistance(static_cast<float>(config().getDouble("default_distance_vision")) + viewDistanceMargin),
      worldFile(parWorldFile),
      scriptFile(parScriptFile) {
  showLoadingScreen();

  Scene3D* scene = GLManager::getScene3D();
  scene->setFieldOfView(90.f);
  setLighting(true);

  std::cout << "==== Loading player" << std::endl;
  player = std::make_unique<Player>(parSound);
  std::cout << "==== Player loaded" << std::endl;

  std::cout << "==== Loading skybox" << std::endl;
  skybox = std::make_unique<Skybox>(config().getString("skybox_directory"));
  std::cout << "==== Skybox loaded" << std::endl;

  std::cout << "==== Loading water" << std::endl;
  water = std::make_unique<Water>(CubesTable::getSizeOneCube());
  std::cout << "==== Water loaded" << std::endl;
}

World::~World() {
  water.reset();
  player.reset();
  skybox.reset();
}

void World::drawLoadingScreen(bool isShown) {
  Scene2D* screen = GLManager::getScene2D();
  screen->apply2DState();
  SpriteManager::clearScreen(Color(0, 0, 0, 255));
  glColor4ub(255, 255, 255, 255);
  SpriteManager* registry = GLManager::getSpriteManager();
  Sprite* loading = registry->createSprite(loadingImage, 2);
  loading->position = Int2(Scene2D::toCoordinate(screen->size2D.x() * 0.5),
                           Scene2D::toCoordinate(screen->size2D.y() * 0.5));
  loading->draw();
  if (isShown) GLManager::manageEvents();
  registry->deleteSprite(loading);
}

bool World::testCollision(Float3 start, Float3 point, Float3& hitPoint) {
  if (!indexedWorld.isCollidableAt(point)) return false;
  hitPoint = start;
  return true;
}

bool World::testSegment(Float3 start, Float3 end, Float3& hitPoint) {
  return indexedWorld.segmentHitsCube(start, end, hitPoint);
}

void World::manage(bool playerActive) {
  const std::string skyboxDirectory = config().getString("skybox_directory");
  if (skyboxDirectory != skybox->getDirectory()) {
    skybox.reset();
    skybox = std::make_unique<Skybox>(skyboxDirectory);
  }

  Scene3D* scene = GLManager::getScene3D();
  scene->setLight(0, scene->getCamera()->getPosition() + lightOffset(), -1.f, true);

  indexedWorld.getCubeTypeManager()->clearUsedFlags();
  CustomObject::resetUsedTypes();
  CustomObject::manageGlobalObjects();
  indexedWorld.stepCustomObjects(lastDrawRadius);

  if (playerActive && !fullscreenSpriteShown) player->manage(*this);

  water->loadTextures();

  if (config().getBool("adaptive_detail")) {
    adaptiveDetail.setBudgetMs(config().getDouble("adaptive_detail_budget_ms"));
    adaptiveDetail.addFrame(static_cast<double>(GLManager::getPeriodDuration()) / 1000.0);
  } else {
    adaptiveDetail.reset();
  }
}

float World::getDrawnViewDistance() const {
  const float scale = adaptiveDetail.getScale();
  // A view shorter than the margin has no configured part to shorten.
  if (!(scale < 1.f) || !(viewDistance > viewDistanceMargin)) return viewDistance;
  return (viewDistance - viewDistanceMargin) * scale + viewDistanceMargin;
}

void World::draw(bool editorMode) {
  glDisable(GL_FOG);
  if (fullscreenSpriteShown) return;

  Scene3D* scene = GLManager::getScene3D();
  scene->apply3DDrawState();
  setLighting(false);

  const float drawnDistance = getDrawnViewDistance();
  streamer.setNearScale(adaptiveDetail.getScale());
  scene->setFarPlane(drawnDistance * 2.f);
  const float skyboxEdge = scene->getFarPlane() - 1.f;
  skybox->size = Float3(skyboxEdge, skyboxEdge, skyboxEdge);

  // Without the opaque path, the reference order it is checked against: the sky under
  // everything, then the regions and their objects, then the player. The editor's translucent
  // region outlines, drawn as the regions are listed, want the sky under them too.
  const bool isSkyLast = scene->getIsOpaqueDrawAllowed() && !editorMode;
  if (!isSkyLast) {
    glDisable(GL_FOG);
    skybox->draw();
    if (passTimings) passTimings->endPass(PassTimings::skybox);
  }

  glColor4ub(255, 255, 255, 255);
  Fog::setFogDistance(drawnDistance - viewDistanceMargin, fogColour);

  // The opaque draws first, nearest first, each rejecting by depth what lies behind it before
  // shading it: the regions up to the first that can show what lies behind it, the player,
  // then the sky where nothing covers it (it writes its depth, so that what comes later beyond
  // it stays hidden as before). The rest of the regions and their objects, which may be
  // translucent, are then drawn over the sky as they always were.
  lastDrawRadius = drawnDistance;
  streamer.drawOpaque(drawnDistance, editorMode);
  if (passTimings) passTimings->endPass(PassTimings::regions);
  if (isSkyLast) {
    drawPlayer();
    glDisable(GL_FOG);
    skybox->draw();
    glColor4ub(255, 255, 255, 255);
    glEnable(GL_FOG);
    if (passTimings) passTimings->endPass(PassTimings::skybox);
  }

  streamer.drawTranslucent();
  // The regions drew their objects: the types none of them managed this frame go.
  indexedWorld.getCubeTypeManager()->freeUnusedTextures();
  CustomObject::unloadUnusedTypes();
  if (passTimings) passTimings->continuePass(PassTimings::regions);
  if (!isSkyLast) drawPlayer();
}

void World::drawPlayer() {
  setLighting(true);
  player->draw();
  setLighting(false);
  if (passTimings) passTimings->endPass(PassTimings::player);
}

bool World::isSkyCoveringScreen() const {
  // The box around the camera fills every direction when its images have no alpha and it lies
  // well inside the far plane (its corners reach 0.87 x the far plane).
  return !fullscreenSpriteShown && skybox->getIsOpaque() && viewDistance * 2.f - 1.f > 1.f &&
         GLManager::getScene3D()->getIsOpaqueDrawAllowed();
}

void World::clearScreen(BasicVector<4, unsigned char> colour) const {
  if (!isSkyCoveringScreen()) {
    SpriteManager::clearScreen(colour);
    return;
  }
  glClearColor(colour[0] / 255.f, colour[1] / 255.f, colour[2] / 255.f, colour[3] / 255.f);
  glClear(GL_DEPTH_BUFFER_BIT);
}

void World::drawWater() { drawWater(Utils::getTimeMs()); }

void World::drawWater(int64_t timeMs) {
  if (!fullscreenSpriteShown && config().getBool("enable_water")) {
    water->setSize(getDrawnViewDistance() * 4.f);
    water->follow(GLManager::getScene3D()->getCamera()->getPosition(), timeMs);
    water->draw();
  }
  glDisable(GL_FOG);
}

void World::drawWaterScreenTint() {
  if (fullscreenSpriteShown || !config().getBool("enable_water")) return;
  water->drawScreenTint(GLManager::getScene3D()->getCamera()->getPosition());
}

void World::setReverseMouseY(bool isReverse) {
  player->setIsReverseMouseYCamera(isReverse);
  std::cout << "isReverseMouseYCamera: " << (isReverse ? 1 : 0) << std::endl;
}
