#include "world/WorldFile.h"

#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>

#include "AtomicFileWriter.h"
#include "world/WorldIndexator.h"
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

/// How far a zone may reach over its region's border (float error of a box ending on it) when
/// the cube edge is not known.
constexpr float borderTolerance = 0.01f;
/// The salvage report names the first records; a file damaged all over would make it unreadable.
constexpr size_t maxSalvageListed = 20;
/// The bytes being written go to the file in blocks of about this size.
constexpr size_t writeBlockSize = size_t(1) << 20;

void encodeUint32(unsigned char* b, uint32_t value) {
  b[0] = static_cast<unsigned char>(value);
  b[1] = static_cast<unsigned char>(value >> 8);
  b[2] = static_cast<unsigned char>(value >> 16);
  b[3] = static_cast<unsigned char>(value >> 24);
}

uint32_t bitsOf(float value) {
  uint32_t bits;
  std::memcpy(&bits, &value, 4);
  return bits;
}

}  // namespace

/// A cursor over the file's bytes: every read checks what remains, the first failure
/// records the offset and what was expected there, and every later read fails too.
class WorldFile::Reader {
 public:
  Reader(const unsigned char* parData, size_t parSize) : data(parData), size(parSize) {}

  size_t remaining() const { return size - pos; }
  size_t offset() const { return pos; }
  const unsigned char* base() const { return data; }
  /// Moves the cursor (within the bytes) after a caller decoded records itself.
  void seek(size_t at) { pos = at < size ? at : size; }
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

bool WorldFile::read(const std::string& fileName, float sizeOneRegion, float sizeOneCube) {
  clearContent();
  FILE* fd = std::fopen(fileName.c_str(), "rb");
  assert(fd != NULL, "cannot open the world file '" + fileName + "'");
  // One block of the file's size (not zeroed first), read at once: no growing buffer, no copy
  // per chunk.
  std::unique_ptr<unsigned char[]> content;
  size_t got = 0;
  // Only a regular file has a length to trust (a directory opens too, and claims any size).
  struct stat info;
  bool readError = ::fstat(::fileno(fd), &info) != 0 || !S_ISREG(info.st_mode);
  const off_t length = readError ? 0 : info.st_size;
  if (!readError) {
    content.reset(new unsigned char[static_cast<size_t>(length) + 1]);
    // A file that shrank meanwhile is parsed as it is (and found truncated); one that grew is
    // read to the length it had.
    while (got < static_cast<size_t>(length)) {
      const size_t n = std::fread(content.get() + got, 1, static_cast<size_t>(length) - got, fd);
      if (n == 0) break;
      got += n;
    }
    readError = std::ferror(fd) != 0;
  }
  std::fclose(fd);
  if (readError) {
    problem = "World file '" + fileName + "' could not be read completely; the world is left as it was.";
    return false;
  }
  return parse(content.get(), got, fileName, sizeOneRegion, sizeOneCube);
}

bool WorldFile::parse(const unsigned char* data, size_t size, const std::string& fileName, float sizeOneRegion,
                      float sizeOneCube) {
  clearContent();
  fileNameRead = fileName;
  char buf[6] = {0, 0, 0, 0, 0, 0};
  if (size > 0) std::memcpy(buf, data, size < 5 ? size : 5);
  // A file cut inside the magic (an interrupted save) is damaged, not a foreign file.
  if (size < 5 && std::strncmp(buf, "WORLD", size) == 0) {
    problem = "World file '" + fileName + "' is damaged at byte " + std::to_string(size) +
              ": the file ends inside the magic; the world is left as it was.";
    return false;
  }
  if (std::string(buf) != std::string("WORLD")) {
    problem = "'" + fileName + "' is not a world file (it does not start with \"WORLD\"); the world is left as it was.";
    return false;
  }
  Reader in(data, size);
  in.skip(5, "the magic");
  int32_t versionFile = 0;
  if (in.int32(versionFile, "the version") && versionFile != version) {
    problem = "World file '" + fileName + "' has version " + std::to_string(versionFile) +
              ", not 1; the world is left as it was.";
    return false;
  }
  if (!in.isFailed() && parseContent(in, sizeOneRegion, sizeOneCube)) {
    if (nbSalvaged > maxSalvageListed)
      salvageReport += " and " + std::to_string(nbSalvaged - maxSalvageListed) + " more";
    return true;
  }
  clearContent();
  problem = "World file '" + fileName + "' is damaged at byte " + std::to_string(in.getFailureOffset()) + ": " +
            in.getFailure() + "; the world is left as it was.";
  return false;
}

bool WorldFile::parseContent(Reader& in, float sizeOneRegion, float sizeOneCube) {
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
  // Any minimum is allowed: slot (i, j, k) is the region minimum + (i, j, k). The world's table
  // also keeps regions -1 and 0, so the union of both must stay within the table's limits.
  uint64_t nbRegions = 1;
  uint64_t nbTableCells = 1;
  for (int axis = 0; axis < 3; ++axis) {
    const int64_t low = table[axis];
    const int64_t high = low + table[3 + axis] - 1;
    if (table[3 + axis] < 1 || low < -WorldIndexator::maxAbsoluteIndex || high > WorldIndexator::maxAbsoluteIndex)
      return in.fail("the region table (minimum " + std::to_string(table[axis]) + ", size " +
                     std::to_string(table[3 + axis]) + " on axis " + std::to_string(axis) +
                     ") is empty or lies too far");
    nbRegions *= static_cast<uint64_t>(table[3 + axis]);
    nbTableCells *= static_cast<uint64_t>(std::max<int64_t>(high, 0) - std::min<int64_t>(low, -1) + 1);
    if (nbRegions * minRegionRecordSize > in.remaining() ||
        nbRegions > static_cast<uint64_t>(WorldIndexator::maxTableCells))
      return in.fail("the region table holds more regions than the " + std::to_string(in.remaining()) +
                     " bytes left");
    if (nbTableCells > static_cast<uint64_t>(WorldIndexator::maxTableCells))
      return in.fail("the region table lies too far from regions -1 and 0 for the world's table");
  }
  tableRegionMin = Int3(table[0], table[1], table[2]);
  tableRegionSize = Int3(table[3], table[4], table[5]);
  regions.resize(nbRegions);

  // How far a zone may reach over its region's border and still be built as it is: within
  // the region build's own tolerance (a thousandth of a cube in all), else it is clipped.
  const float tolerance = sizeOneCube > 0.f ? sizeOneCube * 2.5e-4f : borderTolerance;
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
    if (!parseZones(in, nbZones, region.zones, nbCubeTypes, regionLow, sizeOneRegion, tolerance)) return false;
    if (skipLength > 0 && !in.skip(skipLength, "the bytes skipped after the zones")) return false;

    int32_t nbObjects;
    if (!in.count(nbObjects, CustomObject::recordSize, "object count") ||
        !in.int32(skipLength, "the object skip length"))
      return false;
    region.objects.resize(nbObjects);
    size_t kept = 0;
    for (int32_t n = 0; n < nbObjects; ++n) {
      ObjectRecord& object = region.objects[kept];
      const size_t start = in.offset();
      if (!in.bytes(object.data(), object.size(), "an object record")) return false;
      bool finite = true;
      for (int axis = 0; axis < 3; ++axis) finite = finite && std::isfinite(floatFromBits(decodeUint32(&object[4 * axis])));
      const uint32_t typeId = decodeUint32(&object[12]);
      if (!finite)
        salvaged(start, "object dropped (its position is not a finite number)");
      else if (typeId >= CustomObject::maxTypeId)
        salvaged(start, "object dropped (type id " + std::to_string(typeId) + " is beyond any script's types)");
      else
        ++kept;
    }
    region.objects.resize(kept);
    if (skipLength > 0 && !in.skip(skipLength, "the bytes skipped after the objects")) return false;
  }
  if (in.remaining() != 0) {
    salvaged(in.offset(), std::to_string(in.remaining()) + " bytes after the last region ignored");
    in.skip(in.remaining(), "the end");
  }
  return true;
}

namespace {

/// A float's bits are those of a finite number (not an infinity, not a NaN).
bool isFiniteBits(uint32_t bits) { return (bits & 0x7f800000u) != 0x7f800000u; }

}  // namespace

bool WorldFile::parseZones(Reader& in, int32_t nbZones, std::vector<CubeZone>& zones, int32_t nbCubeTypes,
                           const Float3& regionLow, float sizeOneRegion, float tolerance) {
  // The count fits in what remains (checked by the caller): the list is sized once, exactly,
  // and the records decoded straight from the bytes.
  zones.resize(static_cast<size_t>(nbZones));
  const unsigned char* const data = in.base();
  size_t pos = in.offset();
  const size_t size = pos + in.remaining();
  size_t kept = 0;
  for (int32_t n = 0; n < nbZones; ++n) {
    const size_t start = pos;
    if (size - pos < minZoneRecordSize) {
      in.seek(size);
      return in.fail("the file ends inside a zone record");
    }
    uint32_t words[8];
    for (int w = 0; w < 8; ++w) words[w] = decodeUint32(data + pos + 4 * w);
    pos += 32;
    CubeZone& zone = zones[kept];
    const char* damage = nullptr;
    bool isClipped = false;
    for (int axis = 0; axis < 3 && damage == nullptr; ++axis) {
      if (!isFiniteBits(words[axis]) || !isFiniteBits(words[3 + axis])) damage = "its centre or size is not a finite number";
      zone.centre[axis] = floatFromBits(words[axis]);
      zone.size[axis] = floatFromBits(words[3 + axis]);
    }
    for (int axis = 0; axis < 3 && damage == nullptr; ++axis) if (zone.size[axis] < 0.f) damage = "its size is negative";
    zone.id = static_cast<int32_t>(words[6]);
    zone.reserved = static_cast<int32_t>(words[7]);
    std::string idDamage;
    if (damage == nullptr && (zone.id < 0 || zone.id >= nbCubeTypes)) {
      idDamage = "cube type id " + std::to_string(zone.id) + " is not one of the " + std::to_string(nbCubeTypes) +
                 " cube types";
      damage = idDamage.c_str();
    }
    // The zone must lie in its region: the edits walk a zone cube by cube and the grids are
    // sized by the region. One reaching over the border is clipped to it; one beside it goes.
    for (int axis = 0; axis < 3 && damage == nullptr; ++axis) {
      const float regionHigh = regionLow[axis] + sizeOneRegion;
      float low = zone.centre[axis] - zone.size[axis] / 2.f, high = zone.centre[axis] + zone.size[axis] / 2.f;
      if (low >= regionLow[axis] - tolerance && high <= regionHigh + tolerance) continue;
      if (!(high > regionLow[axis] && low < regionHigh)) {
        damage = "it lies outside its region (a world made with another size_one_region or size_one_cube?)";
        break;
      }
      low = std::max(low, regionLow[axis]);
      high = std::min(high, regionHigh);
      zone.centre[axis] = low + (high - low) / 2.f;
      zone.size[axis] = high - low;
      isClipped = true;
    }

    // Face entries: -1 (face in shadow) or a number of points, three per triangle.
    zone.shadowTriangles.clear();
    for (int face = 0; face < 6; ++face) {
      if (size - pos < 4) {
        in.seek(size);
        return in.fail("the file ends inside a face shadow entry");
      }
      const int32_t nbPoints = static_cast<int32_t>(decodeUint32(data + pos));
      const size_t entryOffset = pos;
      pos += 4;
      zone.isFaceShadowed[face] = nbPoints == faceShadowed;
      if (nbPoints == faceShadowed || nbPoints == 0) continue;
      if (nbPoints < 0 || static_cast<uint64_t>(nbPoints) * 12 > size - pos) {
        in.seek(entryOffset);
        return in.fail("face shadow entry " + std::to_string(nbPoints) + " is neither -1 nor points within the " +
                       std::to_string(size - pos) + " bytes left");
      }
      const size_t nbKept = static_cast<size_t>(nbPoints) - static_cast<size_t>(nbPoints) % 3;
      if (nbKept != static_cast<size_t>(nbPoints))
        salvaged(entryOffset, "face shadow entry of " + std::to_string(nbPoints) + " points: " +
                                  std::to_string(nbPoints % 3) + " stray point(s) after the last whole triangle dropped");
      bool finite = true;
      for (size_t b = 0; b < nbKept * 3 && finite; ++b) finite = isFiniteBits(decodeUint32(data + pos + 4 * b));
      if (!finite) {
        salvaged(entryOffset, "face shadow entry dropped (a point is not a finite number)");
      } else if (nbKept > 0 && damage == nullptr) {
        std::vector<Float3>& points = zone.shadowTriangles[face];
        points.resize(nbKept);
        for (size_t p = 0; p < nbKept; ++p)
          for (int axis = 0; axis < 3; ++axis) points[p][axis] = floatFromBits(decodeUint32(data + pos + 12 * p + 4 * axis));
      }
      pos += static_cast<size_t>(nbPoints) * 12;
    }
    if (damage != nullptr) {
      salvaged(start, std::string("zone dropped (") + damage + ")");
      continue;
    }
    if (isClipped) salvaged(start, "zone clipped to its region (it reached past the region's border)");
    ++kept;
  }
  zones.resize(kept);
  in.seek(pos);
  return true;
}

void WorldFile::salvaged(size_t offset, const std::string& what) {
  ++nbSalvaged;
  if (nbSalvaged == 1)
    salvageReport = "World file '" + fileNameRead + "' held damaged records, dropped or repaired while loading:";
  if (nbSalvaged <= maxSalvageListed) salvageReport += " byte " + std::to_string(offset) + ": " + what + ";";
}

void WorldFile::clearContent() {
  cubeTypes.clear();
  regions.clear();
  tableRegionMin = Int3(-1, -1, -1);
  tableRegionSize = Int3(0, 0, 0);
  problem.clear();
  salvageReport.clear();
  nbSalvaged = 0;
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
  // Sized once for the whole section, then encoded in place.
  size_t sectionSize = 8 + zones.size() * minZoneRecordSize;
  if (!fastShadows)
    for (const CubeZone& zone : zones)
      if (zone.shadowTriangles.isAllocated())
        for (int face = 0; face < 6; ++face)
          if (!zone.isFaceShadowed[face]) sectionSize += 12 * zone.shadowTriangles[face].size();
  const size_t start = bytes.size();
  bytes.resize(start + sectionSize);
  unsigned char* out = bytes.data() + start;
  encodeUint32(out, static_cast<uint32_t>(zones.size()));
  encodeUint32(out + 4, 0);
  out += 8;
  for (const CubeZone& zone : zones) {
    for (int axis = 0; axis < 3; ++axis) encodeUint32(out + 4 * axis, bitsOf(zone.centre[axis]));
    for (int axis = 0; axis < 3; ++axis) encodeUint32(out + 12 + 4 * axis, bitsOf(zone.size[axis]));
    encodeUint32(out + 24, static_cast<uint32_t>(zone.id));
    encodeUint32(out + 28, static_cast<uint32_t>(zone.reserved));
    out += 32;
    for (int face = 0; face < 6; ++face) {
      if (fastShadows) {
        encodeUint32(out, 0);
        out += 4;
      } else if (zone.isFaceShadowed[face]) {
        encodeUint32(out, static_cast<uint32_t>(faceShadowed));
        out += 4;
      } else {
        const std::vector<Float3>& points = zone.shadowTriangles[face];
        encodeUint32(out, static_cast<uint32_t>(points.size()));
        out += 4;
        for (const Float3& point : points) {
          for (int axis = 0; axis < 3; ++axis) encodeUint32(out + 4 * axis, bitsOf(point[axis]));
          out += 12;
        }
      }
    }
  }
  flushBlock();
}

void WorldFile::putObjectSectionHeader(int32_t nbObjects) {
  putInt32(nbObjects);
  putInt32(0);
}

void WorldFile::putObject(const CustomObject& object) {
  unsigned char record[CustomObject::recordSize];
  object.toRecord(record);
  putBytes(record, sizeof(record));
  flushBlock();
}

bool WorldFile::writeTo(const std::string& fileName) const {
  AtomicFileWriter out(fileName);
  out.write(bytes.data(), bytes.size());
  if (out.commit()) return true;
  return reportWriteFailure(fileName, out.getProblem());
}

bool WorldFile::beginWriting(const std::string& fileName) {
  output.reset(new AtomicFileWriter(fileName));
  outputName = fileName;
  if (output->isOk()) {
    bytes.reserve(writeBlockSize + writeBlockSize / 4);
    return true;
  }
  reportWriteFailure(fileName, output->getProblem());
  output.reset();
  return false;
}

void WorldFile::flushBlock() {
  if (output == nullptr || bytes.size() < writeBlockSize) return;
  output->write(bytes.data(), bytes.size());
  bytes.clear();
}

bool WorldFile::endWriting() {
  if (output == nullptr) return false;
  std::unique_ptr<AtomicFileWriter> out = std::move(output);
  out->write(bytes.data(), bytes.size());
  bytes.clear();
  if (out->commit()) return true;
  return reportWriteFailure(outputName, out->getProblem());
}

bool WorldFile::reportWriteFailure(const std::string& fileName, const std::string& reason) const {
  showProblem("World file '" + fileName + "' could not be saved: " + reason + ".");
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
