// The OBJ reader with its MTL library, then what loading a model computes from them (facet and
// vertex normals, welding, the segment test). An input is the OBJ text, optionally followed by
// a line "#MTL" and the text of the library the OBJ may name as "m.mtl".
#include <cstring>

#include "FuzzHarness.h"
#include "ObjModelData.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const char separator[] = "\n#MTL\n";
  const uint8_t* mtl = data + size;
  for (size_t i = 0; i + sizeof(separator) - 1 <= size; ++i)
    if (std::memcmp(data + i, separator, sizeof(separator) - 1) == 0) {
      mtl = data + i + sizeof(separator) - 1;
      break;
    }
  const size_t objSize = mtl == data + size ? size : static_cast<size_t>(mtl - data);
  FuzzHarness::writeFile("m.mtl", mtl, static_cast<size_t>(data + size - mtl));
  const std::string path = FuzzHarness::writeFile("model.obj", data, objSize);
  FuzzHarness::run([&path] {
    ObjModelData model(path);
    model.scale(2.f);
    model.computeFacetNormals();
    model.computeVertexNormals(90.f);
    model.weld(0.5f);
    Float3 hit;
    model.intersectSegment(Float3(-100.f, -50.f, -80.f), Float3(100.f, 50.f, 80.f), hit);
  });
  return 0;
}
