#include "ObjModelData.h"

#include <GL/gl.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include "GLManager.h"
#include "ImageLoader.h"
#include "NormalCapTree.h"
#include "Sprite.h"
#include "SpriteManager.h"
#include "Assert.h"

namespace {

/// The whole content of a file; false when it cannot be opened or read.
bool readWholeFile(const std::string& path, std::string& content) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == NULL) return false;
  content.clear();
  char buffer[65536];
  size_t count;
  while ((count = std::fread(buffer, 1, sizeof buffer, file)) > 0) content.append(buffer, count);
  const bool isRead = std::ferror(file) == 0;
  std::fclose(file);
  return isRead;
}

/// The lines of a text, without their line ends ("\n" or "\r\n").
std::vector<std::string> splitLines(const std::string& content) {
  std::vector<std::string> lines;
  size_t begin = 0;
  while (begin < content.size()) {
    size_t end = content.find('\n', begin);
    if (end == std::string::npos) end = content.size();
    size_t stop = end;
    if (stop > begin && content[stop - 1] == '\r') --stop;
    lines.emplace_back(content, begin, stop - begin);
    begin = end + 1;
  }
  return lines;
}

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }

std::string trimmed(const std::string& text) {
  size_t begin = 0;
  size_t end = text.size();
  while (begin < end && isBlank(text[begin])) ++begin;
  while (end > begin && isBlank(text[end - 1])) --end;
  return text.substr(begin, end - begin);
}

/// Walks the words of one line.
class Words {
 public:
  explicit Words(const std::string& parLine) : line(parLine) {}

  /// The next word, empty at the end of the line.
  std::string next() {
    while (position < line.size() && isBlank(line[position])) ++position;
    const size_t begin = position;
    while (position < line.size() && !isBlank(line[position])) ++position;
    return line.substr(begin, position - begin);
  }
  /// What follows the last word read, as it stands (leading blank included).
  std::string rest() const { return line.substr(position); }

 private:
  const std::string& line;
  size_t position = 0;
};

/// Reports a damaged file and ends the program: the file, the line and what is wrong with it.
[[noreturn]] void reportDamage(const char* function, const char* kind, const std::string& path,
                               int lineNumber, const std::string& problem) {
  assertNoCondition(false, std::string(function) + " failed: damaged " + kind + " \"" + path +
                               "\" line " + std::to_string(lineNumber) + ": " + problem);
}

/// A whole word read as a finite float.
bool parseFloat(const std::string& word, float& value) {
  if (word.empty()) return false;
  char* end = nullptr;
  value = std::strtof(word.c_str(), &end);
  return *end == '\0' && std::isfinite(value);
}

/// `count` floats from the next words of the line; a missing, malformed or non-finite one is
/// reported as damage.
void readFloats(Words& words, float* values, int count, const char* function, const char* kind,
                const std::string& path, int lineNumber) {
  for (int i = 0; i < count; ++i) {
    const std::string word = words.next();
    if (word.empty())
      reportDamage(function, kind, path, lineNumber,
                   "expected " + std::to_string(count) + " numbers, found " + std::to_string(i));
    if (!parseFloat(word, values[i]))
      reportDamage(function, kind, path, lineNumber, "'" + word + "' is not a finite number");
  }
}

/// Directory part of a path, up to and with its last separator; empty without one.
std::string directoryOf(const std::string& path, const char* separators) {
  const size_t slash = path.find_last_of(separators);
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

/// The indices of one face vertex: vertex, texture coordinate, normal (0 where absent).
struct FaceCorner {
  int indices[3];
};

/// How the vertices of a face line are written, decided by its first vertex.
enum class FaceForm { vertex, vertexTexture, vertexTextureNormal, vertexNormal };

/// Splits "a/b/c" at its slashes.
std::vector<std::string> splitSlashes(const std::string& word) {
  std::vector<std::string> parts;
  size_t begin = 0;
  for (;;) {
    const size_t slash = word.find('/', begin);
    if (slash == std::string::npos) {
      parts.push_back(word.substr(begin));
      return parts;
    }
    parts.push_back(word.substr(begin, slash - begin));
    begin = slash + 1;
  }
}

bool faceFormOf(const std::vector<std::string>& parts, FaceForm& form) {
  if (parts.size() == 1) {
    form = FaceForm::vertex;
  } else if (parts.size() == 2) {
    form = FaceForm::vertexTexture;
  } else if (parts.size() == 3) {
    form = parts[1].empty() ? FaceForm::vertexNormal : FaceForm::vertexTextureNormal;
  } else {
    return false;
  }
  return true;
}

Float3 cross(Float3 u, Float3 v) {
  return Float3(u.y() * v.z() - u.z() * v.y(), u.z() * v.x() - u.x() * v.z(),
                u.x() * v.y() - u.y() * v.x());
}

float dot(Float3 u, Float3 v) { return u.x() * v.x() + u.y() * v.y() + u.z() * v.z(); }

/// Unit vector along v; (0, 0, 0) stays (0, 0, 0).
Float3 normalized(Float3 v) {
  const float length = std::sqrt(dot(v, v));
  if (!(length > 0.f)) return Float3(0.f, 0.f, 0.f);
  return v / length;
}

}  // namespace

ObjModelData::ObjModelData(const std::string& parFilename) : pathname(parFilename) {
  static const char* const function = "glmReadOBJ()";
  static const char* const kind = "data file";
  std::string content;
  assert(readWholeFile(pathname, content),
         "glmReadOBJ() failed: can't open data file:" + pathname);
  const std::vector<std::string> lines = splitLines(content);

  // First pass: count everything, so that the second one fills arrays of their final size.
  size_t nbVertices = 0, nbNormals = 0, nbTexcoords = 0, nbTriangles = 0;
  std::vector<size_t> nbGroupTriangles(1, 0);
  groups.push_back(ObjGroup());
  groups[0].name = "default";
  // Group names to indices while reading: a file may hold tens of thousands of groups.
  std::unordered_map<std::string, size_t> groupIndices{{"default", 0}};
  size_t currentGroup = 0;
  // Each library is read once, where it is first named: reading is the same every time and only
  // the last library named stays, so a file naming a library on every line does not read it as
  // often. The last one named is read again at the end when another was read since.
  std::unordered_set<std::string> librariesRead;
  std::string lastLibrary;
  for (size_t lineIndex = 0; lineIndex < lines.size(); ++lineIndex) {
    const int lineNumber = static_cast<int>(lineIndex) + 1;
    Words words(lines[lineIndex]);
    const std::string word = words.next();
    if (word.empty()) continue;
    if (word == "v") {
      ++nbVertices;
    } else if (word == "vn") {
      ++nbNormals;
    } else if (word == "vt") {
      ++nbTexcoords;
    } else if (word[0] == 'v') {
      assertNoCondition(false, "glmFirstPass(): Unknown token \"" + word + "\".");
    } else if (word[0] == 'f') {
      size_t nbCorners = 0;
      while (!words.next().empty()) ++nbCorners;
      if (nbCorners < 3)
        reportDamage(function, kind, pathname, lineNumber,
                     "a face needs at least 3 vertices, found " + std::to_string(nbCorners));
      nbTriangles += nbCorners - 2;
      nbGroupTriangles[currentGroup] += nbCorners - 2;
    } else if (word[0] == 'g') {
      std::string name = trimmed(words.rest());
      if (name.empty()) name = "default";
      const auto found = groupIndices.emplace(name, groups.size());
      if (found.second) {
        groups.push_back(ObjGroup());
        groups.back().name = name;
        nbGroupTriangles.push_back(0);
      }
      currentGroup = found.first->second;
    } else if (word[0] == 'm') {
      const std::string library = words.next();
      if (library.empty())
        reportDamage(function, kind, pathname, lineNumber, "no material library name");
      if (librariesRead.insert(library).second) readMTL(library);
      lastLibrary = library;
    }
  }
  if (lastLibrary != mtllibname) readMTL(lastLibrary);

  vertices.reserve(nbVertices + 1);
  normals.reserve(nbNormals + 1);
  texcoords.reserve(nbTexcoords + 1);
  vertices.push_back(Float3(0.f, 0.f, 0.f));
  normals.push_back(Float3(0.f, 0.f, 0.f));
  texcoords.push_back(Float2(0.f, 0.f));
  triangles.reserve(nbTriangles);
  for (size_t i = 0; i < groups.size(); ++i) groups[i].triangles.reserve(nbGroupTriangles[i]);

  // Second pass: the data. Every index is checked against what the file defines in all.
  currentGroup = 0;
  int currentMaterial = 0;
  std::vector<std::string> parts;
  std::vector<FaceCorner> corners;
  for (size_t lineIndex = 0; lineIndex < lines.size(); ++lineIndex) {
    const int lineNumber = static_cast<int>(lineIndex) + 1;
    Words words(lines[lineIndex]);
    const std::string word = words.next();
    if (word.empty()) continue;
    if (word == "v" || word == "vn") {
      float xyz[3];
      readFloats(words, xyz, 3, function, kind, pathname, lineNumber);
      (word == "v" ? vertices : normals).push_back(Float3(xyz[0], xyz[1], xyz[2]));
    } else if (word == "vt") {
      float uv[2];
      readFloats(words, uv, 2, function, kind, pathname, lineNumber);
      texcoords.push_back(Float2(uv[0], 1.f - uv[1]));
    } else if (word[0] == 'g') {
      std::string name = trimmed(words.rest());
      if (name.empty()) name = "default";
      currentGroup = groupIndices.at(name);
      groups[currentGroup].material = currentMaterial;
    } else if (word[0] == 'u') {
      currentMaterial = findMaterial(words.next());
      groups[currentGroup].material = currentMaterial;
    } else if (word[0] == 'f') {
      corners.clear();
      FaceForm form = FaceForm::vertex;
      for (std::string vertexWord = words.next(); !vertexWord.empty();
           vertexWord = words.next()) {
        parts = splitSlashes(vertexWord);
        FaceForm vertexForm;
        if (!faceFormOf(parts, vertexForm))
          reportDamage(function, kind, pathname, lineNumber,
                       "'" + vertexWord + "' is no face vertex");
        if (corners.empty()) form = vertexForm;
        if (vertexForm != form)
          reportDamage(function, kind, pathname, lineNumber,
                       "'" + vertexWord + "' is not written like the face's first vertex");
        // Vertex, texture coordinate and normal indices in that order; 0 where absent.
        const std::string* fields[3] = {&parts[0], nullptr, nullptr};
        if (form == FaceForm::vertexTexture || form == FaceForm::vertexTextureNormal)
          fields[1] = &parts[1];
        if (form == FaceForm::vertexNormal || form == FaceForm::vertexTextureNormal)
          fields[2] = &parts[2];
        const size_t counts[3] = {vertices.size() - 1, texcoords.size() - 1, normals.size() - 1};
        static const char* const names[3] = {"vertex", "texture coordinate", "normal"};
        FaceCorner corner = {{0, 0, 0}};
        for (int k = 0; k < 3; ++k) {
          if (fields[k] == nullptr) continue;
          const std::string& field = *fields[k];
          char* end = nullptr;
          errno = 0;
          const long index = field.empty() ? 0 : std::strtol(field.c_str(), &end, 10);
          if (field.empty() || *end != '\0')
            reportDamage(function, kind, pathname, lineNumber,
                         "'" + vertexWord + "' holds no " + names[k] + " index");
          // Indices count only what the lines above define.
          if (errno == ERANGE || index < 1 || static_cast<unsigned long>(index) > counts[k])
            reportDamage(function, kind, pathname, lineNumber,
                         std::string(names[k]) + " index " + field + " out of range 1.." +
                             std::to_string(counts[k]));
          corner.indices[k] = static_cast<int>(index);
        }
        corners.push_back(corner);
      }
      // A fan: (first, second, third), then (first, previous, next) for every further vertex.
      for (size_t k = 2; k < corners.size(); ++k) {
        ObjTriangle triangle;
        const FaceCorner* fan[3] = {&corners[0], &corners[k - 1], &corners[k]};
        for (int c = 0; c < 3; ++c) {
          triangle.vindices[c] = fan[c]->indices[0];
          triangle.tindices[c] = fan[c]->indices[1];
          triangle.nindices[c] = fan[c]->indices[2];
        }
        triangle.findex = static_cast<int>(triangles.size());
        groups[currentGroup].triangles.push_back(static_cast<int>(triangles.size()));
        triangles.push_back(triangle);
      }
    }
  }
}

ObjModelData::~ObjModelData() { releaseMaterials(); }

void ObjModelData::releaseMaterials() {
  SpriteManager* sprites = GLManager::getSpriteManager();
  for (ObjMaterial& material : materials)
    if (material.texture != nullptr && sprites != nullptr) {
      sprites->deleteSprite(material.texture);
      material.texture = nullptr;
    }
  materials.clear();
  materialIndices.clear();
}

int ObjModelData::findGroup(const std::string& name) const {
  for (size_t i = 0; i < groups.size(); ++i)
    if (groups[i].name == name) return static_cast<int>(i);
  return -1;
}

int ObjModelData::findMaterial(const std::string& name) const {
  const auto found = materialIndices.find(name);
  if (found != materialIndices.end()) return found->second;
  std::printf("glmFindMaterial():  can't find material \"%s\".\n", name.c_str());
  std::fflush(stdout);
  return 0;
}

void ObjModelData::readMTL(const std::string& name) {
  static const char* const function = "glmReadMTL()";
  static const char* const kind = "material file";
  mtllibname = name;
  const std::string path = directoryOf(pathname, "/") + name;
  std::string content;
  assert(readWholeFile(path, content),
         "glmReadMTL() failed: can't open material file \"" + path + "\".");
  const std::vector<std::string> lines = splitLines(content);

  size_t nbMaterials = 1;
  for (const std::string& line : lines) {
    Words words(line);
    const std::string word = words.next();
    if (!word.empty() && word[0] == 'n') ++nbMaterials;
  }
  // A second library replaces the first one.
  releaseMaterials();
  materials.resize(nbMaterials);

  const std::string textureDirectory = directoryOf(pathname, "/\\");
  size_t current = 0;
  for (size_t lineIndex = 0; lineIndex < lines.size(); ++lineIndex) {
    const int lineNumber = static_cast<int>(lineIndex) + 1;
    Words words(lines[lineIndex]);
    const std::string word = words.next();
    if (word.empty()) continue;
    ObjMaterial& material = materials[current];
    if (word[0] == 'n') {
      ++current;
      materials[current].name = words.next();
    } else if (word == "Kd" || word == "Ka" || word == "Ks") {
      float* colour = word == "Kd" ? material.diffuse
                                   : (word == "Ka" ? material.ambient : material.specular);
      readFloats(words, colour, 3, function, kind, path, lineNumber);
    } else if (word == "Ns") {
      float shininess;
      readFloats(words, &shininess, 1, function, kind, path, lineNumber);
      material.shininess = shininess / 1000.f * 128.f;
    } else if (word[0] == 'm') {
      const bool isMapKa = word == "map_Ka";
      if (!isMapKa && material.isMapKa) continue;
      if (isMapKa) material.isMapKa = true;
      const std::string rest = words.rest();
      Float3 textureScale(1.f, 1.f, 1.f);
      std::string fileName;
      if (rest.compare(0, 4, " -s ") == 0) {
        Words scaleWords(rest);
        scaleWords.next();  // "-s"
        float scale[3];
        readFloats(scaleWords, scale, 3, function, kind, path, lineNumber);
        textureScale = Float3(scale[0], scale[1], scale[2]);
        fileName = trimmed(scaleWords.rest());
      } else {
        fileName = trimmed(rest);
      }
      if (fileName.empty()) reportDamage(function, kind, path, lineNumber, "no texture file name");
      SpriteManager* sprites = GLManager::getSpriteManager();
      assert(sprites != NULL, "glmReadMTL(): textures need the window's texture registry");
      if (material.texture != nullptr) sprites->deleteSprite(material.texture);
      material.texture = sprites->createSprite(textureDirectory + fileName, 1);
      material.textureScale = textureScale;
    }
  }
  // The first material of a name is the one a "usemtl" line means.
  for (size_t i = 0; i < materials.size(); ++i)
    materialIndices.emplace(materials[i].name, static_cast<int>(i));
}

void ObjModelData::scale(float factor) {
  for (size_t i = 1; i < vertices.size(); ++i)
    for (int k = 0; k < 3; ++k) vertices[i][k] *= factor;
}

void ObjModelData::computeFacetNormals() {
  facetnorms.reset(new Float3[triangles.size()]);
  for (size_t i = 0; i < triangles.size(); ++i) {
    const ObjTriangle& triangle = triangles[i];
    const Float3 p0 = vertices[triangle.vindices[0]];
    const Float3 u = vertices[triangle.vindices[1]] - p0;
    const Float3 v = vertices[triangle.vindices[2]] - p0;
    facetnorms[triangle.findex] = normalized(cross(u, v));
  }
}

void ObjModelData::computeVertexNormals(float angle) {
  assert(facetnorms, "glmVertexNormals(): the facet normals are needed");
  const float cosAngle = static_cast<float>(std::cos(angle * 3.14159265358979323846 / 180.0));
  const size_t nbVertices = vertices.size();

  // The corners around each vertex, as (triangle, corner) pairs in one flat list.
  std::vector<size_t> firstCorner(nbVertices + 1, 0);
  for (const ObjTriangle& triangle : triangles)
    for (int c = 0; c < 3; ++c) ++firstCorner[triangle.vindices[c] + 1];
  for (size_t i = 1; i <= nbVertices; ++i) firstCorner[i] += firstCorner[i - 1];
  std::vector<std::pair<int, int>> cornerList(triangles.size() * 3);
  std::vector<size_t> fill(firstCorner.begin(), firstCorner.end() - 1);
  for (size_t t = 0; t < triangles.size(); ++t)
    for (int c = 0; c < 3; ++c)
      cornerList[fill[triangles[t].vindices[c]]++] = {static_cast<int>(t), c};

  // Every corner gets the normalised sum, in corner order, of the facet normals around its
  // vertex that pass the angle test against its own. Corners with the same facet normal get the
  // same sum, so it is computed once per distinct facet normal around the vertex: a vertex shared
  // by many triangles facing the same few ways (a fan, a flat region, a repeated face) costs
  // its corners times those few ways instead of its corners squared.
  // When all the facet normals around a vertex lie within half the angle (less a margin for
  // rounding) of one axis, every pair passes the test and all corners share one sum.
  // A vertex with many ways and many corners (a finely divided cone tip) takes its sums from a
  // tree over its ways instead: the same facet normals are summed, in double and in another
  // order, so its normals agree with the sum in corner order to rounding. Every model of
  // ordinary detail (a sphere's pole of 256 segments) stays on the sum in corner order.
  constexpr size_t maxWaysSummedInOrder = 64;
  constexpr size_t maxTestsSummedInOrder = 65536;
  const double halfAngle = angle * 0.5 - 0.01;
  const bool canShareOneSum = halfAngle > 0.0 && halfAngle < 90.0;
  const float cosHalfAngle =
      static_cast<float>(std::cos(halfAngle * 3.14159265358979323846 / 180.0));
  normals.assign(1, Float3(0.f, 0.f, 0.f));
  normals.reserve(triangles.size() * 3 + 1);
  std::vector<std::pair<std::array<uint32_t, 3>, size_t>> keys;  // facet normal bits, corner
  std::vector<size_t> cornerWay;  // per corner of the vertex: index of its distinct normal
  std::vector<Float3> ways;       // the distinct facet normals around the vertex
  std::vector<size_t> wayCounts;  // corners facing each way
  std::vector<Float3> sums;       // per way: its sum, then that sum normalised
  std::vector<char> isAveraged;
  NormalCapTree tree;
  for (size_t vertex = 1; vertex < nbVertices; ++vertex) {
    const size_t begin = firstCorner[vertex];
    const size_t end = firstCorner[vertex + 1];
    if (begin == end) std::fprintf(stderr, "glmVertexNormals(): vertex w/o a triangle\n");
    const auto facetOf = [&](size_t corner) {
      return facetnorms[triangles[cornerList[corner].first].findex];
    };

    keys.clear();
    for (size_t i = begin; i < end; ++i) {
      const Float3 n = facetOf(i);
      std::array<uint32_t, 3> bits;
      std::memcpy(bits.data(), &n[0], sizeof(float));
      std::memcpy(bits.data() + 1, &n[1], sizeof(float));
      std::memcpy(bits.data() + 2, &n[2], sizeof(float));
      keys.emplace_back(bits, i - begin);
    }
    std::sort(keys.begin(), keys.end());
    ways.clear();
    wayCounts.clear();
    cornerWay.resize(end - begin);
    for (size_t k = 0; k < keys.size(); ++k) {
      if (k == 0 || keys[k].first != keys[k - 1].first) {
        ways.push_back(facetOf(begin + keys[k].second));
        wayCounts.push_back(0);
      }
      cornerWay[keys[k].second] = ways.size() - 1;
      ++wayCounts.back();
    }

    Float3 axis(0.f, 0.f, 0.f);
    for (const Float3& way : ways) axis += way;
    axis = normalized(axis);
    bool isOneSum = canShareOneSum && !ways.empty();
    for (size_t w = 0; w < ways.size() && isOneSum; ++w) isOneSum = dot(ways[w], axis) > cosHalfAngle;

    sums.assign(ways.size(), Float3(0.f, 0.f, 0.f));
    isAveraged.assign(ways.size(), 0);
    if (isOneSum || ways.size() <= maxWaysSummedInOrder ||
        ways.size() * (end - begin) <= maxTestsSummedInOrder) {
      for (size_t w = 0; w < ways.size(); ++w) {
        if (isOneSum && w > 0) {
          sums[w] = sums[0];
          isAveraged[w] = isAveraged[0];
          continue;
        }
        for (size_t j = begin; j < end; ++j) {
          const Float3 other = facetOf(j);
          if (isOneSum || NormalCapTree::isWithin(ways[w], other, cosAngle)) {
            sums[w] += other;
            isAveraged[w] = 1;
          }
        }
      }
      for (size_t w = 0; w < ways.size(); ++w) sums[w] = normalized(sums[w]);
    } else {
      tree.build(ways, wayCounts);
      for (size_t w = 0; w < ways.size(); ++w) {
        double sum[3] = {0.0, 0.0, 0.0};
        isAveraged[w] = tree.sumWithin(ways[w], cosAngle, sum) > 0;
        sums[w] = normalized(Float3(static_cast<float>(sum[0]), static_cast<float>(sum[1]),
                                    static_cast<float>(sum[2])));
      }
    }
    for (size_t i = begin; i < end; ++i) {
      const size_t way = cornerWay[i - begin];
      int normalIndex = 0;
      if (isAveraged[way]) {
        normalIndex = static_cast<int>(normals.size());
        normals.push_back(sums[way]);
      }
      triangles[cornerList[i].first].nindices[cornerList[i].second] = normalIndex;
    }
  }
}

void ObjModelData::weld(float distance) {
  std::vector<Float3> kept;
  kept.reserve(vertices.size());
  kept.push_back(Float3(0.f, 0.f, 0.f));
  std::vector<int> replacement(vertices.size(), 0);
  for (size_t i = 1; i < vertices.size(); ++i) {
    const Float3 v = vertices[i];
    size_t found = 0;
    for (size_t j = 1; j < kept.size() && found == 0; ++j)
      if (std::fabs(kept[j].x() - v.x()) <= distance && std::fabs(kept[j].y() - v.y()) <= distance &&
          std::fabs(kept[j].z() - v.z()) <= distance)
        found = j;
    if (found == 0) {
      found = kept.size();
      kept.push_back(v);
    }
    replacement[i] = static_cast<int>(found);
  }
  for (ObjTriangle& triangle : triangles)
    for (int c = 0; c < 3; ++c) triangle.vindices[c] = replacement[triangle.vindices[c]];
  vertices.swap(kept);
}

void ObjModelData::draw() const {
  const bool hasNormals = normals.size() > 1;
  const bool hasTexcoords = texcoords.size() > 1;
  const bool hasMaterials = !materials.empty();
  if (!hasNormals)
    std::fprintf(stderr,
                 "glmDraw() warning: smooth render mode requested with no normals defined.\n");
  if (!hasTexcoords)
    std::fprintf(stderr, "glmDraw() warning: texture render mode requested with no texture "
                         "coordinates defined.\n");
  if (!hasMaterials)
    std::fprintf(stderr,
                 "glmDraw() warning: material render mode requested with no materials defined.\n");

  for (const ObjGroup& group : groups) {
    Float3 textureScale(1.f, 1.f, 1.f);
    if (hasMaterials) {
      const ObjMaterial& material = materials[group.material];
      glMaterialfv(GL_FRONT_AND_BACK, GL_AMBIENT, material.ambient);
      glMaterialfv(GL_FRONT_AND_BACK, GL_DIFFUSE, material.diffuse);
      glMaterialfv(GL_FRONT_AND_BACK, GL_SPECULAR, material.specular);
      // OpenGL refuses a shininess outside 0..128; a large Ns would otherwise be dropped.
      const float shininess = material.shininess < 0.f ? 0.f
                              : material.shininess > 128.f ? 128.f
                                                           : material.shininess;
      glMaterialf(GL_FRONT_AND_BACK, GL_SHININESS, shininess);
      if (hasTexcoords && material.texture != nullptr) {
        glEnable(GL_TEXTURE_2D);
        glBindTexture(GL_TEXTURE_2D,
                      static_cast<GLuint>(material.texture->getImages()[0]->getTexture()));
        textureScale = material.textureScale;
      } else {
        glDisable(GL_TEXTURE_2D);
      }
    }
    glBegin(GL_TRIANGLES);
    for (int t : group.triangles) {
      const ObjTriangle& triangle = triangles[t];
      for (int c = 0; c < 3; ++c) {
        if (hasNormals) {
          const Float3 n = normals[triangle.nindices[c]];
          glNormal3f(n.x(), n.y(), n.z());
        }
        if (hasTexcoords) {
          const Float2 uv = texcoords[triangle.tindices[c]];
          glTexCoord2f(uv.x() * textureScale.x(), uv.y() * textureScale.y());
        }
        const Float3 p = vertices[triangle.vindices[c]];
        glVertex3f(p.x(), p.y(), p.z());
      }
    }
    glEnd();
  }
}

bool ObjModelData::intersectSegment(Float3 a, Float3 b, Float3& hitPoint) const {
  for (const ObjTriangle& triangle : triangles) {
    const Float3 p[3] = {vertices[triangle.vindices[0]], vertices[triangle.vindices[1]],
                         vertices[triangle.vindices[2]]};
    if (p[0] == p[1] || p[1] == p[2] || p[0] == p[2]) continue;
    const Float3 normal = facetnorms[triangle.findex];
    const float da = dot(normal, a - p[0]);
    const float db = dot(normal, b - p[0]);
    if ((da > 0.f && db > 0.f) || (da < 0.f && db < 0.f) || da == db) continue;
    const float along = da / (da - db);
    const Float3 crossing(a.x() + (b.x() - a.x()) * along, a.y() + (b.y() - a.y()) * along,
                          a.z() + (b.z() - a.z()) * along);

    // Inside test in the coordinate plane that the triangle covers best: drop the axis along
    // which the normal points most.
    int drop = 0;
    for (int k = 1; k < 3; ++k)
      if (std::fabs(normal[k]) > std::fabs(normal[drop])) drop = k;
    const int u = drop == 0 ? 1 : 0;
    const int v = drop == 2 ? 1 : 2;
    bool hasPositive = false, hasNegative = false;
    for (int e = 0; e < 3; ++e) {
      const Float3& from = p[e];
      const Float3& to = p[(e + 1) % 3];
      const float side = (to[u] - from[u]) * (crossing[v] - from[v]) -
                         (to[v] - from[v]) * (crossing[u] - from[u]);
      hasPositive = hasPositive || side > 0.f;
      hasNegative = hasNegative || side < 0.f;
    }
    if (hasPositive && hasNegative) continue;
    hitPoint = crossing;
    return true;
  }
  return false;
}
