#ifndef COREKIT_OBJMODELDATA_H
#define COREKIT_OBJMODELDATA_H

#include <memory>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include "BasicVector.h"

class Sprite;

/// One material of an MTL library. Material 0 of every library is "default" with these values.
struct ObjMaterial {
  std::string name = "default";
  float diffuse[4] = {0.8f, 0.8f, 0.8f, 1.f};
  float ambient[4] = {0.2f, 0.2f, 0.2f, 1.f};
  float specular[4] = {0.f, 0.f, 0.f, 1.f};
  float shininess = 65.f;
  /// Sprite of the texture registry, released by ObjModelData; null without a texture.
  Sprite* texture = nullptr;
  Float3 textureScale{1.f, 1.f, 1.f};
  /// A map_Kd line was given: it decides the texture, no other map line replaces it.
  bool isMapKd = false;
  /// A map_Ka line was given: without map_Kd it decides the texture, and later map lines of
  /// other kinds no longer replace it.
  bool isMapKa = false;
};

/// One triangle: 1-based indices into the vertices, normals and texture coordinates (0: none)
/// and the 0-based index of its facet normal.
struct ObjTriangle {
  int vindices[3] = {0, 0, 0};
  int nindices[3] = {0, 0, 0};
  int tindices[3] = {0, 0, 0};
  int findex = 0;
};

/// Triangles drawn with one material.
struct ObjGroup {
  std::string name;
  int material = 0;
  std::vector<int> triangles;  ///< indices into ObjModelData::triangles
};

/// A Wavefront OBJ model read with its MTL library: the geometry, groups and materials, the
/// normals computed from it, its drawing and its segment test. The arrays of vertices, normals
/// and texture coordinates are 1-based (element 0 is an unused zero, so a missing index 0 reads
/// a harmless value); every index of a triangle is checked against them when it is read.
///
/// Reading is strict: an OBJ file that cannot be opened or is no text file of at most
/// maxFileBytes, a line that is cut short, a number that is not a finite number or an index
/// outside its array is a fatal report naming the file (and the line), so a damaged file never
/// leads to reading or writing outside the arrays. A material library or a texture that cannot
/// be read is one report naming it and the model: the model goes on with the default material,
/// the material without its texture.
///
/// ObjModelData spans ObjModelData.cpp (reading, drawing) and ObjModelDataGeometry.cpp.
class ObjModelData {
 public:
  /// The largest OBJ or MTL file read: a model's text beyond it would take the memory of
  /// several times its size while it is read.
  static constexpr long long maxFileBytes = 256LL * 1024 * 1024;

  /// Reads the OBJ file and its material library (two passes; the second fills arrays sized
  /// by the first). Textures come from the texture registry, so the OpenGL context is needed
  /// when the library names one.
  explicit ObjModelData(const std::string& parFilename);
  /// Releases the material textures.
  ~ObjModelData();
  ObjModelData(const ObjModelData&) = delete;
  ObjModelData& operator=(const ObjModelData&) = delete;

  /// Multiplies every vertex coordinate by `factor`.
  void scale(float factor);
  /// One normalised normal per triangle: (p1 - p0) x (p2 - p0); (0, 0, 0) for a degenerate one.
  void computeFacetNormals();
  /// Smooth normals: each triangle corner gets the normalised sum of the facet normals of the
  /// triangles around its vertex whose angle with its own facet normal is below `angle`
  /// degrees. Needs the facet normals.
  void computeVertexNormals(float angle);
  /// Merges vertices within `distance` (on every axis) of an earlier kept vertex into it and
  /// renumbers the triangles.
  void weld(float distance);
  /// Immediate-mode drawing of every group with its material (meant for a display list): a
  /// material with a texture is drawn textured, one without (or a model without materials) with
  /// texturing off in its diffuse colour. Texturing and the current colour are left as found.
  void draw() const;
  /// First triangle, in order, crossed by the segment from a to b; the crossing point goes to
  /// `hitPoint`. Needs the facet normals.
  bool intersectSegment(Float3 a, Float3 b, Float3& hitPoint) const;

  int getNbVertices() const { return static_cast<int>(vertices.size()) - 1; }
  int getNbNormals() const { return static_cast<int>(normals.size()) - 1; }
  int getNbTexcoords() const { return static_cast<int>(texcoords.size()) - 1; }
  int getNbTriangles() const { return static_cast<int>(triangles.size()); }

  /// Index of the first group with that name, -1 when there is none.
  int findGroup(const std::string& name) const;
  /// Index of the first material with that name; otherwise prints the look-up message and
  /// answers 0.
  int findMaterial(const std::string& name) const;

  std::string pathname;
  std::string mtllibname;
  std::vector<Float3> vertices;   ///< 1-based
  std::vector<Float3> normals;    ///< 1-based
  std::vector<Float2> texcoords;  ///< 1-based; v is stored as 1 - v
  std::unique_ptr<Float3[]> facetnorms;  ///< one per triangle, null until computed
  std::vector<ObjTriangle> triangles;
  std::vector<ObjGroup> groups;
  std::vector<ObjMaterial> materials;  ///< empty when the file names no library

 private:
  /// Material names to the index of the first material of that name (a file may hold tens of
  /// thousands of materials and "usemtl" lines).
  std::unordered_map<std::string, int> materialIndices;

  /// The library's file name was given but it could not be read: "usemtl" lines then take the
  /// default material without a message each.
  bool isLibraryMissing = false;
  /// Libraries and textures that could not be read, each reported once.
  std::unordered_set<std::string> reportedFiles;

  void readMTL(const std::string& name);
  /// Gives each material the texture chosen for it (file names relative to the model's
  /// directory, empty: none); a missing one is reported and left out.
  void loadTextures(const std::vector<std::string>& textureFiles);
  void releaseMaterials();
};

#endif
