#ifndef REGIONSTREAMER_H
#define REGIONSTREAMER_H

#include <cstddef>
#include <cstdint>
#include <memory>
#include <tuple>
#include <utility>
#include <vector>

#include "BasicVector.h"
#include "Frustum.h"
#include "VBODrawPass.h"
#include "streaming/RegionSplitPolicy.h"
#include "world/RegionTableListener.h"

class CubeZone;
class WorldIndexator;
class WorldRegion;

/// The per-frame streaming of a region table around the viewer: which regions are built (near
/// or far detail), drawn and freed. Lists the regions within the view distance of the camera,
/// builds them in sight and nearest first within the frame's build budget, draws those the
/// camera can see nearest first, and frees those that left the view. Keeps the lists of the last
/// draw; the table tells it when they go stale (it is the table's region table listener while
/// it lives).
class RegionStreamer : public RegionTableListener {
 public:
  /// Milliseconds of region building per frame when "region_build_budget_ms" is absent (or 0).
  static constexpr double defaultBuildBudgetMs = 4.0;

  /// Streams the regions of `parWorld`, which must outlive the streamer.
  explicit RegionStreamer(WorldIndexator& parWorld);
  ~RegionStreamer() override;
  RegionStreamer(const RegionStreamer&) = delete;
  RegionStreamer& operator=(const RegionStreamer&) = delete;

  /// The frame's streaming step: lists the regions within viewDistance of the camera, builds
  /// them (in sight and nearest first, within the frame's build budget: at least one region, and
  /// every unbuilt one in sight within one region edge of the camera), draws those the camera
  /// can see nearest first, frees those that left the view. showBorders outlines every scanned
  /// region.
  void draw(float viewDistance, bool showBorders);
  /// The same step in two halves, so that something opaque can be drawn between them (the
  /// sky, then shaded only where no region covers it): drawOpaque lists and builds
  /// as draw does, then draws the meshes in sight nearest first, without their shadows, up to
  /// the first one that may show what lies behind it (WorldRegion::getHasTranslucentFaces);
  /// drawTranslucent draws the shadows of those, the rest of the meshes, the objects, and frees
  /// the regions that left the view. draw is the one followed by the other.
  void drawOpaque(float viewDistance, bool showBorders);
  void drawTranslucent();
  /// Inside the last draw's view frustum and within its view distance (measured to the box).
  bool isRegionVisible(const WorldRegion& region, const Float3& viewer) const;
  /// "region_build_budget_ms", defaultBuildBudgetMs when absent or 0; negative: no limit.
  static double getBuildBudgetMs();
  /// Multiplies the configured near (detailed) radius from the next draw on; 1 by default.
  void setNearScale(float scale) { nearScale = scale; }
  float getNearScale() const { return nearScale; }

  /// The lists of the last draw: regions in view, their border flags and table indices.
  const std::vector<WorldRegion*>& getRegionsInView() const { return regions; }
  const std::vector<bool>& getAreRegionsInBorder() const { return areRegionsInBorder; }
  const std::vector<Int3>& getPosIntRegions() const { return posIntRegions; }
  /// The regions whose mesh the last draw drew, in drawing order.
  const std::vector<WorldRegion*>& getRegionsDrawn() const { return regionsDrawn; }
  /// Whether the next builds are shared with the worker; it learns from every build.
  RegionSplitPolicy& getSplitPolicy() { return splitPolicy; }

  /// The table deleted or moved its regions: the lists of the last draw are emptied.
  void regionsInvalidated() override;

 private:
  void scanView(const Int3& centre, int g, bool showBorders);
  void drawRegionBorder(const WorldRegion& region) const;
  /// Builds the listed regions that should be built this frame and prints the load line.
  void buildRegionsInView(const std::vector<WorldRegion*>& parRegions, const std::vector<bool>& borders,
                          const std::vector<Int3>& indices, const Float3& viewer);
  /// Lists the regions in sight in drawOrder, nearest first.
  void sortRegionsInView(const Float3& viewer);
  /// Draws the meshes of drawOrder from nextToDraw on, in the begun drawPass; when
  /// `isOpaqueOnly`, without their shadows and stopping before the first with translucent faces.
  void drawMeshes(bool isOpaqueOnly);
  /// Frees the table's loaded regions that were neither listed nor used this frame, and makes
  /// the listed and the kept ones the table's loaded regions.
  void freeRegionsOutOfView();
  double squaredDistanceToBox(const WorldRegion& region, const Float3& point) const;

  WorldIndexator& world;
  std::vector<WorldRegion*> regions;
  std::vector<bool> areRegionsInBorder;
  std::vector<Int3> posIntRegions;
  /// Counts the draws; a region listed in view carries the number of the frame.
  uint64_t frameNumber = 0;
  /// Scratch lists reused every frame.
  std::vector<WorldRegion*> keptRegions;
  std::vector<const CubeZone*> casters;
  /// (not urgent, out of sight, squared distance, index in `regions`) of a region to build
  /// this frame.
  using BuildCandidate = std::tuple<bool, bool, float, size_t>;
  std::vector<BuildCandidate> buildOrder;
  /// Whether region builds are shared with the worker, judged from the last shared builds.
  RegionSplitPolicy splitPolicy;
  /// (squared distance, index in `regions`) of the regions to draw this frame.
  std::vector<std::pair<float, size_t>> drawOrder;
  /// The entry of drawOrder whose mesh is drawn next.
  size_t nextToDraw = 0;
  std::vector<WorldRegion*> regionsDrawn;
  /// The state the meshes of a drawing pass share (kept from frame to frame).
  VBODrawPass drawPass;
  /// The shared vertex buffers of the small meshes the streamer builds (held by the meshes too,
  /// which may outlive the streamer).
  std::shared_ptr<VBOArena> arena;
  /// What the camera sees in the current draw.
  Frustum viewFrustum;
  float visibleDistance = 0.f;
  float nearScale = 1.f;
};

#endif
