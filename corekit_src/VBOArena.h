#ifndef COREKIT_VBOARENA_H
#define COREKIT_VBOARENA_H

#include <cstddef>
#include <utility>
#include <vector>

/// Vertex buffer objects shared by many small meshes (far regions hold a few dozen quads per
/// texture), so that the meshes of one texture lying in one block are drawn by a single call.
/// A block holds blockVertices vertices: their positions first, then their texture coordinates,
/// then (in blocks made for volumetric fog) their fog coordinates. A mesh takes a range of
/// whole vertices of one block and gives it back when it is destroyed; a block left empty is
/// deleted. Shared by its meshes (they hold it through a shared pointer), so it outlives them.
class VBOArena {
 public:
  static constexpr int blockVertices = 1 << 16;
  /// Buffers of more vertices get GL buffers of their own.
  static constexpr int largestShared = 8192;

  struct Range {
    unsigned int name = 0;  ///< the block's GL buffer
    int first = 0;          ///< its first vertex in the block
    int count = 0;
  };

  VBOArena() = default;
  /// Deletes the blocks' GL buffers.
  ~VBOArena();
  VBOArena(const VBOArena&) = delete;
  VBOArena& operator=(const VBOArena&) = delete;

  /// Room for `count` vertices (1 to largestShared) in a block with fog coordinates or without;
  /// a new block when none has room.
  Range allocate(int count, bool withFog);
  /// Gives a range back.
  void release(const Range& range);

  /// Byte offsets in a block of the texture and of the fog coordinates.
  static constexpr size_t texCoordOffset = (size_t)blockVertices * 3 * sizeof(float);
  static constexpr size_t fogOffset = texCoordOffset + (size_t)blockVertices * 2 * sizeof(float);

  size_t getNbBlocks() const { return blocks.size(); }

 private:
  struct Block {
    unsigned int name = 0;
    bool withFog = false;
    /// (first, count) of the free ranges, in order of first.
    std::vector<std::pair<int, int>> freeRanges;
    int used = 0;
  };

  std::vector<Block> blocks;
};

#endif
