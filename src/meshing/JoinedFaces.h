#ifndef JOINEDFACES_H
#define JOINEDFACES_H

#include <cstddef>
#include <cstdint>
#include <vector>

/// Joins coplanar faces of a region into larger rectangles, for the far builder's joined
/// faces. Faces come in as rectangles of whole cells in the plane of one cell boundary of the
/// region's table, each with a key: the face (top, bottom, ...), the plane, and what the face
/// is drawn with. merge() covers the cells of each key with the rectangles of a greedy pass
/// (a run along u, grown along v while whole rows follow); faces of different keys never
/// join. Pure and GL-free. Keep one object per build: its lists grow once and are reused.
class JoinedFaces {
 public:
  struct Key {
    /// The cube type's look: faces of different types never join.
    const void* look;
    int32_t texture;
    /// The plane: index of the cell boundary along the face's normal.
    int32_t layer;
    uint8_t face;
    uint8_t isShadowed;
  };
  /// Cells [u0, u1) x [v0, v1) of the face's plane, u and v along the face's axes.
  struct Rect {
    Key key;
    int32_t u0, v0, u1, v1;
  };

  void add(const Key& key, int32_t u0, int32_t v0, int32_t u1, int32_t v1) {
    faces.push_back(Rect{key, u0, v0, u1, v1});
  }
  size_t getNbFaces() const { return faces.size(); }
  /// Appends the joined rectangles to `out`, key after key in a fixed order; the faces added
  /// are consumed. Faces of one key that overlap are covered once.
  void merge(std::vector<Rect>& out);

 private:
  std::vector<Rect> faces;
  /// One byte per cell of the bounding box of the key being merged, row v at v * width.
  std::vector<uint8_t> cells;
};

#endif
