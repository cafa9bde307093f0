#ifndef UNDOLOG_H
#define UNDOLOG_H

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <unordered_set>
#include <vector>

#include "BasicVector.h"
#include "meshing/CubeZone.h"
#include "world/CustomObject.h"
#include "world/RegionChangeListener.h"

class IndexedWorld;
class WorldRegion;

/// The editor's undo and redo. Each editor operation is recorded as one step: while it runs,
/// the region table tells the log about every region whose zones or objects are about to change,
/// and the log keeps a copy of that region as it was (once per region and step); the cube types
/// are compared before and after. Undoing a step swaps the kept regions and types with the
/// current ones, so the step then holds what redo puts back; whole regions make both exact.
///
/// Memory is bounded by a number of steps and by bytes. A step counts the larger of its two
/// states, so swapping it back and forth never goes over the budget. An edit that alone needs
/// more than the budget is reported and cannot be undone, and neither can the steps before it
/// (undoing them across it would mix two worlds), so the history is emptied.
///
/// Changes made outside a recording (the script, a world load) are not tracked: undoing a step
/// puts its regions back as they were before the step.
class UndoLog : private RegionChangeListener {
 public:
  /// Steps kept when the configuration does not say ("editor_undo_steps" absent or below 1).
  static constexpr int defaultMaxSteps = 64;
  /// Memory kept for the steps.
  static constexpr size_t defaultMaxBytes = size_t(256) << 20;

  /// The world is borrowed and must outlive the log.
  UndoLog(IndexedWorld& parWorld, int parMaxSteps, size_t parMaxBytes = defaultMaxBytes);
  ~UndoLog() override;
  UndoLog(const UndoLog&) = delete;
  UndoLog& operator=(const UndoLog&) = delete;

  /// "editor_undo_steps" from the configuration, defaultMaxSteps when absent or below 1.
  static int readMaxSteps();

  /// One editor operation from construction to destruction. Recordings nest: the outermost one
  /// makes the step.
  class Recording {
   public:
    explicit Recording(UndoLog& parLog) : log(parLog) { log.beginStep(); }
    ~Recording() { log.endStep(); }
    Recording(const Recording&) = delete;
    Recording& operator=(const Recording&) = delete;

   private:
    UndoLog& log;
  };
  void beginStep();
  void endStep();
  /// The operation under way is not kept (it leaves the cubes as they are, as an optimisation
  /// does; the steps before stay valid).
  void discardStep();
  /// Forgets every step and the operation under way (before a world load).
  void clear();

  /// Puts back the world as it was before the last step; false (and a log line) when there is
  /// none. Regions are rebuilt by the streaming, and the cube types are restored. Inside a
  /// recording, that recording keeps nothing.
  bool undo();
  /// Puts back the last undone step; false when there is none (a new edit drops them).
  bool redo();

  size_t getNbUndoSteps() const { return undoSteps.size(); }
  size_t getNbRedoSteps() const { return redoSteps.size(); }
  /// Bytes counted for every kept step.
  size_t getBytes() const { return totalBytes; }
  int getMaxSteps() const { return maxSteps; }
  size_t getMaxBytes() const { return maxBytes; }

 private:
  struct CubeTypeDescription {
    std::string textureNames[6];
    bool textureOptions[3];
    bool collidable;
    bool operator==(const CubeTypeDescription& other) const;
    bool operator!=(const CubeTypeDescription& other) const { return !(*this == other); }
  };
  /// The zones and objects of one region, by absolute region index. The objects are inert
  /// copies (no script life while they wait here).
  struct RegionContent {
    Int3 absoluteIndex{0, 0, 0};
    std::vector<CubeZone> zones;
    std::vector<CustomObject> objects;
    bool isEmpty() const { return zones.empty() && objects.empty(); }
  };
  struct Step {
    std::vector<RegionContent> regions;
    bool hasCubeTypes = false;
    std::vector<CubeTypeDescription> cubeTypes;
    /// The larger of the bytes of its two states.
    size_t bytes = 0;
  };

  void regionChanging(WorldRegion& region) override;
  Int3 getAbsoluteIndex(const WorldRegion& region) const;
  /// The region at an absolute index; when it lies outside the table, null, or with `grow` the
  /// table grows to hold it (null when it cannot).
  WorldRegion* findRegion(const Int3& absoluteIndex, bool grow);
  std::vector<CubeTypeDescription> describeCubeTypes() const;
  /// Makes the cube types those of the list (removing, modifying and adding at the end).
  void setCubeTypes(const std::vector<CubeTypeDescription>& types);
  /// Undo or redo ("undo", "redo"): the last step of `from` swapped with the world, onto `to`.
  bool replayLast(std::deque<Step>& from, std::deque<Step>& to, const std::string& what);
  /// Swaps the step's states with the world's: afterwards the step holds what was there.
  void swapWithWorld(Step& step);
  void takeContent(WorldRegion& region, RegionContent& out) const;
  static void putContent(WorldRegion& region, RegionContent& in);
  bool isUnchanged(const RegionContent& before) const;
  size_t countBytes(const Step& step) const;
  /// Bytes of the step's regions as they are now in the world.
  size_t countWorldBytes(const Step& step) const;
  void reportTooLarge();
  /// Drops the oldest steps (undo ones first) while over a bound.
  void enforceBounds();
  void dropHistory();
  void endRecording();

  IndexedWorld& world;
  int maxSteps;
  size_t maxBytes;
  std::deque<Step> undoSteps;
  std::deque<Step> redoSteps;
  size_t totalBytes = 0;

  // The step being recorded.
  int recordingDepth = 0;
  bool isDiscarded = false;
  bool isOverflowed = false;
  bool isFastShadows = false;
  Step current;
  size_t currentBytes = 0;
  std::vector<CubeTypeDescription> cubeTypesAtStart;
  std::unordered_set<uint64_t> notedRegions;
  bool hasLastNoted = false;
  Int3 lastNoted{0, 0, 0};
};

#endif
