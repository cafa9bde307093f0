#include "VBO.h"

#include <GL/glew.h>

#include <algorithm>
#include <cstring>
#include <iostream>

#include "Fog.h"
#include "VBODrawPass.h"
#include "Assert.h"

bool VBO::vboSupported = false;

namespace {

// Entry points of the extension, taken once by initVBO from GLEW (which looked them up by
// name in the driver).
PFNGLGENBUFFERSARBPROC genBuffers = nullptr;
PFNGLBINDBUFFERARBPROC bindBuffer = nullptr;
PFNGLBUFFERDATAARBPROC bufferData = nullptr;
PFNGLDELETEBUFFERSARBPROC deleteBuffers = nullptr;
PFNGLBUFFERSUBDATAARBPROC bufferSubData = nullptr;
PFNGLMAPBUFFERARBPROC mapBuffer = nullptr;
PFNGLUNMAPBUFFERARBPROC unmapBuffer = nullptr;

unsigned int uploadArray(const void* data, size_t bytes) {
  GLuint name = 0;
  genBuffers(1, &name);
  bindBuffer(GL_ARRAY_BUFFER_ARB, name);
  bufferData(GL_ARRAY_BUFFER_ARB, (GLsizeiptrARB)bytes, data, GL_STATIC_DRAW_ARB);
  return name;
}

void deleteArray(unsigned int name) {
  if (name == 0) return;
  GLuint glName = name;
  bindBuffer(GL_ARRAY_BUFFER_ARB, glName);
  deleteBuffers(1, &glName);
}

}  // namespace

VBO::VBO(std::shared_ptr<VBOArena> parArena) : arena(std::move(parArena)) {}

VBO::~VBO() { destroy(); }

bool VBO::isExtensionInString(const char* extensions, const char* name) {
  if (extensions == nullptr || name == nullptr || *name == '\0') return false;
  const size_t length = std::strlen(name);
  for (const char* start = extensions; (start = std::strstr(start, name)) != nullptr; start += length) {
    const bool wordStart = start == extensions || start[-1] == ' ';
    const char after = start[length];
    if (wordStart && (after == ' ' || after == '\0')) return true;
  }
  return false;
}

void VBO::initVBO() {
  const char* extensions = reinterpret_cast<const char*>(glGetString(GL_EXTENSIONS));
  vboSupported = isExtensionInString(extensions, "GL_ARB_vertex_buffer_object");
  if (vboSupported) {
    genBuffers = glGenBuffersARB;
    bindBuffer = glBindBufferARB;
    bufferData = glBufferDataARB;
    deleteBuffers = glDeleteBuffersARB;
    bufferSubData = glBufferSubDataARB;
    mapBuffer = glMapBufferARB;
    unmapBuffer = glUnmapBufferARB;
    vboSupported = genBuffers != nullptr && bindBuffer != nullptr && bufferData != nullptr &&
                   deleteBuffers != nullptr && bufferSubData != nullptr;
  }
  if (!vboSupported)
    std::cout << "!!! ERROR !!! vertex buffer objects are not supported, nothing will be displayed." << std::endl;
}

bool VBO::isVBOSupported() { return vboSupported; }

void VBO::addGroup(int texture, const std::vector<Float3>& verticesQuad, const std::vector<Float2>& texCoordQuad,
                   const std::vector<Float3>& verticesTri, const std::vector<Float2>& texCoordTri) {
  MeshGroup& group = groups[texture];
  group.verticesQuadVect.insert(group.verticesQuadVect.end(), verticesQuad.begin(), verticesQuad.end());
  group.texCoordQuadVect.insert(group.texCoordQuadVect.end(), texCoordQuad.begin(), texCoordQuad.end());
  group.verticesTriVect.insert(group.verticesTriVect.end(), verticesTri.begin(), verticesTri.end());
  group.texCoordTriVect.insert(group.texCoordTriVect.end(), texCoordTri.begin(), texCoordTri.end());
}

void VBO::addGroup(int texture, const MeshGroup& group) {
  addGroup(texture, group.verticesQuadVect, group.texCoordQuadVect, group.verticesTriVect, group.texCoordTriVect);
}

void VBO::addGroup(int texture, MeshGroup&& group) {
  MeshGroup& target = groups[texture];
  if (!target.verticesQuadVect.empty() || !target.texCoordQuadVect.empty() || !target.verticesTriVect.empty() ||
      !target.texCoordTriVect.empty()) {
    addGroup(texture, static_cast<const MeshGroup&>(group));
    return;
  }
  // A region's mesh is megabytes: copying it once more would cost as much as uploading it.
  target.verticesQuadVect = std::move(group.verticesQuadVect);
  target.texCoordQuadVect = std::move(group.texCoordQuadVect);
  target.verticesTriVect = std::move(group.verticesTriVect);
  target.texCoordTriVect = std::move(group.texCoordTriVect);
}

void VBO::addPart(MeshGroupMap&& part) { laterParts.push_back(std::move(part)); }

MeshGroup& VBO::getGroup(int texture) { return groups[texture]; }

/// One finish: where the mesh comes from (the groups, then the later parts in order) and the
/// copies into mapped buffers still to make.
struct VBO::Upload {
  struct Span {
    const void* data;
    size_t bytes;
  };
  struct Copy {
    unsigned int name;
    size_t offset;
    char* target;
    const Span source;
  };
  std::vector<const MeshGroupMap*> sources;
  /// The lists of the buffer being made, one per source that has some.
  std::vector<Span> vertexSpans;
  std::vector<Span> texCoordSpans;
  /// The (vertices, texture coordinates) spans and the run of each (direction, cell) of the
  /// buffer being made, and the spans of the vertices that make no whole quad (drawn by no run,
  /// kept so that the counts stay the groups').
  struct KeyedSpans {
    /// The run's (direction, cell), and the place the spans came in.
    size_t key, order;
    Span vertices, texCoords;
  };
  std::vector<KeyedSpans> keyedSpans;
  std::vector<FacingRuns::Run> keyedRuns = std::vector<FacingRuns::Run>(FacingRuns::nbDirections * FacingRuns::nbCells);
  std::vector<std::pair<Span, Span>> tailSpans;
  /// The grid over the buffer's box, when it is large enough to be gridded.
  bool isGridded = false;
  Float3 gridLow, gridHigh;
  /// The buffer's runs, counted from its first vertex.
  std::vector<FacingRuns::Run> runs;
  std::vector<Copy> copies;
  size_t copyBytes = 0;
  int nbCopyParts = 1;
  std::vector<unsigned int> mappedNames;
};

std::pair<int, int> VBO::finish(const PartRunner& runParts) {
  Upload upload;
  upload.sources.push_back(&groups);
  std::vector<int> textures;
  for (const auto& entry : groups) textures.push_back(entry.first);
  for (const MeshGroupMap& part : laterParts) {
    upload.sources.push_back(&part);
    for (const auto& entry : part) textures.push_back(entry.first);
  }
  std::sort(textures.begin(), textures.end());
  textures.erase(std::unique(textures.begin(), textures.end()), textures.end());

  for (int pass = 0; pass < 2; ++pass) {
    const bool drawnLast = pass == 1;
    for (int texture : textures) {
      const auto found = groups.find(texture);
      if ((found != groups.end() && found->second.drawnLast) != drawnLast) continue;
      uploadKind(texture, true, !drawnLast, upload);
      uploadKind(texture, false, false, upload);
    }
    if (!drawnLast) nbUnmarkedBuffers = buffers.size();
  }

  // A mesh made in parts goes into mapped buffers, each part straight to its place: shared out
  // these copies run on every thread the caller offers.
  if (!upload.copies.empty()) {
    if (runParts) {
      upload.nbCopyParts = 8;
      runParts(&VBO::copyPart, &upload, upload.nbCopyParts);
    } else {
      copyPart(&upload, 0);
    }
  }
  for (unsigned int name : upload.mappedNames) {
    bindBuffer(GL_ARRAY_BUFFER_ARB, name);
    if (unmapBuffer(GL_ARRAY_BUFFER_ARB) == GL_TRUE) continue;
    // The driver lost the mapped memory (a mode switch): the contents are undefined, so the
    // parts are uploaded again.
    for (const Upload::Copy& copy : upload.copies)
      if (copy.name == name)
        bufferSubData(GL_ARRAY_BUFFER_ARB, (GLintptrARB)copy.offset, (GLsizeiptrARB)copy.source.bytes, copy.source.data);
  }
  if (!upload.mappedNames.empty()) bindBuffer(GL_ARRAY_BUFFER_ARB, 0);
  return std::make_pair((int)buffers.size(), nbVerticesTotal);
}

void VBO::uploadKind(int texture, bool isQuads, bool byFacing, Upload& upload) {
  upload.vertexSpans.clear();
  upload.texCoordSpans.clear();
  upload.tailSpans.clear();
  upload.runs.clear();
  byFacing = byFacing && isQuads;
  if (byFacing) prepareFacing(texture, upload);
  size_t nbVertices = 0;
  for (const MeshGroupMap* source : upload.sources) {
    const auto found = source->find(texture);
    if (found == source->end()) continue;
    const MeshGroup& group = found->second;
    if (isQuads) {
      const std::vector<Float3>& verticesQuadVect = group.verticesQuadVect;
      const std::vector<Float2>& texCoordQuadVect = group.texCoordQuadVect;
      assert(verticesQuadVect.size() == texCoordQuadVect.size());
    } else {
      const std::vector<Float3>& verticesTriVect = group.verticesTriVect;
      const std::vector<Float2>& texCoordTriVect = group.texCoordTriVect;
      assert(verticesTriVect.size() == texCoordTriVect.size());
    }
    const std::vector<Float3>& vertices = isQuads ? group.verticesQuadVect : group.verticesTriVect;
    const std::vector<Float2>& texCoords = isQuads ? group.texCoordQuadVect : group.texCoordTriVect;
    if (vertices.empty()) continue;
    if (byFacing) {
      listByFacing(vertices, texCoords, upload);
    } else {
      upload.vertexSpans.push_back({vertices.data(), vertices.size() * sizeof(Float3)});
      upload.texCoordSpans.push_back({texCoords.data(), texCoords.size() * sizeof(Float2)});
    }
    nbVertices += vertices.size();
  }
  if (nbVertices == 0) return;
  if (byFacing) {
    // The runs in the order of their (direction, cell), each span in the order it came.
    std::sort(upload.keyedSpans.begin(), upload.keyedSpans.end(),
              [](const Upload::KeyedSpans& a, const Upload::KeyedSpans& b) {
                return a.key != b.key ? a.key < b.key : a.order < b.order;
              });
    int first = 0;
    for (size_t k = 0; k < upload.keyedSpans.size(); ++k) {
      const Upload::KeyedSpans& spans = upload.keyedSpans[k];
      if (k == 0 || spans.key != upload.keyedSpans[k - 1].key) {
        upload.runs.push_back(upload.keyedRuns[spans.key]);
        upload.runs.back().first = first;
      }
      upload.vertexSpans.push_back(spans.vertices);
      upload.texCoordSpans.push_back(spans.texCoords);
      const int count = (int)(spans.vertices.bytes / sizeof(Float3));
      upload.runs.back().count += count;
      first += count;
    }
    for (const auto& spans : upload.tailSpans) {
      upload.vertexSpans.push_back(spans.first);
      upload.texCoordSpans.push_back(spans.second);
    }
  } else {
    FacingRuns::Run all;
    all.count = (int)nbVertices;
    upload.runs.push_back(all);
  }

  std::unique_ptr<Buffer> buffer(new Buffer);
  buffer->nbVertices = (int)nbVertices;
  buffer->textureId = texture;
  buffer->isQuads = isQuads;
  if (vboSupported && arena != nullptr && nbVertices <= (size_t)VBOArena::largestShared) {
    uploadShared(*buffer, upload);
  } else if (vboSupported) {
    buffer->vboVertices = uploadSpans(true, nbVertices * sizeof(Float3), upload);
    buffer->vboTexCoords = uploadSpans(false, nbVertices * sizeof(Float2), upload);
    if (Fog::useVolumetricFog) {
      std::vector<float> fogCoords;
      fogCoords.reserve(nbVertices);
      for (const Upload::Span& span : upload.vertexSpans) {
        const std::vector<float> part = Fog::computeFogCoordinates(
            (int)(span.bytes / sizeof(Float3)), static_cast<const float*>(span.data));
        fogCoords.insert(fogCoords.end(), part.begin(), part.end());
      }
      buffer->vboFogCoords = uploadArray(fogCoords.data(), fogCoords.size() * sizeof(float));
    }
    bindBuffer(GL_ARRAY_BUFFER_ARB, 0);
  }
  for (FacingRuns::Run run : upload.runs) {
    run.first += buffer->shared.first;
    buffer->runs.push(run);
  }
  nbVerticesTotal += (int)nbVertices;
  buffers.push_back(std::move(buffer));
}

void VBO::prepareFacing(int texture, Upload& upload) {
  upload.keyedSpans.clear();
  for (size_t key = 0; key < upload.keyedRuns.size(); ++key) {
    upload.keyedRuns[key] = FacingRuns::emptyRun((int)(key / FacingRuns::nbCells));
  }
  // A large buffer is gridded over its box, so that the runs in one place can be left out
  // when the place is out of view.
  size_t nbVertices = 0;
  for (const MeshGroupMap* source : upload.sources) {
    const auto found = source->find(texture);
    if (found != source->end()) nbVertices += found->second.verticesQuadVect.size();
  }
  upload.isGridded = nbVertices >= (size_t)FacingRuns::smallestGridded;
  if (!upload.isGridded) return;
  FacingRuns::Run box = FacingRuns::emptyRun(FacingRuns::anyDirection);
  for (const MeshGroupMap* source : upload.sources) {
    const auto found = source->find(texture);
    if (found == source->end()) continue;
    const std::vector<Float3>& vertices = found->second.verticesQuadVect;
    for (size_t v = 0; v + 4 <= vertices.size(); v += 4) FacingRuns::widen(box, &vertices[v], 0.f);
  }
  upload.gridLow = box.low;
  upload.gridHigh = box.high;
}

void VBO::uploadShared(Buffer& buffer, Upload& upload) {
  const bool withFog = Fog::useVolumetricFog;
  buffer.shared = arena->allocate(buffer.nbVertices, withFog);
  buffer.vboVertices = buffer.vboTexCoords = buffer.shared.name;
  buffer.texCoordOffset = VBOArena::texCoordOffset;
  bindBuffer(GL_ARRAY_BUFFER_ARB, buffer.shared.name);
  size_t vertexAt = (size_t)buffer.shared.first * sizeof(Float3);
  for (const Upload::Span& span : upload.vertexSpans) {
    bufferSubData(GL_ARRAY_BUFFER_ARB, (GLintptrARB)vertexAt, (GLsizeiptrARB)span.bytes, span.data);
    if (withFog) {
      const size_t first = vertexAt / sizeof(Float3);
      const int count = (int)(span.bytes / sizeof(Float3));
      const std::vector<float> fog = Fog::computeFogCoordinates(count, static_cast<const float*>(span.data));
      bufferSubData(GL_ARRAY_BUFFER_ARB, (GLintptrARB)(VBOArena::fogOffset + first * sizeof(float)),
                    (GLsizeiptrARB)(fog.size() * sizeof(float)), fog.data());
    }
    vertexAt += span.bytes;
  }
  size_t texCoordAt = VBOArena::texCoordOffset + (size_t)buffer.shared.first * sizeof(Float2);
  for (const Upload::Span& span : upload.texCoordSpans) {
    bufferSubData(GL_ARRAY_BUFFER_ARB, (GLintptrARB)texCoordAt, (GLsizeiptrARB)span.bytes, span.data);
    texCoordAt += span.bytes;
  }
  if (withFog) {
    buffer.vboFogCoords = buffer.shared.name;
    buffer.fogOffset = VBOArena::fogOffset;
  }
  bindBuffer(GL_ARRAY_BUFFER_ARB, 0);
}

void VBO::listByFacing(const std::vector<Float3>& vertices, const std::vector<Float2>& texCoords, Upload& upload) {
  // Consecutive quads of one (direction, cell) (a zone's face) make one span of its run.
  const size_t quadsEnd = vertices.size() - vertices.size() % 4;
  const auto spansOf = [&](size_t from, size_t to) {
    return std::make_pair(Upload::Span{&vertices[from], (to - from) * sizeof(Float3)},
                          Upload::Span{&texCoords[from], (to - from) * sizeof(Float2)});
  };
  const auto list = [&](size_t key, size_t from, size_t to) {
    const std::pair<Upload::Span, Upload::Span> spans = spansOf(from, to);
    upload.keyedSpans.push_back({key, upload.keyedSpans.size(), spans.first, spans.second});
  };
  const size_t none = upload.keyedRuns.size();
  size_t current = none;
  size_t spanStart = 0;
  for (size_t v = 0; v < quadsEnd; v += 4) {
    float lean = 0.f;
    const int direction = FacingRuns::classify(&vertices[v], lean);
    const int cell = upload.isGridded ? FacingRuns::cellOf(&vertices[v], upload.gridLow, upload.gridHigh) : 0;
    const size_t key = (size_t)direction * FacingRuns::nbCells + (size_t)cell;
    FacingRuns::widen(upload.keyedRuns[key], &vertices[v], lean);
    if (key == current) continue;
    if (current != none) list(current, spanStart, v);
    current = key;
    spanStart = v;
  }
  if (current != none) list(current, spanStart, quadsEnd);
  if (vertices.size() > quadsEnd) upload.tailSpans.push_back(spansOf(quadsEnd, vertices.size()));
}

unsigned int VBO::uploadSpans(bool isVertices, size_t bytes, Upload& upload) {
  const std::vector<Upload::Span>& spans = isVertices ? upload.vertexSpans : upload.texCoordSpans;
  if (spans.size() == 1) return uploadArray(spans[0].data, spans[0].bytes);
  GLuint name = 0;
  genBuffers(1, &name);
  bindBuffer(GL_ARRAY_BUFFER_ARB, name);
  bufferData(GL_ARRAY_BUFFER_ARB, (GLsizeiptrARB)bytes, nullptr, GL_STATIC_DRAW_ARB);
  char* target = mapBuffer != nullptr ? static_cast<char*>(mapBuffer(GL_ARRAY_BUFFER_ARB, GL_WRITE_ONLY_ARB)) : nullptr;
  size_t offset = 0;
  for (const Upload::Span& span : spans) {
    if (target != nullptr) {
      upload.copies.push_back({name, offset, target + offset, span});
      upload.copyBytes += span.bytes;
    } else {
      bufferSubData(GL_ARRAY_BUFFER_ARB, (GLintptrARB)offset, (GLsizeiptrARB)span.bytes, span.data);
    }
    offset += span.bytes;
  }
  if (target != nullptr) upload.mappedNames.push_back(name);
  return name;
}

void VBO::copyPart(void* context, int part) {
  // Part p copies bytes [p, p + 1) / parts of all the copies laid end to end: equal shares
  // whatever the sizes of the lists.
  const Upload& upload = *static_cast<const Upload*>(context);
  const size_t first = upload.copyBytes * (size_t)part / (size_t)upload.nbCopyParts;
  const size_t end = upload.copyBytes * (size_t)(part + 1) / (size_t)upload.nbCopyParts;
  size_t copyStart = 0;
  for (const Upload::Copy& copy : upload.copies) {
    const size_t copyEnd = copyStart + copy.source.bytes;
    const size_t from = std::max(first, copyStart);
    const size_t to = std::min(end, copyEnd);
    if (from < to)
      std::memcpy(copy.target + (from - copyStart), static_cast<const char*>(copy.source.data) + (from - copyStart), to - from);
    copyStart = copyEnd;
    if (copyStart >= end) break;
  }
}

std::pair<size_t, size_t> VBO::getPassBuffers(Pass pass) const {
  return std::make_pair(pass == Pass::drawnLast ? nbUnmarkedBuffers : 0,
                        pass == Pass::unmarked ? nbUnmarkedBuffers : buffers.size());
}

void VBO::draw(Pass pass) const {
  VBODrawPass drawPass;
  drawPass.begin();
  drawPass.draw(*this, pass);
  drawPass.end();
}

void VBO::deleteBuffer(Buffer& buffer) {
  if (!vboSupported) return;
  if (buffer.shared.name != 0) {
    arena->release(buffer.shared);
    buffer.shared = VBOArena::Range();
  } else {
    deleteArray(buffer.vboVertices);
    deleteArray(buffer.vboTexCoords);
    deleteArray(buffer.vboFogCoords);  // made only with volumetric fog, 0 otherwise
    bindBuffer(GL_ARRAY_BUFFER_ARB, 0);
  }
  buffer.vboVertices = buffer.vboTexCoords = buffer.vboFogCoords = 0;
}

void VBO::destroy() {
  for (auto& buffer : buffers)
    if (buffer != nullptr) deleteBuffer(*buffer);
  buffers.clear();
  nbUnmarkedBuffers = 0;
  groups.clear();
  laterParts.clear();
  nbVerticesTotal = 0;
}
