// ObjModelData spans two source files: this one reads the OBJ file and its MTL library and
// draws the model; ObjModelDataGeometry.cpp computes from the geometry.
#include "ObjModelData.h"

#include <GL/gl.h>
#include <sys/stat.h>

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

#include "FileManager.h"
#include "GLManager.h"
#include "ImageLoader.h"
#include "Sprite.h"
#include "SpriteManager.h"
#include "Assert.h"

namespace {

/// Why a model's file was not read.
enum class FileRefusal { none, cannotOpen, notRegular, tooLarge, notText };

/// The whole content of a text file. Only a regular file of at most ObjModelData::maxFileBytes
/// is read (a device such as /dev/zero or a pipe has no end to reach); a UTF-8 byte order mark
/// is dropped; a zero byte refuses the file, since no text in ASCII or UTF-8 holds one (UTF-16,
/// UTF-32 and binary files do, and would otherwise read as an empty model).
FileRefusal readTextFile(const std::string& path, std::string& content) {
  content.clear();
  struct stat info;
  // Checked before opening: opening a pipe waits for a writer.
  if (::stat(path.c_str(), &info) != 0) return FileRefusal::cannotOpen;
  if (!S_ISREG(info.st_mode)) return FileRefusal::notRegular;
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == NULL) return FileRefusal::cannotOpen;
  FileRefusal refusal = FileRefusal::none;
  if (::fstat(::fileno(file), &info) != 0 || !S_ISREG(info.st_mode))
    refusal = FileRefusal::notRegular;
  else if (info.st_size > ObjModelData::maxFileBytes)
    refusal = FileRefusal::tooLarge;
  if (refusal == FileRefusal::none) {
    content.reserve(static_cast<size_t>(info.st_size));
    char buffer[65536];
    size_t count;
    while (refusal == FileRefusal::none &&
           (count = std::fread(buffer, 1, sizeof buffer, file)) > 0) {
      content.append(buffer, count);
      // A file growing while it is read is held to the same bound.
      if (static_cast<long long>(content.size()) > ObjModelData::maxFileBytes)
        refusal = FileRefusal::tooLarge;
    }
    if (refusal == FileRefusal::none && std::ferror(file) != 0) refusal = FileRefusal::cannotOpen;
  }
  std::fclose(file);
  if (refusal == FileRefusal::none && content.find('\0') != std::string::npos)
    refusal = FileRefusal::notText;
  if (refusal != FileRefusal::none) {
    content.clear();
    return refusal;
  }
  if (content.compare(0, 3, "\xEF\xBB\xBF") == 0) content.erase(0, 3);
  return FileRefusal::none;
}

/// What follows "can't open ... file" in a report on a refused file.
std::string refusalReason(FileRefusal refusal) {
  switch (refusal) {
    case FileRefusal::notRegular:
      return " (not a regular file)";
    case FileRefusal::tooLarge:
      return " (larger than " + std::to_string(ObjModelData::maxFileBytes) + " bytes)";
    case FileRefusal::notText:
      return " (not text in ASCII or UTF-8: it holds zero bytes, as UTF-16 and binary files do)";
    default:
      return "";
  }
}

/// Statements of the OBJ format that the engine does not use, and whose first letter would
/// otherwise take them for one it uses (every other unused statement is skipped by its letter).
bool isUnusedObjStatement(const std::string& word) {
  return word == "vp" || word == "mg" || word == "maplib" || word == "usemap";
}

/// "newmtl", read by its first letter like the MTL readers of old; "norm" (a normal map) is not.
bool isNewMaterial(const std::string& word) { return word[0] == 'n' && word != "norm"; }

/// A texture statement ("map_..."), read by its first letter; "map_aat" is a switch, no texture.
bool isTextureStatement(const std::string& word) { return word[0] == 'm' && word != "map_aat"; }

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

/// Walks the words of one line (a copy walks on from the same place).
class Words {
 public:
  explicit Words(const std::string& parLine) : line(&parLine) {}

  /// The next word, empty at the end of the line.
  std::string next() {
    while (position < line->size() && isBlank((*line)[position])) ++position;
    const size_t begin = position;
    while (position < line->size() && !isBlank((*line)[position])) ++position;
    return line->substr(begin, position - begin);
  }
  /// What follows the last word read, as it stands (leading blank included).
  std::string rest() const { return line->substr(position); }

 private:
  const std::string* line;
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

/// The red, green and blue of a colour statement: three numbers, or one for a grey. The colour
/// is left as it is for the spectral and CIE XYZ forms, which the engine does not use.
void readColour(Words& words, float* colour, const std::string& path, int lineNumber) {
  static const char* const function = "glmReadMTL()";
  static const char* const kind = "material file";
  Words probe = words;
  const std::string form = probe.next();
  if (form == "spectral" || form == "xyz") return;
  float values[3];
  int count = 0;
  while (count < 3) {
    const std::string word = words.next();
    if (word.empty()) break;
    if (!parseFloat(word, values[count]))
      reportDamage(function, kind, path, lineNumber, "'" + word + "' is not a finite number");
    ++count;
  }
  if (count == 1)
    values[1] = values[2] = values[0];
  else if (count != 3)
    reportDamage(function, kind, path, lineNumber,
                 "expected 3 numbers, found " + std::to_string(count));
  std::copy(values, values + 3, colour);
}

/// The options of a texture statement and how many values each takes (at least, at most):
/// the first value is taken whatever it is, further ones while they are numbers.
struct TextureOption {
  const char* name;
  int minValues;
  int maxValues;
};
const TextureOption textureOptions[] = {
    {"-blendu", 1, 1}, {"-blendv", 1, 1}, {"-bm", 1, 1},  {"-boost", 1, 1},
    {"-cc", 1, 1},     {"-clamp", 1, 1},  {"-imfchan", 1, 1}, {"-texres", 1, 1},
    {"-mm", 1, 2},     {"-o", 1, 3},      {"-t", 1, 3}};

/// The file name of a texture statement, past its options; "-s" and its three numbers give the
/// texture scale. Backslashes in the name (written by tools on Windows) read as '/'.
std::string readTextureFileName(Words& words, Float3& textureScale, const std::string& path,
                                int lineNumber) {
  static const char* const function = "glmReadMTL()";
  static const char* const kind = "material file";
  for (;;) {
    Words probe = words;
    const std::string option = probe.next();
    if (option == "-s") {
      float scale[3];
      readFloats(probe, scale, 3, function, kind, path, lineNumber);
      textureScale = Float3(scale[0], scale[1], scale[2]);
      words = probe;
      continue;
    }
    const TextureOption* known = nullptr;
    for (const TextureOption& candidate : textureOptions)
      if (option == candidate.name) known = &candidate;
    if (known == nullptr) break;
    for (int i = 0; i < known->maxValues; ++i) {
      Words value = probe;
      const std::string word = value.next();
      float number;
      if (word.empty() || (i >= known->minValues && !parseFloat(word, number))) break;
      probe = value;
    }
    words = probe;
  }
  std::string fileName = trimmed(words.rest());
  std::replace(fileName.begin(), fileName.end(), '\\', '/');
  return fileName;
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

}  // namespace

ObjModelData::ObjModelData(const std::string& parFilename) : pathname(parFilename) {
  static const char* const function = "glmReadOBJ()";
  static const char* const kind = "data file";
  std::string content;
  FileRefusal refusal = FileRefusal::none;
  // A file that cannot be opened keeps its report as it always read.
  const auto readWholeFile = [&refusal](const std::string& path, std::string& text) {
    refusal = readTextFile(path, text);
    return refusal != FileRefusal::cannotOpen;
  };
  assert(readWholeFile(pathname, content),
         "glmReadOBJ() failed: can't open data file:" + pathname);
  assert(refusal == FileRefusal::none,
         "glmReadOBJ() failed: can't open data file:" + pathname + refusalReason(refusal));
  const std::vector<std::string> lines = splitLines(content);
  content.clear();
  content.shrink_to_fit();

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
    if (word.empty() || isUnusedObjStatement(word)) continue;
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
    if (word.empty() || isUnusedObjStatement(word)) continue;
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
      // Without its library every material is the default one, reported once already.
      currentMaterial = isLibraryMissing ? 0 : findMaterial(words.next());
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
          // Indices count only what the lines above define; a negative one counts back from
          // the last one read so far (-1 is the last).
          const long count = static_cast<long>(counts[k]);
          if (errno == ERANGE || index == 0 || index > count || index < -count)
            reportDamage(function, kind, pathname, lineNumber,
                         std::string(names[k]) + " index " + field + " out of range 1.." +
                             std::to_string(count) + " (or -" + std::to_string(count) + "..-1)");
          corner.indices[k] = static_cast<int>(index > 0 ? index : count + 1 + index);
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
  const FileRefusal refusal = readTextFile(path, content);
  // A second library replaces the first one.
  releaseMaterials();
  if (refusal != FileRefusal::none) {
    // The game goes on: the model is drawn with the default material.
    if (reportedFiles.insert(path).second)
      showProblem("glmReadMTL(): can't open material file \"" + path + "\"" +
                  refusalReason(refusal) + " of model \"" + pathname +
                  "\"; the model uses the default material.");
    isLibraryMissing = true;
    materials.resize(1);
    materialIndices.emplace(materials[0].name, 0);
    return;
  }
  isLibraryMissing = false;
  const std::vector<std::string> lines = splitLines(content);

  size_t nbMaterials = 1;
  for (const std::string& line : lines) {
    Words words(line);
    const std::string word = words.next();
    if (!word.empty() && isNewMaterial(word)) ++nbMaterials;
  }
  materials.resize(nbMaterials);
  // The texture file each material takes, loaded once the library is read: lines that choose
  // no texture in the end load none.
  std::vector<std::string> textureFiles(nbMaterials);

  size_t current = 0;
  for (size_t lineIndex = 0; lineIndex < lines.size(); ++lineIndex) {
    const int lineNumber = static_cast<int>(lineIndex) + 1;
    Words words(lines[lineIndex]);
    const std::string word = words.next();
    if (word.empty()) continue;
    ObjMaterial& material = materials[current];
    if (isNewMaterial(word)) {
      ++current;
      materials[current].name = words.next();
    } else if (word == "Kd" || word == "Ka" || word == "Ks") {
      float* colour = word == "Kd" ? material.diffuse
                                   : (word == "Ka" ? material.ambient : material.specular);
      readColour(words, colour, path, lineNumber);
    } else if (word == "Ns") {
      float shininess;
      readFloats(words, &shininess, 1, function, kind, path, lineNumber);
      material.shininess = shininess / 1000.f * 128.f;
    } else if (isTextureStatement(word)) {
      // map_Kd decides the texture; without it map_Ka does; without either, the last map line.
      const bool isMapKd = word == "map_Kd";
      const bool isMapKa = word == "map_Ka";
      const bool isTaken = isMapKd || (isMapKa ? !material.isMapKd
                                               : !material.isMapKd && !material.isMapKa);
      material.isMapKd = material.isMapKd || isMapKd;
      material.isMapKa = material.isMapKa || isMapKa;
      if (!isTaken) continue;
      Float3 textureScale(1.f, 1.f, 1.f);
      const std::string fileName = readTextureFileName(words, textureScale, path, lineNumber);
      if (fileName.empty()) reportDamage(function, kind, path, lineNumber, "no texture file name");
      textureFiles[current] = fileName;
      material.textureScale = textureScale;
    }
  }
  // The first material of a name is the one a "usemtl" line means.
  for (size_t i = 0; i < materials.size(); ++i)
    materialIndices.emplace(materials[i].name, static_cast<int>(i));
  loadTextures(textureFiles);
}

void ObjModelData::loadTextures(const std::vector<std::string>& textureFiles) {
  const std::string textureDirectory = directoryOf(pathname, "/\\");
  for (size_t i = 0; i < textureFiles.size(); ++i) {
    if (textureFiles[i].empty()) continue;
    const std::string path = textureDirectory + textureFiles[i];
    if (!FileManager::fileExists(path)) {
      // The game goes on: the material is drawn in its colour.
      if (reportedFiles.insert(path).second)
        showProblem("glmReadMTL(): can't open texture file \"" + path + "\" of model \"" +
                    pathname + "\"; its material \"" + materials[i].name +
                    "\" is drawn without texture.");
      continue;
    }
    SpriteManager* sprites = GLManager::getSpriteManager();
    assert(sprites != NULL, "glmReadMTL(): textures need the window's texture registry");
    materials[i].texture = sprites->createSprite(path, 1);
  }
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

  // Texturing and the current colour are put back after the model: neither its drawing nor
  // what is drawn after it depends on what was drawn before.
  glPushAttrib(GL_ENABLE_BIT | GL_TEXTURE_BIT | GL_CURRENT_BIT);
  const ObjMaterial defaultMaterial;
  for (const ObjGroup& group : groups) {
    // A model without materials is drawn with the default one.
    const ObjMaterial& material = hasMaterials ? materials[group.material] : defaultMaterial;
    const bool isTextured = hasTexcoords && material.texture != nullptr;
    if (!isTextured) {
      // Texturing off and the material's own colours, lit or not: the scene's colour material
      // would take the current colour instead. All of it is put back after the group.
      glPushAttrib(GL_CURRENT_BIT | GL_ENABLE_BIT | GL_LIGHTING_BIT);
      glDisable(GL_TEXTURE_2D);
      glDisable(GL_COLOR_MATERIAL);
      glColor4fv(material.diffuse);
    }
    glMaterialfv(GL_FRONT_AND_BACK, GL_AMBIENT, material.ambient);
    glMaterialfv(GL_FRONT_AND_BACK, GL_DIFFUSE, material.diffuse);
    glMaterialfv(GL_FRONT_AND_BACK, GL_SPECULAR, material.specular);
    // OpenGL refuses a shininess outside 0..128; a large Ns would otherwise be dropped.
    const float shininess = material.shininess < 0.f ? 0.f
                            : material.shininess > 128.f ? 128.f
                                                         : material.shininess;
    glMaterialf(GL_FRONT_AND_BACK, GL_SHININESS, shininess);
    Float3 textureScale(1.f, 1.f, 1.f);
    if (isTextured) {
      glEnable(GL_TEXTURE_2D);
      glBindTexture(GL_TEXTURE_2D,
                    static_cast<GLuint>(material.texture->getImages()[0]->getTexture()));
      textureScale = material.textureScale;
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
    if (!isTextured) glPopAttrib();
  }
  glPopAttrib();
}

