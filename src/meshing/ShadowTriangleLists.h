#ifndef SHADOWTRIANGLELISTS_H
#define SHADOWTRIANGLELISTS_H

#include <array>
#include <memory>
#include <vector>

#include "BasicVector.h"

/// The six shadow triangle lists of a zone, kept out of line: a zone without triangles (every
/// zone of a world saved with fast shadows, until a far build computes them) holds one null
/// pointer instead of six empty vectors, which keeps a large world's zones small.
///
/// Reading never allocates (an absent list reads as empty), so the mesh builders may read on
/// two threads. Writing through the non-const operator[] allocates the six lists on first use:
/// producers touch a list only when they have triangles for it, and clear() gives the
/// storage back.
class ShadowTriangleLists {
 public:
  using List = std::vector<Float3>;

  ShadowTriangleLists() = default;
  ShadowTriangleLists(const ShadowTriangleLists& other);
  ShadowTriangleLists(ShadowTriangleLists&& other) noexcept = default;
  ShadowTriangleLists& operator=(const ShadowTriangleLists& other);
  ShadowTriangleLists& operator=(ShadowTriangleLists&& other) noexcept = default;

  /// List i (0 to 5); an empty list when the zone has none.
  const List& operator[](int i) const { return lists != nullptr ? (*lists)[i] : emptyLists()[i]; }
  /// List i to be written; allocates the lists on first use.
  List& operator[](int i);
  const List* begin() const { return lists != nullptr ? lists->data() : emptyLists().data(); }
  const List* end() const { return begin() + 6; }

  /// True when no list holds a point.
  bool empty() const;
  /// Drops the six lists and their storage.
  void clear() { lists.reset(); }
  /// Whether the lists are allocated (for memory accounting).
  bool isAllocated() const { return lists != nullptr; }

 private:
  static const std::array<List, 6>& emptyLists();

  std::unique_ptr<std::array<List, 6>> lists;
};

#endif
