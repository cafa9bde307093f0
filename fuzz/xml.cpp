// The configuration reader (world.xml) and the typed look-ups of what it stored.
#include "FuzzHarness.h"
#include "XMLSimple.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string path = FuzzHarness::writeFile("world.xml", data, size);
  FuzzHarness::run([&path] {
    XMLSimple config(path);
    config.getBool("fast_shadows");
    config.getDouble("size_one_cube");
    config.getInt("size_one_region");
    config.getString("water_texture");
  });
  return 0;
}
