#include "WorldFile.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>

#include "AtomicFileWriter.h"
#include "WorldIndexator.h"
#include "Assert.h"

namespace {

uint32_t decodeUint32(const unsigned char* b) {
  return static_cast<uint32_t>(b[0]) | static_cast<uint32_t>(b[1]) << 8 | static_cast<uint32_t>(b[2]) << 16 |
         static_cast<uint32_t>(b[3]) << 24;
}

float floatFromBits(uint32_t bits) {
  float value;
  std::memcpy(&value, &bits, 4);
  return value;
}

/// How far a zone may reach over its region's border (float error of a box ending on it).
constexpr float borderTolerance = 0.01f;

}  // namespace

/// A cursor over the file's bytes: every read checks what remains, the first failure
/// records the offset and what was expected there, and every later read fails too.
class WorldFile::Reader {
 public:
  Reader(const unsigned char* parData, size_t parSize) : data(parData), size(parSize) {}

  size_t remaining() const { return size - pos; }
  size_t offset() const { return pos; }
  bool isFailed() const { return !failure.empty(); }
  const std::string& getFailure() const { return failure; }
  size_t getFailureOffset() const { return failureOffset; }

  bool fail(const std::string& what) { return failAt(pos, what); }
  bool failAt(size_t at, const std::string& what) {
    if (failure.empty()) {
      failure = what;
      failureOffset = at;
    }
    return false;
  }

  bool bytes(void* out, size_t count, const char* what) {
    if (isFailed()) return false;
    if (count > remaining()) return fail(std::string("the file ends inside ") + what);
    std::memcpy(out, data + pos, count);
    pos += count;
    return true;
  }

  bool int32(int32_t& out, const char* what) {
    unsigned char b[4];
    if (!bytes(b, 4, what)) return false;
    out = static_cast<int32_t>(decodeUint32(b));
    return true;
  }

  bool real(float& out, const char* what) {
    int32_t bits;
    if (!int32(bits, what)) return false;
    out = floatFromBits(static_cast<uint32_t>(bits));
    return true;
  }

  /// A finite float (sizes and positions feed integer cell arithmetic).
  bool finiteReal(float& out, const char* what) {
    const size_t start = pos;
    if (!real(out, what)) return false;
    if (!std::isfinite(out)) {
      pos = start;
      return fail(std::string("not a finite number as ") + what);
    }
    return true;
  }

  bool boolean(bool& out, const char* what) {
    unsigned char b;
    if (!bytes(&b, 1, what)) return false;
    out = b != 0;
    return true;
  }

  /// A count of records of at least `minRecordSize` bytes each that must fit in what remains.
  bool count(int32_t& out, size_t minRecordSize, const char* what) {
    const size_t start = pos;
    if (!int32(out, what)) return false;
    if (out < 0 || static_cast<uint64_t>(out) * minRecordSize > remaining()) {
      pos = start;
      return fail(std::string("the ") + what + " " + std::to_string(out) + " does not fit in the " +
                  std::to_string(remaining()) + " bytes left");
    }
    return true;
  }

  bool skip(size_t count, const char* what) {
    if (isFailed()) return false;
    if (count > remaining()) return fail(std::string("the file ends inside ") + what);
    pos += count;
    return true;
  }

 private:
  const unsigned char* data;
  size_t size;
  size_t pos = 0;
  std::string failure;
  size_t failureOffset = 0;
};

bool WorldFile::read(const std::string& fileName, float sizeOneRegion) {
  clearContent();
  FILE* fd = std::fopen(fileName.c_str(), "rb");
  assert(fd != NULL, "cannot open the world file '" + fileName + "'");
  std::vector<unsigned char> content;
  unsigned char chunk[65536];
  size_t got;
  while ((got = std::fread(chunk, 1, sizeof(chunk), fd)) > 0) content.insert(content.end(), chunk, chunk + got);
  const bool readError = std::ferror(fd) != 0;
  std::fclose(fd);
  if (readError) {
    problem = "World file '" + fileName + "' could not be read completely; the world is left as it was.";
    return false;
  }
  return parse(content.data(), content.size(), fileName, sizeOneRegion);
}

bool WorldFile::parse(const unsigned char* data, size_t size, const std::string& fileName, float sizeOneRegion) {
  clearContent();
  char buf[6] = {0, 0, 0, 0, 0, 0};
  if (size > 0) std::memcpy(buf, data, size < 5 ? size : 5);
  // A file cut inside the magic (an interrupted save) is damaged, not a foreign file.
  if (size < 5 && std::strncmp(buf, "WORLD", size) == 0) {
    problem = "World file '" + fileName + "' is damaged at byte " + std::to_string(size) +
              ": the file ends inside the magic; the world is left as it was.";
    return false;
  }
  assert(std::string(buf) == std::string("WORLD"), "'" + fileName + "' is not a world file");
  Reader in(data, size);
  in.skip(5, "the magic");
  int32_t versionFile = 0;
  if (in.int32(versionFile, "the version")) {
    assert(versionFile == 1, "world file '" + fileName + "' has version " + std::to_string(versionFile));
  }
  if (!in.isFailed() && parseContent(in, sizeOneRegion)) return true;
  clearContent();
  problem = "World file '" + fileName + "' is damaged at byte " + std::to_string(in.getFailureOffset()) + ": " +
            in.getFailure() + "; the world is left as it was.";
  return false;
}

bool WorldFile::parseContent(Reader& in, float sizeOneRegion) {
  int32_t nbCubeTypes;
  if (!in.count(nbCubeTypes, minCubeTypeRecordSize, "cube type count")) return false;
  cubeTypes.resize(nbCubeTypes);
  for (CubeTypeRecord& type : cubeTypes) {
    for (std::string& name : type.textureNames) {
      int32_t length;
      if (!in.count(length, 1, "texture name length")) return false;
      name.resize(length);
      if (!in.bytes(&name[0], length, "a texture name")) return false;
    }
    for (bool& option : type.textureOptions)
      if (!in.boolean(option, "the texture options")) return false;
    if (!in.boolean(type.collidable, "the collidable flag")) return false;
  }

  int32_t table[6];
  for (int32_t& value : table)
    if (!in.int32(value, "the region table")) return false;
  // Every file written here covers regions -1 and 0 on each axis (the table of a new world),
  // so the table read back is the file's table; other placements would make the table grow
  // far beyond what the file holds.
  uint64_t nbRegions = 1;
  for (int axis = 0; axis < 3; ++axis) {
    const int64_t low = table[axis];
    const int64_t high = low + table[3 + axis] - 1;
    if (table[3 + axis] < 2 || low > -1 || high < 0 || low < -WorldIndexator::maxAbsoluteIndex ||
        high > WorldIndexator::maxAbsoluteIndex)
      return in.fail("the region table (minimum " + std::to_string(table[axis]) + ", size " +
                     std::to_string(table[3 + axis]) + " on axis " + std::to_string(axis) +
                     ") does not cover regions -1 and 0 or lies too far");
    nbRegions *= static_cast<uint64_t>(table[3 + axis]);
    if (nbRegions * minRegionRecordSize > in.remaining() ||
        nbRegions > static_cast<uint64_t>(WorldIndexator::maxTableCells))
      return in.fail("the region table holds more regions than the " + std::to_string(in.remaining()) +
                     " bytes left");
  }
  tableRegionMin = Int3(table[0], table[1], table[2]);
  tableRegionSize = Int3(table[3], table[4], table[5]);
  regions.resize(nbRegions);

  size_t slot = 0;
  for (RegionRecord& region : regions) {
    // Slot (i, j, k) in file order, x outermost.
    const int k = static_cast<int>(slot % table[5]), j = static_cast<int>(slot / table[5] % table[4]),
              i = static_cast<int>(slot / table[5] / table[4]);
    ++slot;
    const Float3 regionLow(sizeOneRegion * static_cast<float>(table[0] + i),
                           sizeOneRegion * static_cast<float>(table[1] + j),
                           sizeOneRegion * static_cast<float>(table[2] + k));
    int32_t nbZones, skipLength;
    if (!in.count(nbZones, minZoneRecordSize, "zone count") || !in.int32(skipLength, "the zone skip length"))
      return false;
    region.zones.resize(nbZones);
    for (CubeZone& zone : region.zones)
      if (!parseZone(in, zone, nbCubeTypes, regionLow, sizeOneRegion)) return false;
    if (skipLength > 0 && !in.skip(skipLength, "the bytes skipped after the zones")) return false;

    int32_t nbObjects;
    if (!in.count(nbObjects, CustomObject::recordSize, "object count") ||
        !in.int32(skipLength, "the object skip length"))
      return false;
    region.objects.resize(nbObjects);
    for (ObjectRecord& object : region.objects) {
      const size_t start = in.offset();
      if (!in.bytes(object.data(), object.size(), "an object record")) return false;
      bool finite = true;
      for (int axis = 0; axis < 3; ++axis) finite = finite && std::isfinite(floatFromBits(decodeUint32(&object[4 * axis])));
      const uint32_t typeId = decodeUint32(&object[12]);
      if (!finite) return in.failAt(start, "an object position is not a finite number");
      if (typeId >= CustomObject::maxTypeId)
        return in.failAt(start, "object type id " + std::to_string(typeId) + " is beyond any script's types");
    }
    if (skipLength > 0 && !in.skip(skipLength, "the bytes skipped after the objects")) return false;
  }
  if (in.remaining() != 0) return in.fail(std::to_string(in.remaining()) + " bytes follow the last region");
  return true;
}

bool WorldFile::parseZone(Reader& in, CubeZone& zone, int32_t nbCubeTypes, const Float3& regionLow,
                          float sizeOneRegion) {
  const size_t start = in.offset();
  for (int axis = 0; axis < 3; ++axis)
    if (!in.finiteReal(zone.centre[axis], "a zone centre")) return false;
  for (int axis = 0; axis < 3; ++axis) {
    if (!in.finiteReal(zone.size[axis], "a zone size")) return false;
    if (zone.size[axis] < 0.f) return in.failAt(in.offset() - 4, "negative zone size " + std::to_string(zone.size[axis]));
  }
  // The zone must lie in its region (with the tolerance the region table allows at borders):
  // the edits walk a zone cube by cube and the grids are sized by the region.
  for (int axis = 0; axis < 3; ++axis) {
    const float low = zone.centre[axis] - zone.size[axis] / 2.f, high = zone.centre[axis] + zone.size[axis] / 2.f;
    if (low < regionLow[axis] - borderTolerance || high > regionLow[axis] + sizeOneRegion + borderTolerance)
      return in.failAt(start, "a zone lies outside its region (a world made with another size_one_region "
                              "or size_one_cube?)");
  }
  const size_t idOffset = in.offset();
  if (!in.int32(zone.id, "a zone's cube type id") || !in.int32(zone.reserved, "a zone's reserved field"))
    return false;
  if (zone.id < 0 || zone.id >= nbCubeTypes)
    return in.failAt(idOffset, "zone cube type id " + std::to_string(zone.id) + " is not one of the " + std::to_string(nbCubeTypes) + " cube types");
  for (int face = 0; face < 6; ++face) {
    int32_t nbPoints;
    const size_t entryOffset = in.offset();
    if (!in.int32(nbPoints, "a face shadow entry")) return false;
    zone.isFaceShadowed[face] = nbPoints == faceShadowed;
    if (nbPoints == faceShadowed) continue;
    if (nbPoints < 0 || nbPoints % 3 != 0 || static_cast<uint64_t>(nbPoints) * 12 > in.remaining())
      return in.failAt(entryOffset, "face shadow entry " + std::to_string(nbPoints) +
                     " is neither -1 nor whole triangles within the bytes left");
    std::vector<Float3>& points = zone.shadowTriangles[face];
    points.resize(nbPoints);
    for (Float3& point : points)
      for (int axis = 0; axis < 3; ++axis)
        if (!in.finiteReal(point[axis], "a shadow point")) return false;
  }
  return true;
}

void WorldFile::clearContent() {
  cubeTypes.clear();
  regions.clear();
  tableRegionMin = Int3(-1, -1, -1);
  tableRegionSize = Int3(0, 0, 0);
  problem.clear();
}

void WorldFile::putHeader(int32_t nbCubeTypes) {
  putBytes("WORLD", 5);
  putInt32(version);
  putInt32(nbCubeTypes);
}

void WorldFile::putEmptyWorld() {
  putHeader(0);
  putRegionTable(Int3(-1, -1, -1), Int3(2, 2, 2));
  for (int region = 0; region < 8; ++region) {
    putZoneSection({}, false);
    putObjectSectionHeader(0);
  }
}

void WorldFile::putCubeType(const std::string textureNames[6], const bool textureOptions[3], bool collidable) {
  for (int face = 0; face < 6; ++face) {
    putInt32(static_cast<int32_t>(textureNames[face].size()));
    putBytes(textureNames[face].data(), textureNames[face].size());
  }
  for (int option = 0; option < 3; ++option) putBool(textureOptions[option]);
  putBool(collidable);
}

void WorldFile::putRegionTable(const Int3& parTableRegionMin, const Int3& parTableRegionSize) {
  for (int axis = 0; axis < 3; ++axis) putInt32(parTableRegionMin[axis]);
  for (int axis = 0; axis < 3; ++axis) putInt32(parTableRegionSize[axis]);
}

void WorldFile::putZoneSection(const std::vector<CubeZone>& zones, bool fastShadows) {
  putInt32(static_cast<int32_t>(zones.size()));
  putInt32(0);
  for (const CubeZone& zone : zones) {
    for (int axis = 0; axis < 3; ++axis) putFloat(zone.centre[axis]);
    for (int axis = 0; axis < 3; ++axis) putFloat(zone.size[axis]);
    putInt32(zone.id);
    putInt32(zone.reserved);
    for (int face = 0; face < 6; ++face) {
      if (fastShadows) {
        putInt32(0);
      } else if (zone.isFaceShadowed[face]) {
        putInt32(faceShadowed);
      } else {
        const std::vector<Float3>& points = zone.shadowTriangles[face];
        putInt32(static_cast<int32_t>(points.size()));
        for (const Float3& point : points)
          for (int axis = 0; axis < 3; ++axis) putFloat(point[axis]);
      }
    }
  }
}

void WorldFile::putObjectSectionHeader(int32_t nbObjects) {
  putInt32(nbObjects);
  putInt32(0);
}

void WorldFile::putObject(const CustomObject& object) {
  unsigned char record[CustomObject::recordSize];
  object.toRecord(record);
  putBytes(record, sizeof(record));
}

bool WorldFile::writeTo(const std::string& fileName) const {
  AtomicFileWriter out(fileName);
  out.write(bytes.data(), bytes.size());
  if (out.commit()) return true;
  showProblem("World file '" + fileName + "' could not be saved: " + out.getProblem() + ".");
  return false;
}

void WorldFile::putInt32(int32_t value) {
  const uint32_t bits = static_cast<uint32_t>(value);
  const unsigned char b[4] = {static_cast<unsigned char>(bits), static_cast<unsigned char>(bits >> 8),
                              static_cast<unsigned char>(bits >> 16), static_cast<unsigned char>(bits >> 24)};
  bytes.insert(bytes.end(), b, b + 4);
}

void WorldFile::putFloat(float value) {
  int32_t bits;
  std::memcpy(&bits, &value, 4);
  putInt32(bits);
}

void WorldFile::putBool(bool value) { bytes.push_back(value ? 1 : 0); }

void WorldFile::putBytes(const void* data, size_t size) {
  const unsigned char* begin = static_cast<const unsigned char*>(data);
  bytes.insert(bytes.end(), begin, begin + size);
}
