#include <gtest/gtest.h>

#include <GL/gl.h>

#include <array>
#include <cmath>
#include <cstdio>
#include <random>
#include <utility>
#include <string>
#include <vector>

#include "GLManager.h"
#include "GLTestWindow.h"
#include "ImageLoader.h"
#include "ModelTestHelpers.h"
#include "ObjModel.h"
#include "ObjModelData.h"
#include "Sprite.h"
#include "SpriteManager.h"
#include "TempDir.h"

namespace {

/// Reading alone needs no window (as long as no texture is named).
class ObjReadingTest : public testing::Test {
 protected:
  TempDir dir;
};

using ObjReadingDeathTest = ObjReadingTest;

class ObjModelTest : public testing::Test {
 protected:
  void SetUp() override { GLTestWindow::get(); }
  TempDir dir;
};

using ObjModelDeathTest = ObjModelTest;

}  // namespace

// -------------------------------------------------------------------------------------- reading

TEST_F(ObjReadingTest, FacesBecomeFansInTheirGroups) {
  const std::string path = dir.write(
      "fan.obj", std::string(squareObj) +
                     "v 0 3 0\n"
                     "f 1 2 3 4\n"
                     "g second\n"
                     "f 1 2 3 5 4\n"
                     "g default\n"
                     "f 4 1 2\n");
  ObjModelData model(path);
  EXPECT_EQ(model.getNbVertices(), 5);
  ASSERT_EQ(model.getNbTriangles(), 1 + 2 + 3 + 1 - 1);
  expectCorners(model.triangles[0], 1, 2, 3);
  expectCorners(model.triangles[1], 1, 3, 4);
  expectCorners(model.triangles[2], 1, 2, 3);
  expectCorners(model.triangles[3], 1, 3, 5);
  expectCorners(model.triangles[4], 1, 5, 4);
  expectCorners(model.triangles[5], 4, 1, 2);
  ASSERT_EQ(model.groups.size(), 2u);
  EXPECT_EQ(model.groups[0].name, "default");
  EXPECT_EQ(model.groups[0].triangles, (std::vector<int>{0, 1, 5}));
  EXPECT_EQ(model.groups[1].name, "second");
  EXPECT_EQ(model.groups[1].triangles, (std::vector<int>{2, 3, 4}));
  for (int t = 0; t < model.getNbTriangles(); ++t) EXPECT_EQ(model.triangles[t].findex, t);
}

TEST_F(ObjReadingTest, EveryFaceFormKeepsItsIndicesAndTextureVIsFlipped) {
  const std::string path = dir.write(
      "forms.obj", std::string(squareObj) +
                       "vt 0.25 0.25\n"
                       "vn 0 0 1\nvn 0 1 0\n"
                       "f 1 2 3\n"
                       "f 1/5 2/4 3/3\n"
                       "f 1/1/2 2/2/1 3/3/2\n"
                       "f 1//1 2//2 3//1\r\n"  // a Windows line end too
                       "f\t2 3\t4 \n");
  ObjModelData model(path);
  ASSERT_EQ(model.getNbTriangles(), 5);
  EXPECT_EQ(model.getNbTexcoords(), 5);
  EXPECT_FLOAT_EQ(model.texcoords[5].x(), 0.25f);
  EXPECT_FLOAT_EQ(model.texcoords[5].y(), 0.75f);
  EXPECT_FLOAT_EQ(model.texcoords[4].y(), 0.f);  // "vt 0 1"

  const ObjTriangle* t = model.triangles.data();
  EXPECT_EQ(t[0].tindices[1], 0);
  EXPECT_EQ(t[0].nindices[1], 0);
  EXPECT_EQ(t[1].tindices[0], 5);
  EXPECT_EQ(t[1].tindices[1], 4);
  EXPECT_EQ(t[1].nindices[0], 0);
  EXPECT_EQ(t[2].tindices[2], 3);
  EXPECT_EQ(t[2].nindices[0], 2);
  EXPECT_EQ(t[2].nindices[1], 1);
  EXPECT_EQ(t[3].tindices[1], 0);
  EXPECT_EQ(t[3].nindices[1], 2);
  expectCorners(t[4], 2, 3, 4);
}

TEST_F(ObjReadingTest, MaterialsComeFromTheLibraryBesideTheModel) {
  dir.write("sub/lib.mtl",
            "# materials\n"
            "newmtl red\n"
            "Kd 1 0 0\nKa 0.5 0.25 0.125\nKs 0.1 0.2 0.3\nNs 500\nNi 1.45\nd 1\n"
            "newmtl blue\n"
            "Kd 0 0 1\n");
  const std::string path = dir.write("sub/model.obj", std::string(squareObj) +
                                                          "mtllib lib.mtl\n"
                                                          "usemtl blue\n"
                                                          "f 1 2 3\n"
                                                          "g other\n"
                                                          "f 1 3 4\n"
                                                          "usemtl red\n"
                                                          "g third\n"
                                                          "f 2 3 4\n");
  testing::internal::CaptureStdout();
  ObjModelData model(path);
  const int unknown = model.findMaterial("green");
  const std::string log = testing::internal::GetCapturedStdout();
  EXPECT_EQ(unknown, 0);
  EXPECT_NE(log.find("glmFindMaterial():  can't find material \"green\".\n"), std::string::npos);

  EXPECT_EQ(model.mtllibname, "lib.mtl");
  ASSERT_EQ(model.materials.size(), 3u);
  const ObjMaterial& standard = model.materials[0];
  EXPECT_EQ(standard.name, "default");
  EXPECT_FLOAT_EQ(standard.diffuse[0], 0.8f);
  EXPECT_FLOAT_EQ(standard.ambient[3], 1.f);
  EXPECT_FLOAT_EQ(standard.specular[0], 0.f);
  EXPECT_FLOAT_EQ(standard.shininess, 65.f);
  EXPECT_EQ(standard.texture, nullptr);

  const ObjMaterial& red = model.materials[1];
  EXPECT_EQ(red.name, "red");
  EXPECT_FLOAT_EQ(red.diffuse[0], 1.f);
  EXPECT_FLOAT_EQ(red.diffuse[1], 0.f);
  EXPECT_FLOAT_EQ(red.diffuse[3], 1.f);
  EXPECT_FLOAT_EQ(red.ambient[2], 0.125f);
  EXPECT_FLOAT_EQ(red.specular[1], 0.2f);
  EXPECT_FLOAT_EQ(red.shininess, 64.f);  // Ns 500; the Ni line leaves it alone
  EXPECT_EQ(model.materials[2].name, "blue");

  // The default group took blue; "other" took the current material (blue) when it became
  // current; usemtl red changed "other", and "third" took red.
  ASSERT_EQ(model.groups.size(), 3u);
  EXPECT_EQ(model.groups[0].material, 2);
  EXPECT_EQ(model.groups[1].material, 1);
  EXPECT_EQ(model.groups[2].material, 1);
}

// A library named again is not read again, yet the last one named is the one that stays.
TEST_F(ObjReadingTest, TheLastLibraryNamedGivesTheMaterials) {
  dir.write("a.mtl", "newmtl red\nKd 1 0 0\n");
  dir.write("b.mtl", "newmtl blue\nKd 0 0 1\nnewmtl green\nKd 0 1 0\n");
  for (const char* names : {"a b a", "a a b b", "b a b a a"}) {
    std::string obj = std::string(squareObj);
    std::string last;
    for (const char* name = names; *name != '\0'; ++name)
      if (*name != ' ') {
        last = std::string(1, *name) + ".mtl";
        obj += "mtllib " + last + "\n";
      }
    ObjModelData model(dir.write("m.obj", obj));
    EXPECT_EQ(model.mtllibname, last) << names;
    ASSERT_EQ(model.materials.size(), last == "a.mtl" ? 2u : 3u) << names;
    EXPECT_EQ(model.materials[1].name, last == "a.mtl" ? "red" : "blue") << names;
  }
}

TEST_F(ObjReadingTest, UnknownMaterialFallsBackToTheDefault) {
  dir.write("lib.mtl", "newmtl only\nKd 0 1 0\n");
  const std::string path =
      dir.write("m.obj", std::string(squareObj) + "mtllib lib.mtl\nusemtl missing\nf 1 2 3\n");
  testing::internal::CaptureStdout();
  ObjModelData model(path);
  const std::string log = testing::internal::GetCapturedStdout();
  EXPECT_NE(log.find("glmFindMaterial():  can't find material \"missing\".\n"), std::string::npos);
  EXPECT_EQ(model.groups[0].material, 0);
}

TEST_F(ObjReadingTest, NormalsScaleAndWeld) {
  // Two squares meeting at a right angle along the edge x = 2, plus one unused vertex.
  const std::string path = dir.write(
      "corner.obj", std::string(squareObj) + "v 2 -2 -4\nv 2 2 -4\nv 9 9 9\n"
                                             "f 1 2 3 4\nf 2 5 6 3\n");
  ObjModelData model(path);
  model.scale(0.5f);
  expectVector(model.vertices[3], 1.f, 1.f, 0.f);
  model.computeFacetNormals();
  expectVector(model.facetnorms[0], 0.f, 0.f, 1.f);
  expectVector(model.facetnorms[2], 1.f, 0.f, 0.f);

  testing::internal::CaptureStderr();
  model.computeVertexNormals(90.f);
  const std::string warnings = testing::internal::GetCapturedStderr();
  EXPECT_EQ(warnings, "glmVertexNormals(): vertex w/o a triangle\n");
  // Faces at 90 degrees are not smoothed together: each corner keeps its face's normal.
  for (int t = 0; t < 4; ++t)
    for (int c = 0; c < 3; ++c) {
      const Float3 normal = model.normals[model.triangles[t].nindices[c]];
      if (t < 2)
        expectVector(normal, 0.f, 0.f, 1.f);
      else
        expectVector(normal, 1.f, 0.f, 0.f);
    }
  // A wider angle smooths the shared edge: vertex 2 lies in one triangle facing +z and two
  // facing +x.
  model.computeVertexNormals(100.f);
  const float fifth = 1.f / std::sqrt(5.f);
  expectVector(model.normals[model.triangles[0].nindices[1]], 2.f * fifth, 0.f, fifth);

  // Welding: vertex 7 is far away, the others are at most 3.5 apart after the scale.
  ObjModelData welded(path);
  welded.vertices[2] = Float3(-1.95f, -2.05f, 0.f);  // within 0.1 of vertex 1
  welded.weld(0.1f);
  EXPECT_EQ(welded.getNbVertices(), 6);
  expectCorners(welded.triangles[0], 1, 1, 2);
  expectCorners(welded.triangles[2], 1, 4, 5);
  expectVector(welded.vertices[6], 9.f, 9.f, 9.f);
}

// The normals are computed once per distinct facet normal around a vertex; they must stay those
// of the rule taken corner by corner: the sum, in corner order, of the facet normals around the
// vertex passing the angle test against the corner's own. Checked bit for bit on vertices
// shared by many triangles: a fan facing many ways, a pyramid apex within the shared-sum cone,
// a repeated face, degenerate triangles and a sharp cone apex.
TEST_F(ObjReadingTest, VertexNormalsAreThoseOfTheCornerByCornerRule) {
  std::string obj = "v 0 0 0\n";
  const int nbRing = 40;
  for (int i = 0; i < nbRing; ++i) {
    const double a = 2.0 * 3.14159265358979 * i / nbRing;
    obj += "v " + std::to_string(std::cos(a)) + " " + std::to_string(std::sin(a)) + " " +
           std::to_string(0.3 * ((i * 7) % 5) - 0.6) + "\n";
  }
  obj += "v 0 0 5\nv 0 0 0.2\n";  // sharp and flat apexes
  const int sharp = nbRing + 2;
  const int flat = nbRing + 3;
  for (int i = 0; i < nbRing; ++i) {
    const int a = 2 + i;
    const int b = 2 + (i + 1) % nbRing;
    const int c = 2 + (i * 13 + 5) % nbRing;
    obj += "f 1 " + std::to_string(a) + " " + std::to_string(b) + "\n";
    obj += "f 1 " + std::to_string(c) + " " + std::to_string(a) + "\n";
    obj += "f " + std::to_string(sharp) + " " + std::to_string(a) + " " + std::to_string(b) + "\n";
    obj += "f " + std::to_string(flat) + " " + std::to_string(a) + " " + std::to_string(b) + "\n";
    obj += "f 2 3 4\nf 1 1 " + std::to_string(a) + "\n";
  }
  ObjModelData model(dir.write("fans.obj", obj));
  model.computeFacetNormals();
  for (float angle : {90.f, 30.f, 170.f}) {
    model.computeVertexNormals(angle);
    const float cosAngle = static_cast<float>(std::cos(angle * 3.14159265358979323846 / 180.0));
    const auto dot = [](Float3 u, Float3 v) { return u.x() * v.x() + u.y() * v.y() + u.z() * v.z(); };
    for (const ObjTriangle& own : model.triangles)
      for (int c = 0; c < 3; ++c) {
        Float3 sum(0.f, 0.f, 0.f);
        bool isAveraged = false;
        // Corners around the vertex in corner order: triangles in order, corners in order.
        for (const ObjTriangle& other : model.triangles)
          for (int k = 0; k < 3; ++k)
            if (other.vindices[k] == own.vindices[c] &&
                dot(model.facetnorms[own.findex], model.facetnorms[other.findex]) > cosAngle) {
              sum += model.facetnorms[other.findex];
              isAveraged = true;
            }
        const float length = std::sqrt(dot(sum, sum));
        const Float3 expected = isAveraged && length > 0.f ? sum / length : Float3(0.f, 0.f, 0.f);
        const Float3 actual = model.normals[own.nindices[c]];
        ASSERT_EQ(own.nindices[c] == 0, !isAveraged) << angle;
        ASSERT_TRUE(actual == expected) << angle << " vertex " << own.vindices[c];
      }
  }
}

// A vertex shared by thousands of triangles facing as many ways takes its sums from a tree; they
// must cover the same facet normals as the rule corner by corner: the same corners without a
// normal, the same directions to rounding. A cone tip; a fan facing every way, with repeated and
// degenerate triangles and facet normals that are no numbers or huge (products overflow); and a
// fan facing two clusters of ways at right angles, where the float test is decided in its last
// bits.
TEST_F(ObjReadingTest, VertexNormalsOfManyWaysAgreeWithTheCornerByCornerRule) {
  std::string obj;
  int nbVertices = 0;
  const auto vertex = [&](double x, double y, double z) {
    char line[96];
    std::snprintf(line, sizeof line, "v %.9g %.9g %.9g\n", x, y, z);
    obj += line;
    return ++nbVertices;
  };
  int nbTriangles = 0;
  const auto face = [&](int a, int b, int c) {
    obj += "f " + std::to_string(a) + " " + std::to_string(b) + " " + std::to_string(c) + "\n";
    return nbTriangles++;
  };
  std::mt19937 random(7);
  std::uniform_real_distribution<double> unit(-1.0, 1.0);

  const int apex = vertex(0.0, 0.0, 1.0);
  const int nbSides = 2000;
  for (int i = 0; i < nbSides; ++i)
    vertex(std::cos(2.0 * M_PI * i / nbSides), std::sin(2.0 * M_PI * i / nbSides), 0.0);
  for (int i = 0; i < nbSides; ++i) face(apex, apex + 1 + i, apex + 1 + (i + 1) % nbSides);

  const int centre = vertex(0.0, 0.0, 0.0);
  for (int i = 0; i < 300; ++i) vertex(unit(random), unit(random), unit(random));
  std::uniform_int_distribution<int> around(centre + 1, centre + 300);
  std::vector<int> notNumbers, huge;
  for (int i = 0; i < 1500; ++i) {
    const int a = around(random);
    const int b = i % 50 == 0 ? a : around(random);  // degenerate
    const int triangle = face(centre, a, b);
    if (i % 10 == 5) face(centre, a, b);
    if (i % 100 == 7) notNumbers.push_back(triangle);
    if (i % 100 == 9) huge.push_back(triangle);
  }

  const int corner = vertex(0.0, 0.0, 0.0);
  for (int i = 0; i < 200; ++i) {
    const double tiny[4] = {1e-7 * unit(random), 1e-7 * unit(random), 1e-7 * unit(random),
                            1e-7 * unit(random)};
    face(corner, vertex(tiny[0], 1.0, 0.0), vertex(tiny[1], 0.0, 1.0));  // about +x
    face(corner, vertex(0.0, tiny[2], 1.0), vertex(1.0, tiny[3], 0.0));  // about +y
  }

  ObjModelData model(dir.write("many.obj", obj));
  model.computeFacetNormals();
  for (int triangle : notNumbers)
    model.facetnorms[triangle] = Float3(std::nanf(""), 0.f, 0.f);
  for (size_t i = 0; i < huge.size(); ++i)
    model.facetnorms[huge[i]] = Float3(3e19f, i % 2 == 0 ? 3e19f : -3e19f, 0.f);
  std::vector<std::vector<std::pair<int, int>>> cornersOf(model.vertices.size());
  for (int t = 0; t < model.getNbTriangles(); ++t)
    for (int c = 0; c < 3; ++c) cornersOf[model.triangles[t].vindices[c]].emplace_back(t, c);

  const auto dot = [](Float3 u, Float3 v) { return u.x() * v.x() + u.y() * v.y() + u.z() * v.z(); };
  for (float angle : {90.f, 30.f, 170.f}) {
    model.computeVertexNormals(angle);
    const float cosAngle = static_cast<float>(std::cos(angle * M_PI / 180.0));
    int nbWithout = 0;
    for (const auto& corners : cornersOf)
      for (const auto& own : corners) {
        const Float3 ownFacet = model.facetnorms[model.triangles[own.first].findex];
        Float3 sum(0.f, 0.f, 0.f);
        bool isAveraged = false;
        for (const auto& other : corners) {
          const Float3 otherFacet = model.facetnorms[model.triangles[other.first].findex];
          if (dot(ownFacet, otherFacet) > cosAngle) {
            sum += otherFacet;
            isAveraged = true;
          }
        }
        const int index = model.triangles[own.first].nindices[own.second];
        ASSERT_EQ(index == 0, !isAveraged) << angle << " triangle " << own.first;
        nbWithout += index == 0;
        const float length = std::sqrt(dot(sum, sum));
        const Float3 expected = length > 0.f ? sum / length : Float3(0.f, 0.f, 0.f);
        const Float3 actual = model.normals[index];
        for (int k = 0; k < 3; ++k)
          ASSERT_NEAR(actual[k], expected[k], 1e-5f) << angle << " triangle " << own.first;
      }
    EXPECT_GE(nbWithout, 3 * static_cast<int>(notNumbers.size()));
  }
}

TEST_F(ObjReadingTest, SegmentTestFindsTheCrossingPoint) {
  const std::string path = dir.write("square.obj", std::string(squareObj) +
                                                       "v 5 5 5\n"
                                                       "f 1 1 5\n"  // degenerate: never hit
                                                       "f 1 2 3 4\n");
  ObjModelData model(path);
  model.computeFacetNormals();
  Float3 hit(7.f, 7.f, 7.f);
  EXPECT_TRUE(model.intersectSegment(Float3(1.f, 0.5f, 5.f), Float3(1.f, 0.5f, -5.f), hit));
  expectVector(hit, 1.f, 0.5f, 0.f);
  // Ends a fraction of a unit from the plane still cross it.
  EXPECT_TRUE(model.intersectSegment(Float3(-1.f, 1.f, 0.25f), Float3(-1.f, 1.f, -0.75f), hit));
  expectVector(hit, -1.f, 1.f, 0.f);
  // Oblique segment, from behind.
  EXPECT_TRUE(model.intersectSegment(Float3(0.f, 0.f, -2.f), Float3(2.f, 1.f, 2.f), hit));
  expectVector(hit, 1.f, 0.5f, 0.f);

  hit = Float3(7.f, 7.f, 7.f);
  EXPECT_FALSE(model.intersectSegment(Float3(3.f, 0.f, 5.f), Float3(3.f, 0.f, -5.f), hit));
  EXPECT_FALSE(model.intersectSegment(Float3(0.f, 0.f, 5.f), Float3(0.f, 0.f, 1.f), hit));
  EXPECT_FALSE(model.intersectSegment(Float3(-5.f, 0.f, 0.f), Float3(5.f, 0.f, 0.f), hit));
  // Through vertex 1 of the degenerate triangle only, beside the square.
  EXPECT_FALSE(model.intersectSegment(Float3(5.f, 5.f, 6.f), Float3(5.f, 5.f, 4.f), hit));
  expectVector(hit, 7.f, 7.f, 7.f);
}

// -------------------------------------------------------------------------- damaged files

TEST_F(ObjReadingDeathTest, MissingFilesAreFatalReports) {
  EXPECT_EXIT(ObjModelData(dir.file("absent.obj")), testing::ExitedWithCode(1),
              "glmReadOBJ\\(\\) failed: can't open data file:/.*absent.obj");
  EXPECT_EXIT(ObjModelData(dir.path()), testing::ExitedWithCode(1),
              "glmReadOBJ\\(\\) failed: can't open data file:");
}

TEST_F(ObjReadingDeathTest, DamagedObjFilesAreFatalReportsNamingTheLine) {
  struct Case {
    const char* content;
    const char* report;
  };
  const std::string square(squareObj);  // 8 lines
  const Case cases[] = {
      {"v 1 2 3\nvx 1 2\n", "glmFirstPass\\(\\): Unknown token \"vx\"\\."},
      {"f 1 2 5\n", "line 9: vertex index 5 out of range 1\\.\\.4"},
      {"f 0 1 2\n", "line 9: vertex index 0 out of range 1\\.\\.4"},
      {"f -5 1 2\n", "line 9: vertex index -5 out of range 1\\.\\.4 \\(or -4\\.\\.-1\\)"},
      {"f 1 2 99999999999999999999\n", "vertex index 99999999999999999999 out of range"},
      {"f 1/9 2/1 3/1\n", "line 9: texture coordinate index 9 out of range 1\\.\\.4"},
      {"f 1//1 2//1 3//1\n", "line 9: normal index 1 out of range 1\\.\\.0"},
      {"f 3 1 2 4 1 2 3 1 4 4 1 2 0\n", "vertex index 0 out of range"},
      {"f 1/1 2 3\n", "'2' is not written like the face's first vertex"},
      {"f 1/x 2/1 3/1\n", "'1/x' holds no texture coordinate index"},
      {"f 1/1/1/1 2 3\n", "'1/1/1/1' is no face vertex"},
      {"f 1 2\n", "line 9: a face needs at least 3 vertices, found 2"},
      {"f 4 3 1\nv 1 2\n", "line 10: expected 3 numbers, found 2"},
      {"vt 0.5\n", "line 9: expected 2 numbers, found 1"},
      {"v nan 0 0\n", "line 9: 'nan' is not a finite number"},
      {"vn 0 1e50 0\n", "line 9: '1e50' is not a finite number"},
      {"v 1 2 3x\n", "'3x' is not a finite number"},
      {"f 5 1 2\nv 0 0 0\n", "line 9: vertex index 5 out of range 1\\.\\.4"},
      {"mtllib\n", "line 9: no material library name"},
  };
  for (const Case& damage : cases) {
    SCOPED_TRACE(damage.content);
    const std::string path = dir.write("damaged.obj", square + damage.content);
    EXPECT_EXIT(ObjModelData{path}, testing::ExitedWithCode(1), damage.report);
  }
  EXPECT_EXIT(ObjModelData{dir.write("cut.obj", square + "f 1 2 3 4\nv 1.5 2")},
              testing::ExitedWithCode(1),
              "glmReadOBJ\\(\\) failed: damaged data file \"/.*cut.obj\" line 10: expected 3 "
              "numbers, found 2");
}

TEST_F(ObjReadingDeathTest, DamagedMaterialFilesAreFatalReports) {
  struct Case {
    const char* content;
    const char* report;
  };
  const Case cases[] = {
      {"newmtl a\nKd 1 nan 0\n", "line 2: 'nan' is not a finite number"},
      {"newmtl a\nKs 1 1\n", "line 2: expected 3 numbers, found 2"},
      {"Ns\n", "line 1: expected 1 numbers, found 0"},
      {"newmtl a\nmap_Kd   \n", "line 2: no texture file name"},
      {"newmtl a\nmap_Kd -s 1 x 1 tex.png\n", "line 2: 'x' is not a finite number"},
  };
  const std::string path = dir.write("m.obj", std::string(squareObj) + "mtllib m.mtl\n");
  for (const Case& damage : cases) {
    SCOPED_TRACE(damage.content);
    dir.write("m.mtl", damage.content);
    EXPECT_EXIT(ObjModelData{path}, testing::ExitedWithCode(1),
                std::string("glmReadMTL\\(\\) failed: damaged material file \"/.*m.mtl\" ") +
                    damage.report);
  }
}

TEST_F(ObjModelDeathTest, EmptyFileNameIsAFatalReport) {
  EXPECT_EXIT(ObjModel("", 1.f, 0.f), testing::ExitedWithCode(1), "parFilename != \"\"");
}

// -------------------------------------------------------------------------------- textures

// Material libraries as other tools write them: map_Kd decides the texture whatever the order
// (map_Ka only without it, then no other map line replaces it); texture options are skipped to
// reach the file name, "-s" gives the scale; backslashes read as '/'; a map line that is not
// taken loads nothing, not even a missing file.
TEST_F(ObjModelTest, MapKdDecidesTheTextureAndOptionsLeadToTheFileName) {
  writeSolidPng(dir.file("a.png"), 255, 0, 0);
  writeSolidPng(dir.file("b.png"), 0, 255, 0);
  dir.write("sub/placeholder", "");
  writeSolidPng(dir.file("sub/c.png"), 0, 0, 255);
  dir.write("lib.mtl",
            "newmtl kdFirst\nmap_Kd a.png\nmap_Ka b.png\n"
            "newmtl kaFirst\nmap_Ka b.png\nmap_Kd a.png\n"
            "newmtl scaled\nmap_Kd -s 2 3 1 a.png  \n"
            "newmtl bumped\nmap_Kd a.png\nmap_Bump -bm 1.0 absent.png\nbump absent.png\n"
            "newmtl bumpFirst\nmap_Bump absent.png\nmap_Kd a.png\n"
            "newmtl kaOnly\nmap_Ka b.png\nmap_Ks absent.png\nmap_d absent.png\n"
            "newmtl options\nmap_Kd -bm 1.0 -blendu on -blendv off -boost 2 -cc off -clamp on"
            " -imfchan l -mm 0 1 -o 0.1 0.2 -t 0 0 0 -texres 512 .\\sub\\c.png\r\n"
            "norm absent.png\nmap_aat on\n"
            "newmtl optionsAndScale\nmap_Kd -o 1 -s 0.5 0.5 1 -t 0.1\tsub\\c.png\n");
  const std::string path = dir.write("m.obj", std::string(squareObj) + "mtllib lib.mtl\n");
  SpriteManager* sprites = GLManager::getSpriteManager();
  {
    testing::internal::CaptureStderr();
    ObjModelData model(path);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    ASSERT_EQ(model.materials.size(), 9u);
    const char* const expected[] = {"a.png", "a.png", "a.png", "a.png", "a.png",
                                    "b.png", "./sub/c.png", "sub/c.png"};
    for (int i = 1; i <= 8; ++i) {
      SCOPED_TRACE(model.materials[i].name);
      ASSERT_NE(model.materials[i].texture, nullptr);
      EXPECT_EQ(model.materials[i].texture->getImages()[0]->getName(), dir.file(expected[i - 1]));
    }
    EXPECT_TRUE(model.materials[1].isMapKa);
    EXPECT_TRUE(model.materials[2].isMapKa);
    expectVector(model.materials[3].textureScale, 2.f, 3.f, 1.f);
    expectVector(model.materials[7].textureScale, 1.f, 1.f, 1.f);
    expectVector(model.materials[8].textureScale, 0.5f, 0.5f, 1.f);
    EXPECT_EQ(sprites->getNbSpritesUsingImage(dir.file("a.png")), 5);
    EXPECT_EQ(sprites->getNbSpritesUsingImage(dir.file("b.png")), 1);
  }
  EXPECT_EQ(sprites->getNbSpritesUsingImage(dir.file("a.png")), 0);
  EXPECT_EQ(sprites->getNbSpritesUsingImage(dir.file("b.png")), 0);
}

// ---------------------------------------------------------------------------------- cache

TEST_F(ObjModelTest, SameFileIsLoadedOnceAndFreedWithItsLastUser) {
  const std::string path = dir.write("shared.obj", std::string(squareObj) + "f 1 2 3 4\n");
  const size_t before = ObjModel::getCache().size();
  testing::internal::CaptureStdout();
  auto first = std::make_unique<ObjModel>(path, 2.f, 0.f);
  auto second = std::make_unique<ObjModel>(path, 1.f, 0.f);
  std::string log = testing::internal::GetCapturedStdout();
  EXPECT_EQ(log, "Loading model '" + path + "' ... \n...loading model done\nGetting model '" +
                     path + "'\n");
  ASSERT_EQ(ObjModel::getCache().size(), before + 1);
  EXPECT_EQ(first->getCacheIndex(), second->getCacheIndex());
  EXPECT_EQ(ObjModel::getCache().back().nbUses, 2);
  EXPECT_TRUE(glIsList(first->getDisplayList()));
  // The first load's scale stays: the second user shares those vertices.
  expectVector(second->getModel()->vertices[3], 4.f, 4.f, 0.f);

  testing::internal::CaptureStdout();
  const unsigned int list = first->getDisplayList();
  first.reset();
  second.reset();
  log = testing::internal::GetCapturedStdout();
  EXPECT_EQ(log, "Ungetting model '" + path + "'\nUnloading model " + path +
                     " ...\n... unloading model done\n");
  EXPECT_EQ(ObjModel::getCache().back().fileName, "");
  EXPECT_EQ(ObjModel::getCache().back().model, nullptr);
  EXPECT_FALSE(glIsList(list));

  // A later load appends a new element; the old slot stays empty.
  testing::internal::CaptureStdout();
  {
    ObjModel again(path, 1.f, 0.f);
    EXPECT_EQ(again.getCacheIndex(), static_cast<int>(before) + 1);
    EXPECT_EQ(ObjModel::getCache().size(), before + 2);
  }
  testing::internal::GetCapturedStdout();
}

TEST_F(ObjModelTest, CollisionTestUsesTheDrawnVertices) {
  const std::string path = dir.write("wall.obj", std::string(squareObj) + "f 1 2 3 4\n");
  testing::internal::CaptureStdout();
  ObjModel model(path, 1.f, 0.f);
  testing::internal::GetCapturedStdout();
  Float3 hit;
  ASSERT_TRUE(model.testCollision(Float3(1.5f, -1.5f, 1.f), Float3(1.5f, -1.5f, -1.f), hit));
  expectVector(hit, 1.5f, -1.5f, 0.f);
  EXPECT_FALSE(model.testCollision(Float3(2.5f, 0.f, 1.f), Float3(2.5f, 0.f, -1.f), hit));
}

// ---------------------------------------------------------------------------------- drawing

TEST_F(ObjModelTest, DrawnModelShowsItsTextureWhereItStands) {
  writeSolidPng(dir.file("red.png"), 255, 0, 0);
  dir.write("red.mtl", "newmtl red\nKd 1 1 1\nmap_Kd red.png\n");
  const std::string path =
      dir.write("red.obj", std::string(squareObj) + "mtllib red.mtl\nusemtl red\n"
                                                    "f 1/1 2/2 3/3 4/4\n");
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  ObjModel model(path, 0.5f, 0.f);  // a square of side 2
  const std::string warnings = testing::internal::GetCapturedStderr();
  testing::internal::GetCapturedStdout();
  EXPECT_EQ(warnings, "");

  startUnlitView(Float3(0.f, 0.f, 0.f));
  glPushMatrix();
  glTranslatef(-1.5f, 0.f, -5.f);
  model.draw();
  glPopMatrix();

  // The square spans x = -2.5 .. -0.5 at distance 5: with the 110 degree field of view a unit
  // there is about 42 pixels, so it covers 295 .. 379 of the middle row.
  std::array<unsigned char, 4> inside = GLTestWindow::readPixel2D(400 - 42, 300);
  EXPECT_GT(inside[0], 200);
  EXPECT_LT(inside[1], 40);
  EXPECT_LT(inside[2], 40);
  std::array<unsigned char, 4> outside = GLTestWindow::readPixel2D(400 + 42, 300);
  EXPECT_EQ(outside[0], 0);
  EXPECT_EQ(outside[1], 0);
}

TEST_F(ObjModelTest, ModelWithoutTextureCoordinatesOrMaterialsWarnsAndStillDraws) {
  const std::string path = dir.write("plain.obj", "v -2 -2 0\nv 2 -2 0\nv 2 2 0\nf 1 2 3\n");
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  ObjModel model(path, 1.f, 0.f);
  const std::string warnings = testing::internal::GetCapturedStderr();
  testing::internal::GetCapturedStdout();
  EXPECT_NE(warnings.find("glmDraw() warning: texture render mode requested with no texture "
                          "coordinates defined.\n"),
            std::string::npos);
  EXPECT_NE(warnings.find("glmDraw() warning: material render mode requested with no materials "
                          "defined.\n"),
            std::string::npos);
  EXPECT_EQ(warnings.find("smooth render mode"), std::string::npos);
  EXPECT_TRUE(glIsList(model.getDisplayList()));
}
