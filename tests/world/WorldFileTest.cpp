#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cmath>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <string>
#include <vector>

#include "AtomicFileWriter.h"
#include "meshing/CubeTypeLook.h"
#include "meshing/CubesTable.h"
#include "world/CustomObject.h"
#include "TempDir.h"
#include "world/WorldFile.h"
#include "XMLSimple.h"
#include "ZoneTestHelpers.h"

namespace {

constexpr float regionEdge = 16.f;

std::vector<unsigned char> bytesOf(const std::string& text) { return std::vector<unsigned char>(text.begin(), text.end()); }

int32_t int32At(const std::vector<unsigned char>& bytes, size_t offset) {
  return static_cast<int32_t>(static_cast<uint32_t>(bytes[offset]) | static_cast<uint32_t>(bytes[offset + 1]) << 8 |
                              static_cast<uint32_t>(bytes[offset + 2]) << 16 |
                              static_cast<uint32_t>(bytes[offset + 3]) << 24);
}

void setInt32At(std::vector<unsigned char>& bytes, size_t offset, int32_t value) {
  for (int b = 0; b < 4; ++b) bytes[offset + b] = static_cast<unsigned char>(static_cast<uint32_t>(value) >> (8 * b));
}

void setFloatAt(std::vector<unsigned char>& bytes, size_t offset, float value) {
  int32_t bits;
  std::memcpy(&bits, &value, 4);
  setInt32At(bytes, offset, bits);
}

/// Zone of edge-1 cubes covering [lo, lo + count) in world units.
CubeZone zone(int32_t id, Float3 lo, Float3 count) {
  return CubeZone(id, Float3(lo.x() + count.x() / 2.f, lo.y() + count.y() / 2.f, lo.z() + count.z() / 2.f), count);
}

/// A small world: two cube types, a 3 x 2 x 2 table at (-1, -1, -1); region (0, 0, 0) (slot
/// (1, 1, 1)) holds two zones (one with shadow triangles and a face in shadow) and two objects,
/// region (1, 0, 0) (slot (2, 1, 1)) one zone. Offsets of interest are recorded.
struct SmallWorld {
  WorldFile file;
  size_t firstZoneOffset = 0;
  size_t firstObjectOffset = 0;
  size_t firstTypeOffset = 0;
  size_t lastZoneOffset = 0;

  SmallWorld() {
    const std::string names[6] = {"grass_top.png", "dirt.png", "", "a", "bb", "ccc"};
    const std::string empty[6];
    const bool options[3] = {true, false, true};
    file.putHeader(2);
    firstTypeOffset = file.getBytes().size();
    file.putCubeType(names, options, true);
    file.putCubeType(empty, options, false);
    file.putRegionTable(Int3(-1, -1, -1), Int3(3, 2, 2));
    for (int i = 0; i < 3; ++i)
      for (int j = 0; j < 2; ++j)
        for (int k = 0; k < 2; ++k) {
          std::vector<CubeZone> zones;
          if (i == 1 && j == 1 && k == 1) {
            zones.push_back(zone(0, Float3(0.f, 0.f, 0.f), Float3(3.f, 1.f, 1.f)));
            zones.back().isFaceShadowed[3] = true;
            zones.back().shadowTriangles[1] = {Float3(0.f, 0.5f, 0.f), Float3(1.f, 0.5f, 0.f), Float3(1.f, 0.5f, 1.f)};
            zones.push_back(zone(1, Float3(4.f, 2.f, 2.f), Float3(1.f, 2.f, 3.f)));
            firstZoneOffset = file.getBytes().size() + 8;
          }
          if (i == 2 && j == 1 && k == 1) {
            zones.push_back(zone(1, Float3(16.f, 0.f, 0.f), Float3(16.f, 16.f, 16.f)));
            lastZoneOffset = file.getBytes().size() + 8;
          }
          file.putZoneSection(zones, false);
          if (i == 1 && j == 1 && k == 1) {
            file.putObjectSectionHeader(2);
            firstObjectOffset = file.getBytes().size();
            file.putObject(CustomObject(true, Float3(1.5f, 2.f, 3.f), 4, ""));
            file.putObject(CustomObject(false, Float3(5.f, 6.f, 7.f), 0, ""));
          } else {
            file.putObjectSectionHeader(0);
          }
        }
  }
  const std::vector<unsigned char>& bytes() const { return file.getBytes(); }
};

bool parse(WorldFile& file, const std::vector<unsigned char>& bytes, size_t length) {
  return file.parse(bytes.data(), length, "small.dat", regionEdge);
}

/// Parses damaged bytes and checks that they are refused with a report at the expected offset.
void expectDamagedAt(const std::vector<unsigned char>& bytes, size_t offset, const std::string& what) {
  WorldFile file;
  EXPECT_FALSE(parse(file, bytes, bytes.size())) << what;
  EXPECT_NE(file.getProblem().find("'small.dat' is damaged at byte " + std::to_string(offset) + ":"),
            std::string::npos)
      << what << ": " << file.getProblem();
  EXPECT_NE(file.getProblem().find(what), std::string::npos) << file.getProblem();
  EXPECT_TRUE(file.cubeTypes.empty());
  EXPECT_TRUE(file.regions.empty());
}

}  // namespace

TEST(WorldFileTest, EmptyWorldIs165Bytes) {
  WorldFile written;
  written.putHeader(0);
  written.putRegionTable(Int3(-1, -1, -1), Int3(2, 2, 2));
  for (int region = 0; region < 8; ++region) {
    written.putZoneSection({}, false);
    written.putObjectSectionHeader(0);
  }
  ASSERT_EQ(written.getBytes().size(), 165u);
  TempDir dir;
  ASSERT_TRUE(written.writeTo(dir.file("empty.dat")));

  WorldFile read;
  ASSERT_TRUE(read.read(dir.file("empty.dat"), regionEdge)) << read.getProblem();
  EXPECT_TRUE(read.cubeTypes.empty());
  EXPECT_EQ(read.tableRegionMin, Int3(-1, -1, -1));
  EXPECT_EQ(read.tableRegionSize, Int3(2, 2, 2));
  ASSERT_EQ(read.regions.size(), 8u);
  for (const WorldFile::RegionRecord& region : read.regions) {
    EXPECT_TRUE(region.zones.empty());
    EXPECT_TRUE(region.objects.empty());
  }
}

TEST(WorldFileTest, CubeTypeRecordsHoldLengthPrefixedNamesThenFourFlagBytes) {
  const std::string empty[6];
  const bool options[3] = {true, false, true};
  WorldFile file;
  file.putCubeType(empty, options, false);
  EXPECT_EQ(file.getBytes().size(), 28u);

  WorldFile named;
  const std::string names[6] = {"ab", "", "", "", "", "xyz"};
  named.putCubeType(names, options, true);
  const std::vector<unsigned char>& b = named.getBytes();
  ASSERT_EQ(b.size(), 28u + 5u);
  EXPECT_EQ(int32At(b, 0), 2);
  EXPECT_EQ(std::string(b.begin() + 4, b.begin() + 6), "ab");
  EXPECT_EQ(int32At(b, 22), 3);
  EXPECT_EQ(std::string(b.begin() + 26, b.begin() + 29), "xyz");
  EXPECT_EQ(std::vector<unsigned char>(b.begin() + 29, b.end()), (std::vector<unsigned char>{1, 0, 1, 1}));
}

TEST(WorldFileTest, ZoneRecordsAre56BytesWithFastShadowsOrWithoutTriangles) {
  CubeZone withTriangles = zone(3, Float3(0.f, 0.f, 0.f), Float3(2.f, 2.f, 2.f));
  withTriangles.shadowTriangles[0] = {Float3(1.f, 2.f, 3.f), Float3(4.f, 5.f, 6.f), Float3(7.f, 8.f, 9.f)};
  withTriangles.isFaceShadowed[1] = true;
  withTriangles.reserved = 77;

  WorldFile fast;
  fast.putZoneSection({withTriangles}, true);
  ASSERT_EQ(fast.getBytes().size(), 8u + 56u);
  EXPECT_EQ(int32At(fast.getBytes(), 0), 1);
  EXPECT_EQ(int32At(fast.getBytes(), 4), 0);
  EXPECT_EQ(int32At(fast.getBytes(), 8 + 24), 3);
  EXPECT_EQ(int32At(fast.getBytes(), 8 + 28), 77);
  for (int face = 0; face < 6; ++face) EXPECT_EQ(int32At(fast.getBytes(), 8 + 32 + 4 * face), 0);

  CubeZone inShadow = zone(3, Float3(0.f, 0.f, 0.f), Float3(2.f, 2.f, 2.f));
  inShadow.isFaceShadowed[2] = true;
  WorldFile still;
  still.putZoneSection({inShadow}, false);
  ASSERT_EQ(still.getBytes().size(), 8u + 56u);
  for (int face = 0; face < 6; ++face)
    EXPECT_EQ(int32At(still.getBytes(), 8 + 32 + 4 * face), face == 2 ? -1 : 0);

  WorldFile full;
  full.putZoneSection({withTriangles}, false);
  ASSERT_EQ(full.getBytes().size(), 8u + 56u + 9u * 4u);
  EXPECT_EQ(int32At(full.getBytes(), 8 + 32), 3);
  EXPECT_EQ(int32At(full.getBytes(), 8 + 32 + 4 + 36), -1);
}

TEST(WorldFileTest, ReadingGivesBackWhatWasWritten) {
  SmallWorld world;
  WorldFile read;
  ASSERT_TRUE(parse(read, world.bytes(), world.bytes().size())) << read.getProblem();
  ASSERT_EQ(read.cubeTypes.size(), 2u);
  EXPECT_EQ(read.cubeTypes[0].textureNames[0], "grass_top.png");
  EXPECT_EQ(read.cubeTypes[0].textureNames[2], "");
  EXPECT_EQ(read.cubeTypes[0].textureNames[5], "ccc");
  EXPECT_TRUE(read.cubeTypes[0].textureOptions[0]);
  EXPECT_FALSE(read.cubeTypes[0].textureOptions[1]);
  EXPECT_TRUE(read.cubeTypes[0].collidable);
  EXPECT_FALSE(read.cubeTypes[1].collidable);
  EXPECT_EQ(read.tableRegionMin, Int3(-1, -1, -1));
  EXPECT_EQ(read.tableRegionSize, Int3(3, 2, 2));
  ASSERT_EQ(read.regions.size(), 12u);

  const WorldFile::RegionRecord& origin = read.regions[1 + 2 * (1 + 2 * 1)];
  ASSERT_EQ(origin.zones.size(), 2u);
  EXPECT_EQ(origin.zones[0].id, 0);
  EXPECT_EQ(origin.zones[0].centre, Float3(1.5f, 0.5f, 0.5f));
  EXPECT_EQ(origin.zones[0].size, Float3(3.f, 1.f, 1.f));
  EXPECT_TRUE(origin.zones[0].isFaceShadowed[3]);
  EXPECT_FALSE(origin.zones[0].isFaceShadowed[1]);
  ASSERT_EQ(origin.zones[0].shadowTriangles[1].size(), 3u);
  EXPECT_EQ(origin.zones[0].shadowTriangles[1][2], Float3(1.f, 0.5f, 1.f));
  EXPECT_EQ(origin.zones[1].id, 1);
  EXPECT_EQ(origin.zones[1].size, Float3(1.f, 2.f, 3.f));
  ASSERT_EQ(origin.objects.size(), 2u);
  const CustomObject global = CustomObject::fromRecord(
      *reinterpret_cast<const unsigned char(*)[CustomObject::recordSize]>(origin.objects[0].data()));
  EXPECT_TRUE(global.getIsGlobal());
  EXPECT_TRUE(global.getNeedsInit());
  EXPECT_EQ(global.getTypeId(), 4u);
  EXPECT_EQ(global.getPosition(), Float3(1.5f, 2.f, 3.f));
  EXPECT_EQ(read.regions[1 + 2 * (1 + 2 * 2)].zones.size(), 1u);

  // Writing the content read gives the same bytes.
  WorldFile again;
  again.putHeader(2);
  for (const WorldFile::CubeTypeRecord& type : read.cubeTypes)
    again.putCubeType(type.textureNames, type.textureOptions, type.collidable);
  again.putRegionTable(read.tableRegionMin, read.tableRegionSize);
  for (const WorldFile::RegionRecord& region : read.regions) {
    again.putZoneSection(region.zones, false);
    again.putObjectSectionHeader(static_cast<int32_t>(region.objects.size()));
    for (const WorldFile::ObjectRecord& object : region.objects) again.putBytes(object.data(), object.size());
  }
  EXPECT_EQ(again.getBytes(), world.bytes());
}

TEST(WorldFileTest, SkipLengthsSkipTrailingBytesOfASection) {
  SmallWorld world;
  std::vector<unsigned char> bytes = world.bytes();
  // Region of slot (1, 1, 1): 12 bytes after its zones, 8 after its objects.
  const size_t zoneSectionHeader = world.firstZoneOffset - 8;
  setInt32At(bytes, zoneSectionHeader + 4, 12);
  const size_t objectSectionHeader = world.firstObjectOffset - 8;
  bytes.insert(bytes.begin() + objectSectionHeader, 12, 0xEE);
  setInt32At(bytes, objectSectionHeader + 12 + 4, 8);
  bytes.insert(bytes.begin() + world.firstObjectOffset + 12 + 2 * CustomObject::recordSize, 8, 0xDD);
  WorldFile read;
  ASSERT_TRUE(parse(read, bytes, bytes.size())) << read.getProblem();
  EXPECT_EQ(read.regions[7].zones.size(), 2u);
  EXPECT_EQ(read.regions[7].objects.size(), 2u);
  EXPECT_EQ(read.regions[11].zones.size(), 1u);
  EXPECT_EQ(read.regions[11].zones[0].size, Float3(16.f, 16.f, 16.f));
}

TEST(WorldFileTest, EveryTruncationIsReportedWithoutReadingPastTheEnd) {
  SmallWorld world;
  const std::vector<unsigned char>& full = world.bytes();
  for (size_t length = 0; length < full.size(); ++length) {
    // A copy of exactly `length` bytes, so that a read past the end is caught by the sanitizers.
    std::vector<unsigned char> cut(full.begin(), full.begin() + length);
    WorldFile file;
    EXPECT_FALSE(file.parse(cut.data(), cut.size(), "small.dat", regionEdge)) << length;
    EXPECT_NE(file.getProblem().find("World file 'small.dat' is damaged at byte "), std::string::npos)
        << length << ": " << file.getProblem();
    EXPECT_TRUE(file.regions.empty());
    EXPECT_TRUE(file.cubeTypes.empty());
  }
}

TEST(WorldFileTest, DamagedCountsLengthsAndValuesAreRefusedWhereTheyStand) {
  SmallWorld world;
  const size_t typeCount = 9;
  const size_t zone = world.firstZoneOffset;
  {
    std::vector<unsigned char> b = world.bytes();
    setInt32At(b, typeCount, 0x7fffffff);
    expectDamagedAt(b, typeCount, "cube type count 2147483647 does not fit");
  }
  {
    std::vector<unsigned char> b = world.bytes();
    setInt32At(b, world.firstTypeOffset, -5);
    expectDamagedAt(b, world.firstTypeOffset, "texture name length -5");
  }
  {
    std::vector<unsigned char> b = world.bytes();
    setInt32At(b, world.firstTypeOffset, 1 << 30);
    expectDamagedAt(b, world.firstTypeOffset, "texture name length 1073741824 does not fit");
  }
  {
    std::vector<unsigned char> b = world.bytes();
    setInt32At(b, zone - 8, 1 << 28);
    expectDamagedAt(b, zone - 8, "zone count");
  }
  {
    std::vector<unsigned char> b = world.bytes();
    setInt32At(b, zone - 4, 1 << 30);
    expectDamagedAt(b, world.firstObjectOffset - 8, "the file ends inside the bytes skipped after the zones");
  }
  {
    std::vector<unsigned char> b = world.bytes();
    setInt32At(b, zone + 32, -2);
    expectDamagedAt(b, zone + 32, "face shadow entry -2 is neither -1 nor points");
  }
  {
    std::vector<unsigned char> b = world.bytes();
    setInt32At(b, zone + 32 + 4, 3 * (1 << 28));
    expectDamagedAt(b, zone + 36, "face shadow entry 805306368 is neither -1 nor points within");
  }
}

/// Parses bytes with damaged records: they load, and the one report names each record.
WorldFile salvage(const std::vector<unsigned char>& bytes, const std::vector<std::string>& notes) {
  WorldFile file;
  EXPECT_TRUE(file.parse(bytes.data(), bytes.size(), "small.dat", regionEdge, 1.f)) << file.getProblem();
  EXPECT_EQ(file.getNbSalvaged(), notes.size());
  std::string expected = "World file 'small.dat' held damaged records, dropped or repaired while loading:";
  for (const std::string& note : notes) expected += " " + note + ";";
  EXPECT_EQ(file.getSalvageReport(), expected);
  return file;
}

TEST(WorldFileTest, DamagedRecordsOfKnownExtentAreDroppedOrRepairedWithOneReport) {
  SmallWorld world;
  const size_t zone = world.firstZoneOffset;
  const size_t secondZone = zone + 56 + 3 * 12;  // the first zone holds one triangle
  const size_t origin = 1 + 2 * (1 + 2 * 1);
  const std::string at = "byte " + std::to_string(zone) + ": zone dropped (";
  {
    std::vector<unsigned char> b = world.bytes();
    setFloatAt(b, zone + 12, std::numeric_limits<float>::quiet_NaN());
    setFloatAt(b, secondZone + 4, std::numeric_limits<float>::infinity());
    const WorldFile read = salvage(b, {at + "its centre or size is not a finite number)",
                                       "byte " + std::to_string(secondZone) +
                                           ": zone dropped (its centre or size is not a finite number)"});
    EXPECT_TRUE(read.regions[origin].zones.empty());
    EXPECT_EQ(read.regions[origin].objects.size(), 2u);
    EXPECT_EQ(read.regions[origin + 4].zones.size(), 1u);
  }
  {
    std::vector<unsigned char> b = world.bytes();
    setFloatAt(b, zone + 16, -1.f);
    salvage(b, {at + "its size is negative)"});
  }
  {
    std::vector<unsigned char> b = world.bytes();
    setInt32At(b, zone + 24, 2);
    const WorldFile read = salvage(b, {at + "cube type id 2 is not one of the 2 cube types)"});
    ASSERT_EQ(read.regions[origin].zones.size(), 1u);
    EXPECT_EQ(read.regions[origin].zones[0].id, 1);
  }
  {
    std::vector<unsigned char> b = world.bytes();
    setFloatAt(b, zone, 100.f);
    salvage(b, {at + "it lies outside its region (a world made with another size_one_region or size_one_cube?))"});
  }
  {
    // Face 1 announces 4 points and holds them: the stray fourth goes, the triangle stays.
    std::vector<unsigned char> b = world.bytes();
    setInt32At(b, zone + 36, 4);
    b.insert(b.begin() + zone + 40 + 36, 12, 0);
    const WorldFile read = salvage(b, {"byte " + std::to_string(zone + 36) +
                                       ": face shadow entry of 4 points: 1 stray point(s) after the last whole "
                                       "triangle dropped"});
    ASSERT_EQ(read.regions[origin].zones.size(), 2u);
    EXPECT_EQ(read.regions[origin].zones[0].shadowTriangles[1].size(), 3u);
    EXPECT_EQ(read.regions[origin].zones[1].size, Float3(1.f, 2.f, 3.f));
  }
  {
    // The zone of region (1, 0, 0) reaches 0.01 past both of its x borders: clipped to [16, 32].
    std::vector<unsigned char> b = world.bytes();
    const size_t farZone = world.lastZoneOffset;
    setFloatAt(b, farZone + 12, 16.02f);
    const WorldFile read = salvage(b, {"byte " + std::to_string(farZone) +
                                       ": zone clipped to its region (it reached past the region's border)"});
    EXPECT_EQ(read.regions[origin + 4].zones[0].centre, Float3(24.f, 8.f, 8.f));
    EXPECT_EQ(read.regions[origin + 4].zones[0].size, Float3(16.f, 16.f, 16.f));
  }
  {
    std::vector<unsigned char> b = world.bytes();
    setInt32At(b, world.firstObjectOffset + 12, static_cast<int32_t>(CustomObject::maxTypeId));
    setFloatAt(b, world.firstObjectOffset + CustomObject::recordSize, std::numeric_limits<float>::quiet_NaN());
    b.push_back(0);
    const WorldFile read =
        salvage(b, {"byte " + std::to_string(world.firstObjectOffset) +
                        ": object dropped (type id 1048576 is beyond any script's types)",
                    "byte " + std::to_string(world.firstObjectOffset + CustomObject::recordSize) +
                        ": object dropped (its position is not a finite number)",
                    "byte " + std::to_string(b.size() - 1) + ": 1 bytes after the last region ignored"});
    EXPECT_TRUE(read.regions[origin].objects.empty());
    EXPECT_EQ(read.regions[origin].zones.size(), 2u);
  }
}

TEST(WorldFileTest, AnyRegionTableWithinTheLimitsLoadsAndOthersAreRefused) {
  // A table away from regions -1 and 0, one region thick on y: slot (i, j, k) is region
  // (3, -5, 1) + (i, j, k), and each zone lies in its slot's region.
  WorldFile written;
  written.putHeader(1);
  const std::string names[6];
  const bool options[3] = {true, true, true};
  written.putCubeType(names, options, true);
  written.putRegionTable(Int3(3, -5, 1), Int3(1, 1, 2));
  for (int k = 0; k < 2; ++k) {
    written.putZoneSection({zone(0, Float3(48.f, -80.f, 16.f * (1 + k)), Float3(1.f, 1.f, 1.f))}, false);
    written.putObjectSectionHeader(0);
  }
  WorldFile read;
  ASSERT_TRUE(parse(read, written.getBytes(), written.getBytes().size())) << read.getProblem();
  EXPECT_TRUE(read.getSalvageReport().empty());
  EXPECT_EQ(read.tableRegionMin, Int3(3, -5, 1));
  ASSERT_EQ(read.regions.size(), 2u);
  EXPECT_EQ(read.regions[1].zones[0].centre, Float3(48.5f, -79.5f, 32.5f));

  SmallWorld world;
  // The table follows the two cube types.
  const size_t tableOffset = world.firstTypeOffset + 2 * 28 + std::string("grass_top.pngdirt.pngabbccc").size();
  ASSERT_EQ(int32At(world.bytes(), tableOffset + 12), 3);
  {
    std::vector<unsigned char> b = world.bytes();
    setInt32At(b, tableOffset + 12, 1 << 20);
    setInt32At(b, tableOffset + 16, 1 << 20);
    expectDamagedAt(b, tableOffset + 24, "the region table holds more regions than");
  }
  {
    std::vector<unsigned char> b = world.bytes();
    for (int axis = 0; axis < 3; ++axis) setInt32At(b, tableOffset + 4 * axis, 1 << 10);
    expectDamagedAt(b, tableOffset + 24, "lies too far from regions -1 and 0");
  }
  {
    std::vector<unsigned char> b = world.bytes();
    setInt32At(b, tableOffset + 20, 0);
    expectDamagedAt(b, tableOffset + 24, "is empty or lies too far");
  }
  {
    std::vector<unsigned char> b = world.bytes();
    setInt32At(b, tableOffset + 4, std::numeric_limits<int32_t>::min());
    expectDamagedAt(b, tableOffset + 24, "lies too far");
  }
}

TEST(WorldFileTest, ACutMagicIsDamageAForeignFileOrVersionIsRefusedAndAMissingFileIsFatal) {
  WorldFile file;
  EXPECT_FALSE(file.parse(reinterpret_cast<const unsigned char*>("WOR"), 3, "cut.dat", regionEdge));
  EXPECT_NE(file.getProblem().find("'cut.dat' is damaged at byte 3"), std::string::npos) << file.getProblem();
  EXPECT_FALSE(file.parse(nullptr, 0, "empty.dat", regionEdge));

  EXPECT_FALSE(file.parse(reinterpret_cast<const unsigned char*>("WORLX\1\0\0\0"), 9, "x.dat", regionEdge));
  EXPECT_EQ(file.getProblem(),
            "'x.dat' is not a world file (it does not start with \"WORLD\"); the world is left as it was.");
  EXPECT_FALSE(file.parse(reinterpret_cast<const unsigned char*>("WORLD\2\0\0\0"), 9, "x.dat", regionEdge));
  EXPECT_EQ(file.getProblem(), "World file 'x.dat' has version 2, not 1; the world is left as it was.");
  EXPECT_EXIT(file.read("no_such_world.dat", regionEdge), testing::ExitedWithCode(1), "fd != NULL");
}

TEST(WorldFileTest, ASaveThatFailsAtAnyStepIsReportedAndLeavesThePreviousFile) {
  TempDir dir;
  SmallWorld world;
  const std::string path = dir.file("w.dat");
  ASSERT_TRUE(world.file.writeTo(path));
  EXPECT_EQ(bytesOf(readFile(path)), world.bytes());
  WorldFile read;
  EXPECT_TRUE(read.read(path, regionEdge)) << read.getProblem();

  // No directory to create the file in.
  testing::internal::CaptureStderr();
  EXPECT_FALSE(world.file.writeTo(dir.file("missing/w.dat")));
  EXPECT_NE(testing::internal::GetCapturedStderr().find("ERROR : World file '" + dir.file("missing/w.dat") +
                                                        "' could not be saved: cannot create"),
            std::string::npos);

  // Two saves of one file at once (two programs in one directory) each write their own
  // temporary file, also past a name a killed writer left: the last commit wins, whole.
  std::ofstream(path + "." + std::to_string(getpid()) + "-0.tmp") << "left by a killed save";
  {
    AtomicFileWriter first(path), second(path);
    EXPECT_NE(first.getTemporaryPath(), second.getTemporaryPath());
    ASSERT_TRUE(first.write("first", 5) && second.write("second", 6));
    EXPECT_TRUE(second.commit());
    EXPECT_TRUE(first.commit());
  }
  EXPECT_EQ(readFile(path), "first");
  std::filesystem::remove(path + "." + std::to_string(getpid()) + "-0.tmp");
  ASSERT_TRUE(world.file.writeTo(path));
  const auto isOnlyTheFile = [&] {
    int entries = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir.path())) entries += entry.path() == path ? 0 : 1;
    return entries == 0;
  };
  EXPECT_TRUE(isOnlyTheFile());

  // The disk fills up halfway (a file size limit): the previous file stays, the partial one goes.
  const auto saveOnAFullDisk = [&] {
    signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{100, 100};
    setrlimit(RLIMIT_FSIZE, &limit);
    WorldFile big;
    const std::vector<unsigned char> filler(1000, 7);
    big.putBytes(filler.data(), filler.size());
    const bool written = big.writeTo(path);
    const bool kept = bytesOf(readFile(path)) == world.bytes() && isOnlyTheFile();
    _exit(!written && kept ? 0 : 1);
  };
  EXPECT_EXIT(saveOnAFullDisk(), testing::ExitedWithCode(0), "could not be saved: cannot write");
}

TEST(WorldFileTest, ZonesWithAndWithoutShadowTrianglesMeshTheSameAfterSavingAndLoading) {
  // Only a zone with triangles carries their lists; the record stays small for the others.
  EXPECT_LE(sizeof(CubeZone), 48u);
  std::vector<CubeZone> zones{zonetest::zoneOfCells(0, Int3(2, 2, 2), Int3(8, 1, 6)),
                              zonetest::zoneOfCells(0, Int3(3, 3, 3), Int3(2, 2, 2))};
  zones[1].shadowTriangles[3] = {Float3(0.f, 1.f, 0.f), Float3(1.f, 1.f, 0.f), Float3(0.f, 1.f, 1.f)};
  zones[1].isFaceShadowed[1] = true;
  WorldFile written;
  written.putHeader(1);
  const std::string names[6];
  const bool options[3] = {true, true, true};
  written.putCubeType(names, options, true);
  written.putRegionTable(Int3(0, 0, 0), Int3(1, 1, 1));
  written.putZoneSection(zones, false);
  written.putObjectSectionHeader(0);
  WorldFile read;
  ASSERT_TRUE(read.parse(written.getBytes().data(), written.getBytes().size(), "w.dat", regionEdge, 1.f))
      << read.getProblem();
  const std::vector<CubeZone>& loaded = read.regions[0].zones;
  ASSERT_EQ(loaded.size(), 2u);
  EXPECT_FALSE(loaded[0].shadowTriangles.isAllocated());
  EXPECT_TRUE(loaded[1].shadowTriangles.isAllocated());

  const CubeTypeLook look = zonetest::testLook();
  const CubeZone::DrawLook looks[2] = {{&look, true}, {&look, true}};
  const auto mesh = [&](const std::vector<CubeZone>& list) {
    CubesTable table(zonetest::regionCentre, 1.f, zonetest::regionSize, list);
    MeshGroupMap groups;
    CubeZone::buildFar(list.data(), looks, list.size(), groups, table);
    CubeZone::buildNear(list.data(), looks, list.size(), groups, table);
    return groups;
  };
  const MeshGroupMap before = mesh(zones);
  const MeshGroupMap after = mesh(loaded);
  ASSERT_EQ(before.size(), after.size());
  EXPECT_EQ(before.at(look.textureShadow).verticesTriVect.size(), 3u);
  for (auto i = before.begin(), j = after.begin(); i != before.end(); ++i, ++j) {
    EXPECT_EQ(i->first, j->first);
    EXPECT_EQ(i->second.verticesQuadVect, j->second.verticesQuadVect);
    EXPECT_EQ(i->second.texCoordQuadVect, j->second.texCoordQuadVect);
    EXPECT_EQ(i->second.verticesTriVect, j->second.verticesTriVect);
    EXPECT_EQ(i->second.texCoordTriVect, j->second.texCoordTriVect);
  }
}

TEST(WorldFileTest, TheSampleGameWorldLoadsWithoutARepair) {
  const XMLSimple config("world.xml");
  const float cube = static_cast<float>(config.getDouble("size_one_cube"));
  WorldFile read;
  ASSERT_TRUE(read.read("world.dat", cube * static_cast<float>(config.getInt("size_one_region")), cube))
      << read.getProblem();
  EXPECT_EQ(read.getSalvageReport(), "");
  size_t nbZones = 0;
  for (const WorldFile::RegionRecord& region : read.regions) nbZones += region.zones.size();
  EXPECT_GT(nbZones, 0u);
}
