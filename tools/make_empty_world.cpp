// Writes an empty world file: no cube types and the untouched 2 x 2 x 2 region table whose
// slot (0, 0, 0) is region (-1, -1, -1), every region without zones or objects. Little-endian,
// 165 bytes. The sample game starts from it until it has a world of its own.
//
// Usage: make_empty_world [output file]   (default: "game/world.dat")

#include <cstdint>
#include <cstdio>
#include <string>

namespace {

void writeInt32(FILE* file, int32_t value) {
  const uint32_t bits = static_cast<uint32_t>(value);
  const unsigned char bytes[4] = {static_cast<unsigned char>(bits), static_cast<unsigned char>(bits >> 8),
                                  static_cast<unsigned char>(bits >> 16), static_cast<unsigned char>(bits >> 24)};
  std::fwrite(bytes, 1, 4, file);
}

}  // namespace

int main(int argc, char** argv) {
  const std::string path = argc > 1 ? argv[1] : "game/world.dat";
  FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) {
    std::fprintf(stderr, "cannot write '%s'\n", path.c_str());
    return 1;
  }
  std::fwrite("WORLD", 1, 5, file);
  writeInt32(file, 1);  // version
  writeInt32(file, 0);  // cube types
  for (int axis = 0; axis < 3; ++axis) writeInt32(file, -1);  // region index of slot (0, 0, 0)
  for (int axis = 0; axis < 3; ++axis) writeInt32(file, 2);   // regions per axis
  for (int region = 0; region < 8; ++region)
    for (int field = 0; field < 4; ++field) writeInt32(file, 0);  // zone and object sections
  const bool ok = std::fclose(file) == 0;
  return ok ? 0 : 1;
}
