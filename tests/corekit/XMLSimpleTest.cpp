#include <gtest/gtest.h>

#include "TempDir.h"
#include "XMLSimple.h"
#include "Assert.h"

namespace {

const char* const sampleConfig =
    "<?xml version=\"1.0\"?>\n"
    "<world>\n"
    "  <bool>\n"
    "    <fast_shadows>true</fast_shadows>\n"
    "    <enable_water>false</enable_water>\n"
    "    <one>1</one>\n"
    "    <zero>0</zero>\n"
    "    <yes>yes</yes>\n"
    "  </bool>\n"
    "  <string>\n"
    "    <water_texture>images/water.png</water_texture>\n"
    "  </string>\n"
    "  <int>\n"
    "    <size_one_region>32</size_one_region>\n"
    "    <digits_then_letters>12abc</digits_then_letters>\n"
    "  </int>\n"
    "  <double>\n"
    "    <size_one_cube>10.5</size_one_cube>\n"
    "    <not_a_number>abc</not_a_number>\n"
    "    <size_one_region>7.25</size_one_region>\n"
    "  </double>\n"
    "  <unknown><ignored>5</ignored></unknown>\n"
    "  <int>\n"
    "    <size_one_region>64</size_one_region>\n"
    "  </int>\n"
    "</world>\n";

}  // namespace

TEST(XMLSimpleTest, ReadsTypedTablesAndConversions) {
  TempDir dir;
  const XMLSimple config(dir.write("world.xml", sampleConfig));
  EXPECT_TRUE(config.getBool("fast_shadows"));
  EXPECT_FALSE(config.getBool("enable_water"));
  EXPECT_TRUE(config.getBool("one"));
  EXPECT_FALSE(config.getBool("zero"));
  EXPECT_FALSE(config.getBool("yes"));  // atoi("yes") is 0
  EXPECT_EQ("images/water.png", config.getString("water_texture"));
  EXPECT_EQ(12, config.getInt("digits_then_letters"));
  EXPECT_DOUBLE_EQ(10.5, config.getDouble("size_one_cube"));
  EXPECT_FLOAT_EQ(10.5f, config.getFloat("size_one_cube"));
  EXPECT_DOUBLE_EQ(0.0, config.getDouble("not_a_number"));
  // The same key in two tables is two values; a later group replaces an earlier entry.
  EXPECT_EQ(64, config.getInt("size_one_region"));
  EXPECT_DOUBLE_EQ(7.25, config.getDouble("size_one_region"));
  EXPECT_EQ(0, config.getInt("ignored"));
}

TEST(XMLSimpleTest, WhitespaceBetweenElementsIsStoredUnderText) {
  TempDir dir;
  const XMLSimple config(dir.write(
      "world.xml", "<w>\n <string>\n  <text>real</text>\n  <a>b</a>\n </string>\n</w>\n"));
  // The indentation after the last element of the group overwrote the real "text" entry.
  EXPECT_EQ("\n ", config.getString("text"));
  EXPECT_EQ("b", config.getString("a"));
}

TEST(XMLSimpleTest, AbsentKeysReadAsDefaultsAndWritersCreate) {
  XMLSimple config;
  EXPECT_FALSE(config.getBool("missing"));
  EXPECT_EQ(0, config.getInt("missing"));
  EXPECT_DOUBLE_EQ(0.0, config.getDouble("missing"));
  EXPECT_EQ("", config.getString("missing"));
  config.setBool("b", true);
  config.setInt("i", -3);
  config.setDouble("max_view_distance_detailed_in_region_units", 1.0);
  config.setString("s", "text");
  EXPECT_TRUE(config.getBool("b"));
  EXPECT_EQ(-3, config.getInt("i"));
  EXPECT_DOUBLE_EQ(1.0, config.getDouble("max_view_distance_detailed_in_region_units"));
  EXPECT_EQ("text", config.getString("s"));
}

TEST(XMLSimpleDeathTest, BadFilesAreFatal) {
  TempDir dir;
  EXPECT_EXIT(XMLSimple(dir.file("absent.xml")), testing::ExitedWithCode(1),
              "Condition: false\nMessage: XMLSimple::XMLSimple : file missing");
  const std::string broken = dir.write("broken.xml", "<world><int><a>1</a></world");
  EXPECT_EXIT(XMLSimple{broken}, testing::ExitedWithCode(1),
              "Condition: doc != NULL\nMessage: XMLSimple::XMLSimple : could not parse xml file");
  const std::string badBool = dir.write("bool.xml", "<w><bool><a>2</a></bool></w>");
  EXPECT_EXIT(XMLSimple{badBool}, testing::ExitedWithCode(1),
              "Condition: value == 0 \\|\\| value == 1\nMessage: Erroneous bool value in xml");
}
