#include <gtest/gtest.h>

#include <cstdio>

#include "KilledSave.h"
#include "script/SaveGame.h"
#include "TempDir.h"
#include "Assert.h"

namespace {

SaveGame::GlobalVariables roundTrip(const SaveGame::GlobalVariables& written, const TempDir& dir) {
  const std::string path = dir.file("game.savegame");
  FILE* out = std::fopen(path.c_str(), "w+b");
  EXPECT_TRUE(SaveGame::writeGlobalVariables(out, written));
  std::fclose(out);
  FILE* in = std::fopen(path.c_str(), "rb");
  SaveGame::GlobalVariables read{{"stale", 1}};
  EXPECT_TRUE(SaveGame::readGlobalVariables(in, read));
  std::fclose(in);
  return read;
}

bool readBytes(const std::string& bytes, SaveGame::GlobalVariables& variables) {
  TempDir dir;
  const std::string path = dir.write("damaged", bytes);
  FILE* in = std::fopen(path.c_str(), "rb");
  const bool ok = SaveGame::readGlobalVariables(in, variables);
  std::fclose(in);
  return ok;
}

}  // namespace

TEST(SaveGameTest, GlobalVariablesRoundTripExactly) {
  TempDir dir;
  const SaveGame::GlobalVariables variables{{"score", 120}, {"a", -5}, {"", 7}, {"lives", 2147483647}};
  EXPECT_EQ(variables, roundTrip(variables, dir));
  EXPECT_TRUE(roundTrip({}, dir).empty());  // an empty table replaces the old one
}

TEST(SaveGameTest, LayoutIsLittleEndianInNameOrder) {
  TempDir dir;
  const std::string path = dir.file("layout");
  FILE* out = std::fopen(path.c_str(), "w+b");
  SaveGame::writeGlobalVariables(out, {{"b", 258}, {"a", -1}});
  std::fclose(out);
  const std::string expected("\x02\0\0\0" "\x01\0\0\0" "a" "\xff\xff\xff\xff"
                             "\x01\0\0\0" "b" "\x02\x01\0\0", 4 + 9 + 9);
  EXPECT_EQ(expected, readFile(path));
}

TEST(SaveGameTest, DamagedTablesAreRejectedAndChangeNothing) {
  const SaveGame::GlobalVariables before{{"kept", 3}};
  const std::string whole("\x01\0\0\0" "\x02\0\0\0" "ab" "\x05\0\0\0", 14);
  for (size_t cut = 0; cut < whole.size(); ++cut) {
    SaveGame::GlobalVariables variables = before;
    EXPECT_FALSE(readBytes(whole.substr(0, cut), variables)) << "cut at " << cut;
    EXPECT_EQ(before, variables);
  }
  SaveGame::GlobalVariables variables = before;
  EXPECT_FALSE(readBytes(std::string("\xff\xff\xff\x7f", 4), variables));  // huge count
  EXPECT_FALSE(readBytes(std::string("\x01\0\0\0" "\xff\xff\xff\x7f" "abcd", 12), variables));  // huge name
  EXPECT_FALSE(readBytes(std::string("\x01\0\0\0" "\xfe\xff\xff\xff" "abcd", 12), variables));  // negative name
  EXPECT_EQ(before, variables);
  EXPECT_TRUE(readBytes(whole, variables));
  EXPECT_EQ((SaveGame::GlobalVariables{{"ab", 5}}), variables);
}

TEST(SaveGameTest, DefaultNameIsTheWorldFileName) {
  EXPECT_EQ("world.dat.savegame", SaveGame::defaultName("world.dat"));
  EXPECT_EQ("w.dat.savegame", SaveGame::defaultName("games/one/w.dat"));
  EXPECT_EQ("w.dat.savegame", SaveGame::defaultName("C:\\games\\w.dat"));
}

TEST(SaveGameTest, AKillDuringASaveLeavesThePreviousFileWhole) {
  TempDir dir;
  const std::string path = dir.file("world.dat.savegame");
  SaveGame::GlobalVariables variables;
  for (int i = 0; i < 200000; ++i) variables["variable_number_" + std::to_string(i)] = i;
  Player::Record player;
  KilledSave saves(path, [&](int round) {
    player.position = Float3(static_cast<float>(round % 2), 2.f, 3.f);
    variables["round"] = round % 2;
    SaveGame::writeFile(path, player, variables);
  });
  EXPECT_EQ(saves.run(8), 8);

  FILE* in = std::fopen(path.c_str(), "rb");
  ASSERT_NE(in, nullptr);
  Player::Record read;
  SaveGame::GlobalVariables readVariables;
  EXPECT_TRUE(Player::readRecord(in, read) && SaveGame::readGlobalVariables(in, readVariables));
  std::fclose(in);
  EXPECT_EQ(readVariables.size(), variables.size());
  EXPECT_EQ(readVariables["round"], 0);

  testing::internal::CaptureStderr();
  EXPECT_FALSE(SaveGame::writeFile(dir.file("missing/game.savegame"), player, variables));
  EXPECT_NE(testing::internal::GetCapturedStderr().find("Cannot create the save game file '" +
                                                        dir.file("missing/game.savegame") + "': cannot create"),
            std::string::npos);
}
