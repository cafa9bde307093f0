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

  /// Room for `nbFaces` faces, so that adding them never moves the list.
  void reserve(size_t nbFaces) { faces.reserve(nbFaces); }
  void add(const Key& key, int32_t u0, int32_t v0, int32_t u1, int32_t v1) {
    faces.push_back(Face{drawKeyOf(key), key.layer, u0, v0, u1, v1, key.face});
  }
  size_t getNbFaces() const { return faces.size(); }
  /// Appends the joined rectangles to `out`, key after key in a fixed order (face, layer,
  /// look, texture, shadow flag); the faces added are consumed. Faces of one key that overlap
  /// are covered once.
  void merge(std::vector<Rect>& out);

 private:
  /// A face as kept: its look, texture and shadow flag are drawKeys[drawKey].
  struct Face {
    uint32_t drawKey;
    int32_t layer;
    int32_t u0, v0, u1, v1;
    uint8_t face;
  };

  /// The index of `key`'s look, texture and shadow flag in drawKeys, added if new.
  uint32_t drawKeyOf(const Key& key) {
    const uint32_t last = lastOfFace[key.face & 7];
    if (last < drawKeys.size() && drawKeys[last].look == key.look && drawKeys[last].texture == key.texture &&
        drawKeys[last].isShadowed == key.isShadowed)
      return last;
    return findDrawKey(key);
  }
  uint32_t findDrawKey(const Key& key);
  /// `order`: the faces by key. A counting sort where the keys are few for the faces (a
  /// region's planes and looks), a comparison sort otherwise.
  void sortByKey();
  /// Covers the cells of the faces order[first, end) (one key) with greedy rectangles.
  void mergeKey(size_t first, size_t end, std::vector<Rect>& out);
  Rect rectOf(const Face& face, int32_t u0, int32_t v0, int32_t u1, int32_t v1) const;

  std::vector<Face> faces;
  /// The distinct (look, texture, shadow flag) of the faces added, an open-addressing table of
  /// indices into them (-1 free), the index last found per face (neighbouring zones are often
  /// of one type), and after sorting their ranks in key order.
  std::vector<Key> drawKeys;
  std::vector<int32_t> drawKeySlots;
  uint32_t lastOfFace[8] = {0, 0, 0, 0, 0, 0, 0, 0};
  std::vector<uint32_t> rankOfDrawKey;
  std::vector<uint32_t> order;
  /// The counting sort's: per face the number of its key, and per key number its count.
  std::vector<uint32_t> keyNumbers;
  std::vector<uint32_t> counts;
  /// One bit per cell of the bounding box of the key being merged: row v at v * words.
  std::vector<uint64_t> cells;
};

#endif
