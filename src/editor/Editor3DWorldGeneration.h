#ifndef EDITOR3DWORLDGENERATION_H
#define EDITOR3DWORLDGENERATION_H

#include <cstdint>
#include <vector>

#include "BasicVector.h"

class IndexedWorld;

/// Landscape generation for the editor: one flat or stepped region, whole landscapes read
/// from "world_heightmap.png" and "world_groundmap.png", floating islands, random extra blocks
/// and random script objects. Everything is added as boxes of one cube type through the
/// indexed world's add box, never cube by cube. Random numbers come from rand(), never
/// reseeded here. Positions are in cube units.
class Editor3DWorldGeneration {
 public:
  static const char* const heightmapFileName;  ///< "world_heightmap.png"
  static const char* const groundmapFileName;  ///< "world_groundmap.png"

  // ---- Landscape settings (process-wide, changed by the editor's configuration pages)
  /// Upper bound of the extra random blocks per region (0: none).
  static int nbAdditionalRandomCubes;
  /// Cubes per height sample along each axis (1, 2, 4 or 8).
  static int heightmapAccuracy;
  /// Image byte to cube height factor.
  static float heightmapHeightFactor;
  /// Upper bound of the random script objects per region (0: none).
  static int nbCustomObjects;
  /// Back to the defaults (0, 1, 0.2, 0).
  static void resetSettings();

  /// Types of one cube column: cubes below the top layer, and the top layer.
  struct CellTypes {
    int32_t fill;
    int32_t top;
  };

  /// One region around `centre`: a one-cube slab (hillside 0) or a staircase (hillsides 1..4),
  /// then the random blocks and objects of the settings. Objects get `objectType`.
  static void generateRegion(IndexedWorld& world, const Int3& centre, int hillside, int32_t fillType,
                             int32_t topType, int objectType = 0);
  /// n x n regions from the two images, regions starting at the cursor. `types`: six cube
  /// types, (fill, top) pairs for the red, green and blue pixels. False when the heightmap
  /// file does not exist (nothing generated).
  static bool generateFromHeightmap(IndexedWorld& world, const Int3& cursor, int n, const int32_t types[6],
                                    int objectType);
  /// Random walk of boxes of `type` around the cursor, on 8x8 regions.
  static void generateFloatingIslands(IndexedWorld& world, const Int3& cursor, int32_t type);
  /// Random script objects of `objectType` standing on the ground of n x n regions.
  static void addRandomObjects(IndexedWorld& world, int n, const Int3& cursor, int objectType);

  /// The per-region builder. `topHeights` and `bottomHeights`: w x w samples (index i + j*w,
  /// i along x, j along z), relative to the centre's y; empty for hillside slabs and stairs.
  /// `cellTypes`: w x w pairs, or one pair for the whole region.
  static void buildRegion(IndexedWorld& world, const Int3& centre, int hillside, const std::vector<int>& topHeights,
                          const std::vector<int>& bottomHeights, int rangeGeneration,
                          const std::vector<CellTypes>& cellTypes, int w, int objectType);

  /// A non-global object of that type with an empty initial string, standing on the highest
  /// zone over the middle of the cube column (x, z) (at height 0 when the column is empty).
  static void placeObjectOnGround(IndexedWorld& world, int x, int z, int objectType);
  /// Cubes along a region side of the world (at least 1).
  static int getCubesPerRegion(const IndexedWorld& world);
};

#endif
