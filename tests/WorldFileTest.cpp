#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cmath>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <limits>
#include <string>
#include <vector>

#include "CustomObject.h"
#include "TempDir.h"
#include "WorldFile.h"

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
          if (i == 2 && j == 1 && k == 1) zones.push_back(zone(1, Float3(16.f, 0.f, 0.f), Float3(16.f, 16.f, 16.f)));
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
    setFloatAt(b, zone + 12, std::numeric_limits<float>::quiet_NaN());
    expectDamagedAt(b, zone + 12, "not a finite number as a zone size");
  }
  {
    std::vector<unsigned char> b = world.bytes();
    setFloatAt(b, zone + 4, std::numeric_limits<float>::infinity());
    expectDamagedAt(b, zone + 4, "not a finite number as a zone centre");
  }
  {
    std::vector<unsigned char> b = world.bytes();
    setFloatAt(b, zone + 16, -1.f);
    expectDamagedAt(b, zone + 16, "negative zone size");
  }
  {
    std::vector<unsigned char> b = world.bytes();
    setFloatAt(b, zone + 12, 1e30f);
    expectDamagedAt(b, zone, "a zone lies outside its region");
  }
  {
    std::vector<unsigned char> b = world.bytes();
    setInt32At(b, zone + 24, 2);
    expectDamagedAt(b, zone + 24, "zone cube type id 2 is not one of the 2 cube types");
  }
  {
    std::vector<unsigned char> b = world.bytes();
    setInt32At(b, zone + 32, -2);
    expectDamagedAt(b, zone + 32, "face shadow entry -2");
  }
  {
    std::vector<unsigned char> b = world.bytes();
    setInt32At(b, zone + 32 + 4, 4);  // face 1 holds 3 points: 4 is no whole triangle
    expectDamagedAt(b, zone + 36, "face shadow entry 4");
  }
  {
    std::vector<unsigned char> b = world.bytes();
    setInt32At(b, zone + 32 + 4, 3 * (1 << 28));
    expectDamagedAt(b, zone + 36, "face shadow entry 805306368");
  }
  {
    std::vector<unsigned char> b = world.bytes();
    setInt32At(b, world.firstObjectOffset + 12, static_cast<int32_t>(CustomObject::maxTypeId));
    expectDamagedAt(b, world.firstObjectOffset, "object type id 1048576");
  }
  {
    std::vector<unsigned char> b = world.bytes();
    setFloatAt(b, world.firstObjectOffset + CustomObject::recordSize, std::numeric_limits<float>::quiet_NaN());
    expectDamagedAt(b, world.firstObjectOffset + CustomObject::recordSize, "an object position is not a finite");
  }
  {
    std::vector<unsigned char> b = world.bytes();
    b.push_back(0);
    expectDamagedAt(b, b.size() - 1, "1 bytes follow the last region");
  }
}

TEST(WorldFileTest, RegionTablesBeyondTheFileOrAwayFromTheOriginAreRefused) {
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
    setInt32At(b, tableOffset, 5);
    expectDamagedAt(b, tableOffset + 24, "does not cover regions -1 and 0");
  }
  {
    std::vector<unsigned char> b = world.bytes();
    setInt32At(b, tableOffset + 20, 1);
    expectDamagedAt(b, tableOffset + 24, "does not cover regions -1 and 0");
  }
  {
    std::vector<unsigned char> b = world.bytes();
    setInt32At(b, tableOffset + 4, std::numeric_limits<int32_t>::min());
    expectDamagedAt(b, tableOffset + 24, "lies too far");
  }
}

TEST(WorldFileTest, ACutMagicIsDamageAndAForeignFileOrVersionIsFatal) {
  WorldFile file;
  EXPECT_FALSE(file.parse(reinterpret_cast<const unsigned char*>("WOR"), 3, "cut.dat", regionEdge));
  EXPECT_NE(file.getProblem().find("'cut.dat' is damaged at byte 3"), std::string::npos) << file.getProblem();
  EXPECT_FALSE(file.parse(nullptr, 0, "empty.dat", regionEdge));

  EXPECT_EXIT(file.parse(reinterpret_cast<const unsigned char*>("WORLX\1\0\0\0"), 9, "x.dat", regionEdge),
              testing::ExitedWithCode(1), "std::string\\(buf\\) == std::string\\(\"WORLD\"\\)");
  EXPECT_EXIT(file.parse(reinterpret_cast<const unsigned char*>("WORLD\2\0\0\0"), 9, "x.dat", regionEdge),
              testing::ExitedWithCode(1), "versionFile == 1");
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

  // The temporary file's name is taken by a directory: nothing is written.
  WorldFile other;
  other.putHeader(0);
  std::filesystem::create_directory(path + ".tmp");
  std::filesystem::create_directory(path + ".tmp/keep");
  testing::internal::CaptureStderr();
  EXPECT_FALSE(other.writeTo(path));
  EXPECT_NE(testing::internal::GetCapturedStderr().find("is left as it was"), std::string::npos);
  EXPECT_EQ(bytesOf(readFile(path)), world.bytes());
  std::filesystem::remove_all(path + ".tmp");

  // The disk fills up halfway (a file size limit): the previous file stays, the partial one goes.
  const auto saveOnAFullDisk = [&] {
    signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{100, 100};
    setrlimit(RLIMIT_FSIZE, &limit);
    WorldFile big;
    const std::vector<unsigned char> filler(1000, 7);
    big.putBytes(filler.data(), filler.size());
    const bool written = big.writeTo(path);
    const bool kept = bytesOf(readFile(path)) == world.bytes() && !std::filesystem::exists(path + ".tmp");
    _exit(!written && kept ? 0 : 1);
  };
  EXPECT_EXIT(saveOnAFullDisk(), testing::ExitedWithCode(0), "could not be saved: cannot write");
}
