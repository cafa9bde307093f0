#include "streaming/RegionStreamer.h"

#include <GL/glew.h>
#include <GL/glu.h>

#include <algorithm>
#include <cmath>
#include <iostream>

#include "DeviceManager.h"
#include "GLManager.h"
#include "Platform.h"
#include "Scene3D.h"
#include "SpriteManager.h"
#include "VBO.h"
#include "world/WorldIndexator.h"
#include "world/WorldRegion.h"
#include "Assert.h"

namespace {

const XMLSimple& config() { return DeviceManager::getInstance()->getConfig(); }

void setLightingOff() {
  Scene3D* scene = GLManager::getScene3D();
  scene->setIsLighting(false);
  glDisable(GL_LIGHTING);
  if (scene->getQuadric() != nullptr) gluQuadricNormals(scene->getQuadric(), GLU_NONE);
}

void apply3DPolygonModes() {
  glEnable(GL_TEXTURE_2D);
  glPolygonMode(GL_BACK, GL_LINE);
  glPolygonMode(GL_FRONT, GL_FILL);
  glEnable(GL_CULL_FACE);
}

}  // namespace

RegionStreamer::RegionStreamer(WorldIndexator& parWorld) : world(parWorld), arena(std::make_shared<VBOArena>()) {
  world.setRegionTableListener(this);
}

RegionStreamer::~RegionStreamer() { world.setRegionTableListener(nullptr); }

void RegionStreamer::regionsInvalidated() {
  regions.clear();
  areRegionsInBorder.clear();
  posIntRegions.clear();
  // The last draw's list would name regions that no longer exist.
  regionsDrawn.clear();
  drawOrder.clear();
  nextToDraw = 0;
}

void RegionStreamer::draw(float viewDistance, bool showBorders) {
  drawOpaque(viewDistance, showBorders);
  drawTranslucent();
}

void RegionStreamer::drawOpaque(float viewDistance, bool showBorders) {
  Scene3D* scene = GLManager::getScene3D();
  apply3DPolygonModes();
  setLightingOff();

  const Int3 c = world.getRegionIndexOf(scene->getCamera()->getPosition());
  const int g = world.getScanRadius(viewDistance);
  scanView(c, g, showBorders);

  apply3DPolygonModes();
  setLightingOff();
  assert(regions.size() == areRegionsInBorder.size() && regions.size() == posIntRegions.size());

  const Float3 viewer = scene->getCamera()->getPosition();
  float projection[16];
  glGetFloatv(GL_PROJECTION_MATRIX, projection);
  viewFrustum = Frustum(projection, scene->getViewMatrix());
  visibleDistance = viewDistance;

  buildRegionsInView(regions, areRegionsInBorder, posIntRegions, viewer);
  sortRegionsInView(viewer);
  if (drawOrder.empty()) return;
  // Opaque faces under the depth test: their order between textures does not matter.
  drawPass.begin(true);
  drawMeshes(true);
  drawPass.end();
}

void RegionStreamer::drawTranslucent() {
  // The shadows of the regions drawn so far, over the sky as over their faces before.
  if (!drawOrder.empty()) {
    drawPass.begin();
    for (size_t i = 0; i < nextToDraw; ++i) regions[drawOrder[i].second]->drawMesh(drawPass, VBO::Pass::drawnLast);
    drawMeshes(false);
    drawPass.end();
  }
  // The objects of every built region in view, seen or not, in list order as before; by index,
  // since an object's draw callback may edit the world, and a table grown by it empties the
  // list (every region is then unbuilt).
  for (size_t i = 0; i < regions.size(); ++i)
    if (regions[i]->isBuilt()) regions[i]->drawObjects();
  freeRegionsOutOfView();
}

double RegionStreamer::squaredDistanceToBox(const WorldRegion& region, const Float3& point) const {
  const float half = world.getSizeOneRegion() / 2.f;
  double squared = 0.0;
  for (int a = 0; a < 3; ++a) {
    const double centre = region.getPosition()[a];
    const double gap = std::max({0.0, centre - half - point[a], point[a] - (centre + half)});
    squared += gap * gap;
  }
  return squared;
}

bool RegionStreamer::isRegionVisible(const WorldRegion& region, const Float3& viewer) const {
  const float half = world.getSizeOneRegion() / 2.f;
  const Float3& centre = region.getPosition();
  const Float3 boxMin(centre.x() - half, centre.y() - half, centre.z() - half);
  const Float3 boxMax(centre.x() + half, centre.y() + half, centre.z() + half);
  if (viewFrustum.isBoxOutside(boxMin, boxMax)) return false;
  // The true distance, not the cube of regions scanned around the viewer.
  return !(squaredDistanceToBox(region, viewer) > (double)visibleDistance * visibleDistance);
}

void RegionStreamer::sortRegionsInView(const Float3& viewer) {
  // Nearest first, so that the depth test rejects what lies behind before it is shaded.
  drawOrder.clear();
  for (size_t i = 0; i < regions.size(); ++i) {
    // An empty mesh (the sky) draws nothing wherever it lies.
    const WorldRegion& region = *regions[i];
    if (region.isBuilt() && region.getVBO()->getNbVerticesTotal() > 0 && isRegionVisible(region, viewer))
      drawOrder.push_back(std::make_pair(squaredDistance(region.getPosition(), viewer), i));
  }
  std::sort(drawOrder.begin(), drawOrder.end());
  regionsDrawn.clear();
  nextToDraw = 0;
}

void RegionStreamer::drawMeshes(bool isOpaqueOnly) {
  for (; nextToDraw < drawOrder.size(); ++nextToDraw) {
    WorldRegion* region = regions[drawOrder[nextToDraw].second];
    if (isOpaqueOnly && region->getHasTranslucentFaces()) return;
    region->drawMesh(drawPass, isOpaqueOnly ? VBO::Pass::unmarked : VBO::Pass::all);
    regionsDrawn.push_back(region);
  }
}

void RegionStreamer::scanView(const Int3& c, int g, bool showBorders) {
  ++frameNumber;
  regions.clear();
  areRegionsInBorder.clear();
  posIntRegions.clear();
  const bool renderUnderWater = config().getBool("render_under_water");
  const int tableMinY = world.getTableRegionMin().y();
  // Indices outside the table are skipped, so the scan only visits the part of the cube
  // around the camera that lies in the table.
  Int3 from, to;
  world.clipToTable(c, g, from, to);
  for (int x = from[0]; x <= to[0]; ++x)
    for (int y = from[1]; y <= to[1]; ++y)
      for (int z = from[2]; z <= to[2]; ++z) {
        const Int3 posIndex(x, y, z);
        WorldRegion* region = world.getRegionInTable(posIndex);
        const bool border = std::abs((int64_t)x - c.x()) == g || std::abs((int64_t)y - c.y()) == g ||
                            std::abs((int64_t)z - c.z()) == g;
        if (renderUnderWater || tableMinY + y >= 0) {
          regions.push_back(region);
          areRegionsInBorder.push_back(border);
          posIntRegions.push_back(posIndex);
          region->setListedFrame(frameNumber);
        }
        if (showBorders) drawRegionBorder(*region);
      }
}

void RegionStreamer::drawRegionBorder(const WorldRegion& region) const {
  const float edge = world.getSizeOneRegion();
  const Color saved = SpriteManager::getCurrentColor();
  glColor4ub(255, 255, 255, 128);
  glDisable(GL_TEXTURE_2D);
  glPolygonMode(GL_FRONT_AND_BACK, GL_LINE);
  glDisable(GL_CULL_FACE);
  glPushMatrix();
  glLoadMatrixf(GLManager::getScene3D()->getViewMatrix());
  const Float3& centre = region.getPosition();
  glTranslatef(centre.x(), centre.y(), centre.z());
  Scene3D::drawBox(nullptr, false, Float3(edge, edge, edge), Float3(1.f, 1.f, 1.f));
  glPopMatrix();
  apply3DPolygonModes();
  glColor4ub(saved[0], saved[1], saved[2], saved[3]);
}

double RegionStreamer::getBuildBudgetMs() {
  const double configured = config().getDouble("region_build_budget_ms");
  return configured == 0.0 ? defaultBuildBudgetMs : configured;
}

void RegionStreamer::buildRegionsInView(const std::vector<WorldRegion*>& parRegions, const std::vector<bool>& borders,
                                        const std::vector<Int3>& indices, const Float3& viewer) {
  const float sizeOneRegion = world.getSizeOneRegion();
  const bool progressive = config().getBool("optimization_world_load_progressive");
  const double maxNear = config().getDouble("max_view_distance_detailed_in_region_units") * nearScale;
  const bool fastShadows = config().getBool("fast_shadows");
  // What needs a build: unbuilt regions and regions at the wrong detail (which keep showing their
  // current mesh until rebuilt), plus at most one shell region, and that only while no region
  // listed before it needs a build.
  buildOrder.clear();
  bool anyBefore = false;
  for (size_t i = 0; i < parRegions.size(); ++i) {
    WorldRegion* region = parRegions[i];
    if (borders[i]) {
      // Shell regions are only ever built far, one per frame: rebuilding one for its detail
      // would build it far again, so it would be dropped and rebuilt in every frame.
      if (region->isBuilt() || !progressive || anyBefore) continue;
      anyBefore = true;
    } else {
      const bool isNear = sizeOneRegion * maxNear > distance(region->getPosition(), viewer) && fastShadows;
      if (region->isBuilt() && region->getIsNear() == isNear) continue;
      anyBefore = true;
    }
    // First the unbuilt regions in sight right around the camera, which are built whatever the
    // budget (a hole there would be glaring); then the others in sight; nearest first.
    const bool isVisible = isRegionVisible(*region, viewer);
    const bool isUrgent = isVisible && !region->isBuilt() && squaredDistanceToBox(*region, viewer) < sizeOneRegion * sizeOneRegion;
    buildOrder.push_back(BuildCandidate(!isUrgent, !isVisible, squaredDistance(region->getPosition(), viewer), i));
  }
  std::sort(buildOrder.begin(), buildOrder.end());

  // The budget bounds the frame's building, but at least one region is built in every frame that
  // needs one, so that the view fills even when a single build takes longer than the budget.
  const double budgetMs = getBuildBudgetMs();
  const int64_t start = Platform::getMicroseconds();
  bool anyBuilt = false;
  int count = 0;
  int64_t buffers = 0;
  int64_t vertices = 0;
  for (const BuildCandidate& candidate : buildOrder) {
    const bool isUrgent = !std::get<0>(candidate);
    if (anyBuilt && !isUrgent && budgetMs >= 0.0 && (double)(Platform::getMicroseconds() - start) >= budgetMs * 1000.0)
      break;
    const size_t i = std::get<3>(candidate);
    WorldRegion* region = parRegions[i];
    const bool isNear =
        !borders[i] && sizeOneRegion * maxNear > distance(region->getPosition(), viewer) && fastShadows;
    region->free();
    casters.clear();
    if (region->getNbCubeZones() > 0) world.collectShadowCasters(indices[i], true, casters);
    const int64_t splitsBefore = WorldRegion::getNbSplitBuilds();
    const int64_t wallBefore = Platform::getMicroseconds();
    const int64_t threadBefore = Platform::getThreadCpuMicroseconds();
    const std::pair<int, int> built = region->build(isNear, casters, splitPolicy.maySplit(), arena);
    splitPolicy.recordBuild(WorldRegion::getNbSplitBuilds() != splitsBefore, Platform::getMicroseconds() - wallBefore,
                            Platform::getThreadCpuMicroseconds() - threadBefore);
    std::cout << (isNear ? "%" : "+") << std::flush;
    anyBuilt = true;
    if (built.first >= 1 && !borders[i]) {
      ++count;
      buffers += built.first;
      vertices += built.second;
    }
  }
  if (anyBuilt) std::cout << std::endl;
  if (count >= 1)
    std::cout << "Loaded " << count << " regions (" << buffers << " VBO, " << vertices << " vertices)" << std::endl;
}

void RegionStreamer::freeRegionsOutOfView() {
  std::vector<WorldRegion*>& loadedRegions = world.getLoadedRegions();
  keptRegions.clear();
  int removed = 0;
  for (WorldRegion* region : loadedRegions) {
    if (!region->isBuilt()) continue;
    const bool used = region->getUsedThisFrame();
    region->setUsedThisFrame(false);
    if (!used && region->getListedFrame() != frameNumber) {
      region->free();
      ++removed;
    } else {
      keptRegions.push_back(region);
    }
  }
  if (removed > 0) std::cout << "Removed " << removed << " regions" << std::endl;

  loadedRegions.assign(regions.begin(), regions.end());
  // A kept region is marked as it is listed, so that none is listed twice.
  for (WorldRegion* region : keptRegions) {
    if (region->getListedFrame() == frameNumber) continue;
    region->setListedFrame(frameNumber);
    loadedRegions.push_back(region);
  }
}
