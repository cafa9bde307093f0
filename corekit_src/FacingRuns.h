#ifndef COREKIT_FACINGRUNS_H
#define COREKIT_FACINGRUNS_H

#include <vector>

#include "BasicVector.h"

/// The quads of one vertex buffer laid out in runs by the side they face and, in a large
/// buffer, by where they lie, so that a draw can leave out the runs whose quads all face away
/// from the eye (back faces are culled: they would draw nothing) or lie outside the view.
/// A quad whose triangles all face along one axis direction goes to that direction's runs; a
/// run keeps the box of its vertices and how far its triangles lean off the axis, which bound,
/// for any eye, the side its quads can show. Every other quad (leaning past 45 degrees, folded,
/// or degenerate) goes to the runs of any direction, never left out for their facing.
class FacingRuns {
 public:
  /// +X, -X, +Y, -Y, +Z, -Z, then any direction.
  static constexpr int nbDirections = 7;
  static constexpr int anyDirection = 6;
  /// The grid of places over the box of a large buffer: cellsPerAxis cells along each axis.
  static constexpr int cellsPerAxis = 4;
  static constexpr int nbCells = cellsPerAxis * cellsPerAxis * cellsPerAxis;
  /// Buffers of fewer vertices are one place.
  static constexpr int smallestGridded = 1024;

  struct Run {
    /// Vertices [first, first + count) of the buffer.
    int first = 0;
    int count = 0;
    int direction = anyDirection;
    /// The box of the run's vertices, when known (the whole space otherwise).
    bool isBounded = false;
    Float3 low, high;
    /// The largest |sideways part| / |axis part| of a triangle normal of the run (0 when all its
    /// quads are flat and square to the axis).
    float lean = 0.f;
  };

  /// The direction of the quad of four vertices, in the order they are drawn (counter-clockwise
  /// seen from the side they show), and the lean of its triangles (set for an axis direction).
  static int classify(const Float3* quad, float& lean);
  /// The cell of the grid over the box [low, high] that holds the middle of the quad.
  static int cellOf(const Float3* quad, const Float3& low, const Float3& high);
  /// An empty run of that direction whose box is to be widened by its quads.
  static Run emptyRun(int direction);
  /// Widens `run` by a quad of four vertices whose lean is `lean`.
  static void widen(Run& run, const Float3* quad, float lean);
  /// Whether no quad of `run` can be front facing for an eye at `eye` (in the vertices'
  /// coordinates): false for a run of any direction and for a run that may show.
  static bool isFacingAway(const Run& run, const Float3& eye);

  void clear() { runs.clear(); }
  /// Appends a run (runs lie in the buffer in the order they are pushed).
  void push(const Run& run) { runs.push_back(run); }
  size_t size() const { return runs.size(); }
  const Run& operator[](size_t r) const { return runs[r]; }

 private:
  std::vector<Run> runs;
};

#endif
