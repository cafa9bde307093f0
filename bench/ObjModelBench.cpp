#include <benchmark/benchmark.h>
#include <stdio.h>
#include <unistd.h>

#include <cmath>
#include <string>

#include "ObjModelData.h"

// Reading an OBJ file and computing its normals, as loading a model does (no OpenGL needed).
// The baseline is an ordinary mesh of as many triangles (a 160 x 400 grid); the other files are
// the shapes that used to take quadratic time: one face repeated 128 000 times (every corner on
// the same three vertices), 20 000 groups of one triangle each, and 20 000 materials each used
// by one group, the tip of a cone of 20 000 sides (20 000 corners facing 20 000 ways), and one
// library of 1 000 materials named on 5 000 lines. Linear reading keeps their ratios to the
// baseline near or below 1. A vertex in 20 000 triangles facing every way at random is the worst
// case of the normals left: about its corners to the power 1.5.

namespace {

std::string writeFile(const std::string& content) {
  char path[] = "/tmp/engine-bench-XXXXXX.obj";
  const int descriptor = mkstemps(path, 4);
  FILE* file = fdopen(descriptor, "wb");
  fwrite(content.data(), 1, content.size(), file);
  fclose(file);
  return path;
}

std::string gridObj() {
  std::string obj;
  const int nbX = 160;
  const int nbZ = 400;
  for (int z = 0; z <= nbZ; ++z)
    for (int x = 0; x <= nbX; ++x)
      obj += "v " + std::to_string(x) + " " + std::to_string((x * z) % 7) + " " + std::to_string(z) + "\n";
  for (int z = 0; z < nbZ; ++z)
    for (int x = 0; x < nbX; ++x) {
      const int a = z * (nbX + 1) + x + 1;
      obj += "f " + std::to_string(a) + " " + std::to_string(a + nbX + 1) + " " +
             std::to_string(a + 1) + "\n";
      obj += "f " + std::to_string(a + 1) + " " + std::to_string(a + nbX + 1) + " " +
             std::to_string(a + nbX + 2) + "\n";
    }
  return obj;
}

std::string repeatedFaceObj() {
  std::string obj = "v 0 0 0\nv 1 0 0\nv 0 1 0\n";
  for (int i = 0; i < 128000; ++i) obj += "f 1 2 3\n";
  return obj;
}

std::string manyGroupsObj() {
  std::string obj = "v 0 0 0\nv 1 0 0\nv 0 1 0\n";
  for (int i = 0; i < 20000; ++i) obj += "g group" + std::to_string(i) + "\nf 1 2 3\n";
  return obj;
}

// 20 000 materials, each used by one group.
std::string manyMaterialsObj(const std::string& libraryName) {
  std::string obj = "mtllib " + libraryName + "\nv 0 0 0\nv 1 0 0\nv 0 1 0\n";
  for (int i = 0; i < 20000; ++i)
    obj += "g group" + std::to_string(i) + "\nusemtl m" + std::to_string(i) + "\nf 1 2 3\n";
  return obj;
}

std::string manyMaterialsMtl(int nbMaterials) {
  std::string mtl;
  for (int i = 0; i < nbMaterials; ++i) mtl += "newmtl m" + std::to_string(i) + "\nKd 1 0 0\n";
  return mtl;
}

std::string libraryNamedOftenObj(const std::string& libraryName) {
  std::string obj = "v 0 0 0\nv 1 0 0\nv 0 1 0\n";
  for (int i = 0; i < 5000; ++i) obj += "mtllib " + libraryName + "\nf 1 2 3\n";
  return obj;
}

// The apex is vertex 1; side i joins it to ring vertices i and i + 1.
std::string coneObj(int nbSides) {
  std::string obj = "v 0 0 1\n";
  for (int i = 0; i < nbSides; ++i) {
    const double a = 2.0 * 3.14159265358979323846 * i / nbSides;
    obj += "v " + std::to_string(std::cos(a)) + " " + std::to_string(std::sin(a)) + " 0\n";
  }
  for (int i = 0; i < nbSides; ++i)
    obj += "f 1 " + std::to_string(2 + i) + " " + std::to_string(2 + (i + 1) % nbSides) + "\n";
  return obj;
}

// Vertex 1 in triangles whose other corners are random points around it.
std::string spreadFanObj(int nbTriangles) {
  std::string obj = "v 0 0 0\n";
  const int nbAround = 2000;
  unsigned int seed = 12345;
  const auto random = [&seed]() {
    seed = seed * 1103515245u + 12345u;
    return static_cast<int>((seed >> 8) % 2001) - 1000;
  };
  for (int i = 0; i < nbAround; ++i)
    obj += "v " + std::to_string(random()) + " " + std::to_string(random()) + " " +
           std::to_string(random()) + "\n";
  for (int i = 0; i < nbTriangles; ++i)
    obj += "f 1 " + std::to_string(2 + i % nbAround) + " " +
           std::to_string(2 + (i / nbAround + 1 + i) % nbAround) + "\n";
  return obj;
}

void readWithNormals(benchmark::State& state, const std::string& content,
                     const std::string& library = "") {
  const std::string path = writeFile(content);
  for (auto _ : state) {
    ObjModelData model(path);
    model.computeFacetNormals();
    model.computeVertexNormals(90.f);
    benchmark::DoNotOptimize(model.normals.data());
  }
  unlink(path.c_str());
  if (!library.empty()) unlink(library.c_str());
}

void BM_ObjGridBaseline(benchmark::State& state) { readWithNormals(state, gridObj()); }
void BM_ObjRepeatedFace(benchmark::State& state) { readWithNormals(state, repeatedFaceObj()); }
void BM_ObjManyGroups(benchmark::State& state) { readWithNormals(state, manyGroupsObj()); }
void BM_ObjConeTip(benchmark::State& state) { readWithNormals(state, coneObj(20000)); }
void BM_ObjSpreadFan(benchmark::State& state) { readWithNormals(state, spreadFanObj(20000)); }
void BM_ObjManyMaterials(benchmark::State& state) {
  const std::string library = writeFile(manyMaterialsMtl(20000));
  readWithNormals(state, manyMaterialsObj(library.substr(library.rfind('/') + 1)), library);
}
void BM_ObjLibraryNamedOften(benchmark::State& state) {
  const std::string library = writeFile(manyMaterialsMtl(1000));
  readWithNormals(state, libraryNamedOftenObj(library.substr(library.rfind('/') + 1)), library);
}

}  // namespace

BENCHMARK(BM_ObjGridBaseline)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ObjRepeatedFace)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ObjManyGroups)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ObjManyMaterials)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ObjConeTip)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ObjSpreadFan)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ObjLibraryNamedOften)->Unit(benchmark::kMillisecond);
