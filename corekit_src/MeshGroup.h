#ifndef COREKIT_MESHGROUP_H
#define COREKIT_MESHGROUP_H

#include <map>
#include <vector>

#include "BasicVector.h"

/// The geometry of one texture, as the mesh builders hand it to the vertex buffers:
/// quads (four vertices each) and triangles (three each), one (u, v) pair per vertex.
/// The vectors are uploaded as they are, so a vertex is exactly three floats and a
/// texture coordinate exactly two.
struct MeshGroup {
  std::vector<Float3> verticesQuadVect;
  std::vector<Float2> texCoordQuadVect;
  std::vector<Float3> verticesTriVect;
  std::vector<Float2> texCoordTriVect;
  /// Groups with this flag are uploaded, and so drawn, after all the others (the
  /// semi-transparent shadow triangles must lie over the faces).
  bool drawnLast = false;
};

static_assert(sizeof(Float3) == 3 * sizeof(float), "vertices are uploaded as packed floats");
static_assert(sizeof(Float2) == 2 * sizeof(float), "texture coordinates are uploaded as packed floats");

/// A set of mesh groups keyed by GL texture name, ascending. Node-based, so a group
/// reference stays valid while other groups are added.
using MeshGroupMap = std::map<int, MeshGroup>;

#endif
