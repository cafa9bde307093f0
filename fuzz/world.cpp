// The world file reader: every byte layout it may meet, checked against a world of 32-cube
// regions of 10-unit cubes like the sample game's.
#include "FuzzHarness.h"
#include "world/WorldFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzHarness::run([data, size] {
    WorldFile file;
    file.parse(data, size, "world.dat", 320.f, 10.f);
  });
  return 0;
}
