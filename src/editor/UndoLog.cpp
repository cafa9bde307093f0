#include "editor/UndoLog.h"

#include <algorithm>
#include <cmath>
#include <iostream>
#include <memory>
#include <utility>

#include "Assert.h"
#include "world/CubeType.h"
#include "DeviceManager.h"
#include "world/IndexedWorld.h"
#include "world/WorldRegion.h"

namespace {

/// One number per absolute region index (indices stay within +-maxAbsoluteIndex).
uint64_t packIndex(const Int3& index) {
  constexpr int64_t bias = WorldIndexator::maxAbsoluteIndex;
  constexpr uint64_t span = 2 * static_cast<uint64_t>(bias) + 1;
  return ((static_cast<uint64_t>(index.x() + bias) * span) + static_cast<uint64_t>(index.y() + bias)) * span +
         static_cast<uint64_t>(index.z() + bias);
}

size_t zonesBytes(const std::vector<CubeZone>& zones, bool withTriangles) {
  size_t bytes = zones.size() * sizeof(CubeZone);
  if (withTriangles)
    for (const CubeZone& zone : zones) {
      if (!zone.shadowTriangles.isAllocated()) continue;
      bytes += 6 * sizeof(ShadowTriangleLists::List);
      for (const ShadowTriangleLists::List& triangles : zone.shadowTriangles) bytes += triangles.size() * sizeof(Float3);
    }
  return bytes;
}

size_t objectsBytes(const std::vector<CustomObject>& objects) {
  size_t bytes = 0;
  for (const CustomObject& object : objects) bytes += object.getApproximateBytes();
  return bytes;
}

size_t objectsBytes(const std::vector<std::unique_ptr<CustomObject>>& objects) {
  size_t bytes = 0;
  for (const std::unique_ptr<CustomObject>& object : objects) bytes += object->getApproximateBytes();
  return bytes;
}

/// Room for `count` zones in the steps the region's list grows by.
void reserveZoneSteps(std::vector<CubeZone>& zones) {
  const size_t n = zones.size();
  zones.reserve(n - n % WorldRegion::zoneCapacityStep + WorldRegion::zoneCapacityStep);
}

bool isSameZone(const CubeZone& a, const CubeZone& b) { return a.id == b.id && a.centre == b.centre && a.size == b.size; }

bool isSameObject(const CustomObject& a, const CustomObject& b) {
  return a.getPosition() == b.getPosition() && a.getTypeId() == b.getTypeId() && a.getIsGlobal() == b.getIsGlobal() &&
         a.getNeedsInit() == b.getNeedsInit() && a.getName() == b.getName();
}

/// "3 regions", "the cube types and 1 region": what undoing or redoing the step put back.
std::string describeRestored(size_t nbRegions, bool hasCubeTypes) {
  const std::string regions = std::to_string(nbRegions) + (nbRegions == 1 ? " region" : " regions");
  if (!hasCubeTypes) return regions;
  return nbRegions == 0 ? "the cube types" : "the cube types and " + regions;
}

std::string megabytes(size_t bytes) {
  return std::to_string((bytes + (size_t(1) << 20) - 1) >> 20) + " MB";
}

}  // namespace

bool UndoLog::CubeTypeDescription::operator==(const CubeTypeDescription& other) const {
  for (int i = 0; i < 6; ++i)
    if (textureNames[i] != other.textureNames[i]) return false;
  for (int i = 0; i < 3; ++i)
    if (textureOptions[i] != other.textureOptions[i]) return false;
  return collidable == other.collidable;
}

UndoLog::UndoLog(IndexedWorld& parWorld, int parMaxSteps, size_t parMaxBytes)
    : world(parWorld), maxSteps(std::max(1, parMaxSteps)), maxBytes(parMaxBytes) {}

UndoLog::~UndoLog() {
  if (recordingDepth > 0) world.setRegionChangeListener(nullptr);
}

int UndoLog::readMaxSteps() {
  const DeviceManager* deviceManager = DeviceManager::getInstance();
  const int steps = deviceManager != nullptr ? deviceManager->getConfig().getInt("editor_undo_steps") : 0;
  return steps >= 1 ? steps : defaultMaxSteps;
}

// ---------------------------------------------------------------------------------------------
// Recording

void UndoLog::beginStep() {
  if (recordingDepth++ > 0) return;
  isDiscarded = false;
  isOverflowed = false;
  DeviceManager* deviceManager = DeviceManager::getInstance();
  // Fast shadows are computed again whenever a region is built: not worth keeping.
  isFastShadows = deviceManager != nullptr && deviceManager->getConfig().getBool("fast_shadows");
  current = Step();
  currentBytes = 0;
  notedRegions.clear();
  hasLastNoted = false;
  cubeTypesAtStart = describeCubeTypes();
  world.setRegionChangeListener(this);
}

void UndoLog::regionChanging(WorldRegion& region) {
  if (isDiscarded || isOverflowed) return;
  // Edits meet the same region many times in a row (one zone after another).
  const Int3 index = getAbsoluteIndex(region);
  if (hasLastNoted && index == lastNoted) return;
  hasLastNoted = true;
  lastNoted = index;
  if (!notedRegions.insert(packIndex(index)).second) return;

  RegionContent content;
  content.absoluteIndex = index;
  const std::vector<CubeZone>& zones = region.getCubeZonesList();
  content.zones.reserve(zones.size());
  for (const CubeZone& zone : zones) {
    if (!isFastShadows) {
      content.zones.push_back(zone);
      continue;
    }
    CubeZone bare(zone.id, zone.centre, zone.size);
    bare.reserved = zone.reserved;
    content.zones.push_back(std::move(bare));
  }
  content.objects.reserve(region.getNbCustomObjects());
  for (const std::unique_ptr<CustomObject>& object : region.getCustomObjects())
    content.objects.push_back(object->makeInertCopy());

  currentBytes += sizeof(RegionContent) + zonesBytes(content.zones, true) + objectsBytes(content.objects);
  current.regions.push_back(std::move(content));
  if (currentBytes > maxBytes) {
    // Stop copying at once: the memory stays bounded even for an edit of the whole world.
    isOverflowed = true;
    current.regions.clear();
    current.regions.shrink_to_fit();
  }
}

void UndoLog::endStep() {
  if (recordingDepth == 0 || --recordingDepth > 0) return;
  world.setRegionChangeListener(nullptr);
  if (isDiscarded) {
    endRecording();
    return;
  }
  if (isOverflowed) {
    reportTooLarge();
    endRecording();
    return;
  }

  std::vector<CubeTypeDescription> cubeTypesNow = describeCubeTypes();
  current.hasCubeTypes = cubeTypesNow != cubeTypesAtStart;
  if (current.hasCubeTypes) current.cubeTypes = std::move(cubeTypesAtStart);
  // Regions that were looked at but came out as they were (a removal that found nothing).
  current.regions.erase(std::remove_if(current.regions.begin(), current.regions.end(),
                                       [this](const RegionContent& before) { return isUnchanged(before); }),
                        current.regions.end());
  if (current.regions.empty() && !current.hasCubeTypes) {
    endRecording();
    return;
  }

  size_t typeBytes = 0;
  if (current.hasCubeTypes)
    for (const std::vector<CubeTypeDescription>* types : {&current.cubeTypes, &cubeTypesNow})
      for (const CubeTypeDescription& type : *types) {
        typeBytes += sizeof(CubeTypeDescription);
        for (const std::string& name : type.textureNames) typeBytes += name.capacity();
      }
  current.bytes = std::max(countBytes(current), countWorldBytes(current)) + typeBytes;
  if (current.bytes > maxBytes) {
    reportTooLarge();
    endRecording();
    return;
  }
  for (const Step& step : redoSteps) totalBytes -= step.bytes;
  redoSteps.clear();
  totalBytes += current.bytes;
  undoSteps.push_back(std::move(current));
  endRecording();
  enforceBounds();
}

void UndoLog::endRecording() {
  current = Step();
  currentBytes = 0;
  cubeTypesAtStart.clear();
  notedRegions.clear();
  hasLastNoted = false;
  isDiscarded = false;
  isOverflowed = false;
}

void UndoLog::discardStep() {
  if (recordingDepth == 0) return;
  isDiscarded = true;
  current.regions.clear();
}

void UndoLog::clear() {
  discardStep();
  dropHistory();
}

void UndoLog::dropHistory() {
  undoSteps.clear();
  redoSteps.clear();
  totalBytes = 0;
}

void UndoLog::reportTooLarge() {
  const bool hadHistory = !undoSteps.empty() || !redoSteps.empty();
  dropHistory();
  showProblem("The edit is too large to be undone (it needs more than the " + megabytes(maxBytes) +
              " kept for undo): it cannot be undone" + (hadHistory ? ", nor can the edits before it." : "."));
}

void UndoLog::enforceBounds() {
  while (undoSteps.size() + redoSteps.size() > static_cast<size_t>(maxSteps) || totalBytes > maxBytes) {
    // The oldest history goes first; redo steps only when no undo step is left, from the far end.
    std::deque<Step>& steps = !undoSteps.empty() ? undoSteps : redoSteps;
    if (steps.empty()) break;
    totalBytes -= steps.front().bytes;
    steps.pop_front();
  }
}

// ---------------------------------------------------------------------------------------------
// Undo and redo

bool UndoLog::undo() { return replayLast(undoSteps, redoSteps, "undo"); }

bool UndoLog::redo() { return replayLast(redoSteps, undoSteps, "redo"); }

bool UndoLog::replayLast(std::deque<Step>& from, std::deque<Step>& to, const std::string& what) {
  // Typed as an editor command, undo runs inside that command's recording: it keeps nothing.
  discardStep();
  if (from.empty()) {
    std::cout << "Nothing to " << what << std::endl;
    return false;
  }
  Step step = std::move(from.back());
  from.pop_back();
  swapWithWorld(step);
  const std::string restored = describeRestored(step.regions.size(), step.hasCubeTypes);
  to.push_back(std::move(step));
  enforceBounds();
  std::string title = what;
  title[0] = static_cast<char>(title[0] - 'a' + 'A');
  std::cout << title << ": " << restored << " restored, " << from.size() << " edits left to " << what << std::endl;
  return true;
}

void UndoLog::swapWithWorld(Step& step) {
  totalBytes -= step.bytes;
  // All regions are emptied before the types change, so that removing a type takes no zone
  // from the states being kept.
  std::vector<RegionContent> taken(step.regions.size());
  for (size_t i = 0; i < step.regions.size(); ++i) {
    taken[i].absoluteIndex = step.regions[i].absoluteIndex;
    if (WorldRegion* region = findRegion(step.regions[i].absoluteIndex, false)) takeContent(*region, taken[i]);
  }
  // The table grows once for every region to put back (growing it region by region would take
  // quadratic time after a whole world was cleared).
  bool isGrowing = false;
  Int3 low(0, 0, 0), high(0, 0, 0);
  for (const RegionContent& kept : step.regions) {
    if (kept.isEmpty()) continue;
    for (int axis = 0; axis < 3; ++axis) {
      low[axis] = isGrowing ? std::min(low[axis], kept.absoluteIndex[axis]) : kept.absoluteIndex[axis];
      high[axis] = isGrowing ? std::max(high[axis], kept.absoluteIndex[axis]) : kept.absoluteIndex[axis];
    }
    isGrowing = true;
  }
  if (isGrowing) {
    findRegion(low, true);
    findRegion(high, true);
  }
  if (step.hasCubeTypes) {
    std::vector<CubeTypeDescription> typesNow = describeCubeTypes();
    setCubeTypes(step.cubeTypes);
    step.cubeTypes = std::move(typesNow);
  }
  for (size_t i = 0; i < step.regions.size(); ++i) {
    RegionContent& kept = step.regions[i];
    if (!kept.isEmpty()) {
      WorldRegion* region = findRegion(kept.absoluteIndex, true);
      if (region != nullptr) putContent(*region, kept);
    }
    kept = std::move(taken[i]);
  }
  // The world may have changed outside the log since: the step keeps what it now holds.
  step.bytes = std::max(step.bytes, countBytes(step));
  totalBytes += step.bytes;
}

void UndoLog::takeContent(WorldRegion& region, RegionContent& out) const {
  region.free();
  out.zones.swap(region.getCubeZonesList());
  out.objects.reserve(region.getNbCustomObjects());
  for (const std::unique_ptr<CustomObject>& object : region.getCustomObjects())
    out.objects.push_back(object->makeInertCopy());
  // The live objects leave the world as a removal makes them (their type's uninit runs).
  region.clear(true);
}

void UndoLog::putContent(WorldRegion& region, RegionContent& in) {
  region.clear(true);
  reserveZoneSteps(in.zones);
  region.getCubeZonesList().swap(in.zones);
  in.zones.clear();
  for (const CustomObject& object : in.objects)
    region.addCustomObject(std::unique_ptr<CustomObject>(new CustomObject(object)));
  in.objects.clear();
}

// ---------------------------------------------------------------------------------------------
// World access

Int3 UndoLog::getAbsoluteIndex(const WorldRegion& region) const {
  // The position is the region's centre: the floor is far from any rounding trouble.
  const Float3& centre = region.getPosition();
  const float edge = world.getSizeOneRegion();
  return Int3(static_cast<int>(std::floor(centre.x() / edge)), static_cast<int>(std::floor(centre.y() / edge)),
              static_cast<int>(std::floor(centre.z() / edge)));
}

WorldRegion* UndoLog::findRegion(const Int3& absoluteIndex, bool grow) {
  const Int3 posIndex = absoluteIndex - world.getTableRegionMin();
  if (world.isInTable(posIndex)) return world.getRegion(posIndex);
  if (!grow) return nullptr;
  const float edge = world.getSizeOneRegion();
  const Float3 centre((absoluteIndex.x() + 0.5f) * edge, (absoluteIndex.y() + 0.5f) * edge,
                      (absoluteIndex.z() + 0.5f) * edge);
  Int3 located;
  return world.locateBox(centre, Float3(0.f, 0.f, 0.f), located) ? world.getRegion(located) : nullptr;
}

bool UndoLog::isUnchanged(const RegionContent& before) const {
  const Int3 posIndex = before.absoluteIndex - world.getTableRegionMin();
  if (!world.isInTable(posIndex)) return before.isEmpty();
  const WorldRegion& region = *world.getRegion(posIndex);
  const std::vector<CubeZone>& zones = region.getCubeZonesList();
  const std::vector<std::unique_ptr<CustomObject>>& objects = region.getCustomObjects();
  if (zones.size() != before.zones.size() || objects.size() != before.objects.size()) return false;
  for (size_t i = 0; i < zones.size(); ++i)
    if (!isSameZone(zones[i], before.zones[i])) return false;
  for (size_t i = 0; i < objects.size(); ++i)
    if (!isSameObject(*objects[i], before.objects[i])) return false;
  return true;
}

size_t UndoLog::countBytes(const Step& step) const {
  size_t bytes = sizeof(Step);
  for (const RegionContent& content : step.regions)
    bytes += sizeof(RegionContent) + zonesBytes(content.zones, true) + objectsBytes(content.objects);
  return bytes;
}

size_t UndoLog::countWorldBytes(const Step& step) const {
  size_t bytes = sizeof(Step);
  for (const RegionContent& content : step.regions) {
    bytes += sizeof(RegionContent);
    const Int3 posIndex = content.absoluteIndex - world.getTableRegionMin();
    if (!world.isInTable(posIndex)) continue;
    const WorldRegion& region = *world.getRegion(posIndex);
    bytes += zonesBytes(region.getCubeZonesList(), !isFastShadows) + objectsBytes(region.getCustomObjects());
  }
  return bytes;
}

std::vector<UndoLog::CubeTypeDescription> UndoLog::describeCubeTypes() const {
  std::vector<CubeTypeDescription> types(static_cast<size_t>(world.getNbCubeType()));
  CubeTypeManager* manager = world.getCubeTypeManager();
  for (size_t id = 0; id < types.size(); ++id) {
    const CubeType& type = *manager->getCubeType(static_cast<int>(id));
    for (int i = 0; i < 6; ++i) types[id].textureNames[i] = type.textureNames[i];
    for (int i = 0; i < 3; ++i) types[id].textureOptions[i] = type.textureOptions[i];
    types[id].collidable = type.collidable;
  }
  return types;
}

void UndoLog::setCubeTypes(const std::vector<CubeTypeDescription>& types) {
  while (world.getNbCubeType() > static_cast<int>(types.size())) world.removeLastCubeType();
  const std::vector<CubeTypeDescription> now = describeCubeTypes();
  for (size_t id = 0; id < types.size(); ++id) {
    const CubeTypeDescription& type = types[id];
    if (id >= now.size()) world.addCubeType(type.textureNames, type.textureOptions, type.collidable);
    else if (type != now[id])
      world.getCubeType(static_cast<int>(id))->modify(type.textureNames, type.textureOptions, type.collidable);
  }
  // The looks changed: every region is meshed again.
  world.freeAllRegions();
}
