// The save-game reader: the player's record, then the script's global variables.
#include "FuzzHarness.h"
#include "scene/Player.h"
#include "script/SaveGame.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzHarness::run([data, size] {
    FILE* file = FuzzHarness::openBytes(data, size);
    Player::Record record;
    SaveGame::GlobalVariables variables;
    if (Player::readRecord(file, record)) SaveGame::readGlobalVariables(file, variables);
    std::fclose(file);
  });
  return 0;
}
