#ifndef WORLDFILE_H
#define WORLDFILE_H

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "AtomicFileWriter.h"
#include "BasicVector.h"
#include "meshing/CubeZone.h"
#include "world/CustomObject.h"

/// The bytes of the world file ("world.dat"): magic "WORLD", version 1, the cube types, the
/// region table and, per region, its zones and its script objects; little-endian, no padding.
///
/// Reading takes the whole file into memory in one block and checks every count and length
/// against the bytes that remain before anything is allocated for it. A damaged record whose
/// extent is known (a zone of an unknown cube type, outside its region or of a size that is
/// not a number, stray shadow points, an object of an impossible type, bytes after the last
/// region) is dropped or repaired and named, with its byte offset, in one salvage report; a
/// zone reaching past its region's border is clipped to the region, so that the region build
/// accepts every zone read. Only what cannot be parsed (bad magic or version, truncated data,
/// counts larger than what remains) refuses the file with a report naming the byte offset, and
/// the caller's world is not touched (it applies the content only after a complete read).
///
/// Writing collects the bytes in memory; with beginWriting() they go to the file in large
/// blocks as they come, crash-safe (AtomicFileWriter).
class WorldFile {
 public:
  using ObjectRecord = std::array<unsigned char, CustomObject::recordSize>;

  struct CubeTypeRecord {
    std::string textureNames[6];
    bool textureOptions[3] = {true, true, true};
    bool collidable = false;
  };

  /// One region of the file: its zones and its object records, in list order.
  struct RegionRecord {
    std::vector<CubeZone> zones;
    std::vector<ObjectRecord> objects;
  };

  static constexpr int32_t version = 1;
  /// Bytes of the smallest records: a cube type with six empty names, a zone with six empty
  /// face entries, a region with empty sections.
  static constexpr size_t minCubeTypeRecordSize = 6 * 4 + 4;
  static constexpr size_t minZoneRecordSize = 12 + 12 + 4 + 4 + 6 * 4;
  static constexpr size_t minRegionRecordSize = 4 * 4;
  /// Face entry meaning "face entirely in shadow".
  static constexpr int32_t faceShadowed = -1;

  // ---- Content of a file that was read (empty before)
  std::vector<CubeTypeRecord> cubeTypes;
  /// Absolute region index of the file's slot (0, 0, 0), and regions per axis.
  Int3 tableRegionMin{-1, -1, -1};
  Int3 tableRegionSize{0, 0, 0};
  /// Slot (i, j, k) at k + sz*(j + sy*i): the file's own order, x outermost.
  std::vector<RegionRecord> regions;

  /// Reads and checks the whole file for a world of regions of edge `sizeOneRegion` holding
  /// cubes of edge `sizeOneCube` (every zone kept lies in its region; without a cube edge the
  /// border tolerance is 0.01 world units). A file that cannot be opened is a fatal report
  /// ("fd != NULL"); a file that cannot be parsed answers false with getProblem() set and the
  /// content empty; salvaged records are listed in getSalvageReport().
  bool read(const std::string& fileName, float sizeOneRegion, float sizeOneCube = 0.f);
  /// The same on bytes in memory; `fileName` only names the file in reports.
  bool parse(const unsigned char* data, size_t size, const std::string& fileName, float sizeOneRegion,
             float sizeOneCube = 0.f);
  /// Why the last read failed: the file, the byte offset and what was wrong there.
  const std::string& getProblem() const { return problem; }
  /// What the last read dropped or repaired (empty when nothing): one text naming the file and,
  /// for each record, its byte offset and what was done.
  const std::string& getSalvageReport() const { return salvageReport; }
  size_t getNbSalvaged() const { return nbSalvaged; }

  // ---- Writing (bytes collect in memory, in file order)
  /// Magic, version, cube type count.
  void putHeader(int32_t nbCubeTypes);
  /// A whole world without cube types, zones or objects: the 2 x 2 x 2 region table around the
  /// origin (165 bytes), what a new world starts from.
  void putEmptyWorld();
  void putCubeType(const std::string textureNames[6], const bool textureOptions[3], bool collidable);
  void putRegionTable(const Int3& parTableRegionMin, const Int3& parTableRegionSize);
  /// Zone count, skip length 0, the zones. With `fastShadows` every face entry is 0 (the
  /// shadows are computed again while meshing).
  void putZoneSection(const std::vector<CubeZone>& zones, bool fastShadows);
  /// Object count and skip length 0; the records follow with putObject.
  void putObjectSectionHeader(int32_t nbObjects);
  void putObject(const CustomObject& object);
  /// From now on the bytes go to a temporary file in large blocks as they are put; endWriting()
  /// puts it in place of the file. False (reported, nothing written) when it cannot be created.
  bool beginWriting(const std::string& fileName);
  /// Writes what remains and puts the file in place, crash-safe. A failure is reported and the
  /// previous file is left as it was; answers false then.
  bool endWriting();
  /// Puts the collected bytes in place of the file, crash-safe (AtomicFileWriter). A file that
  /// cannot be created, written or synced is a problem report naming the file and the reason,
  /// and the previous file is left as it was; answers false then.
  bool writeTo(const std::string& fileName) const;
  const std::vector<unsigned char>& getBytes() const { return bytes; }

  void putInt32(int32_t value);
  void putFloat(float value);
  void putBool(bool value);
  void putBytes(const void* data, size_t size);

 private:
  class Reader;
  bool parseContent(Reader& in, float sizeOneRegion, float sizeOneCube);
  /// The zone records of one region, read into `zones` (damaged ones dropped or repaired).
  bool parseZones(Reader& in, int32_t nbZones, std::vector<CubeZone>& zones, int32_t nbCubeTypes,
                  const Float3& regionLow, float sizeOneRegion, float tolerance);
  /// Notes a dropped or repaired record for the salvage report.
  void salvaged(size_t offset, const std::string& what);
  void clearContent();
  /// Sends the collected bytes to the file being written once they fill a block.
  void flushBlock();
  bool reportWriteFailure(const std::string& fileName, const std::string& reason) const;

  std::vector<unsigned char> bytes;
  std::string problem;
  std::string salvageReport;
  size_t nbSalvaged = 0;
  std::string fileNameRead;
  std::unique_ptr<AtomicFileWriter> output;
  std::string outputName;
};

#endif
