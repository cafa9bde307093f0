#include "VBO.h"

#include <GL/glew.h>

#include <algorithm>
#include <cstring>
#include <iostream>

#include "Fog.h"
#include "GLManager.h"
#include "Scene3D.h"
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
PFNGLFOGCOORDPOINTERPROC fogCoordPointer = nullptr;

unsigned int uploadArray(const void* data, size_t bytes) {
  GLuint name = 0;
  genBuffers(1, &name);
  bindBuffer(GL_ARRAY_BUFFER_ARB, name);
  bufferData(GL_ARRAY_BUFFER_ARB, (GLsizeiptrARB)bytes, data, GL_STATIC_DRAW_ARB);
  return name;
}

void setEnabled(GLenum capability, bool isEnabled) {
  if (isEnabled)
    glEnable(capability);
  else
    glDisable(capability);
}

/// Binds the texture and answers whether it has no alpha channel (its fragments then take
/// their alpha from the colour alone).
bool isTextureWithoutAlpha(int texture) {
  glBindTexture(GL_TEXTURE_2D, (GLuint)texture);
  GLint alphaSize = 1;
  glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_ALPHA_SIZE, &alphaSize);
  return alphaSize == 0;
}

void deleteArray(unsigned int name) {
  if (name == 0) return;
  GLuint glName = name;
  bindBuffer(GL_ARRAY_BUFFER_ARB, glName);
  deleteBuffers(1, &glName);
}

}  // namespace

VBO::VBO() = default;

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
    fogCoordPointer = glFogCoordPointer;
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
      uploadKind(texture, true, upload);
      uploadKind(texture, false, upload);
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

void VBO::uploadKind(int texture, bool isQuads, Upload& upload) {
  upload.vertexSpans.clear();
  upload.texCoordSpans.clear();
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
    upload.vertexSpans.push_back({vertices.data(), vertices.size() * sizeof(Float3)});
    upload.texCoordSpans.push_back({texCoords.data(), texCoords.size() * sizeof(Float2)});
    nbVertices += vertices.size();
  }
  if (nbVertices == 0) return;

  std::unique_ptr<Buffer> buffer(new Buffer);
  buffer->nbVertices = (int)nbVertices;
  buffer->textureId = texture;
  buffer->isQuads = isQuads;
  if (vboSupported) {
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
  nbVerticesTotal += (int)nbVertices;
  buffers.push_back(std::move(buffer));
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

void VBO::draw(Pass pass) const {
  const auto first = buffers.begin() + (pass == Pass::drawnLast ? (std::ptrdiff_t)nbUnmarkedBuffers : 0);
  const auto end = pass == Pass::unmarked ? buffers.begin() + (std::ptrdiff_t)nbUnmarkedBuffers : buffers.end();
  // Most buffers have a texture without alpha: when the state makes their fragments opaque,
  // they are drawn without blending and alpha test, which gives the same pixels for less work;
  // the others keep the state they were given.
  Scene3D* scene = GLManager::getScene3D();
  const bool wasBlending = glIsEnabled(GL_BLEND) == GL_TRUE;
  const bool wasAlphaTesting = glIsEnabled(GL_ALPHA_TEST) == GL_TRUE;
  const bool isOpaqueDraw = first != end && scene != nullptr && scene->beginOpaqueDraw(true);
  bool isOpaqueNow = isOpaqueDraw;
  for (auto it = first; it != end; ++it) {
    assert((*it) != NULL);
    const bool isOpaqueBuffer = isOpaqueDraw && isTextureWithoutAlpha((*it)->textureId);
    if (isOpaqueBuffer != isOpaqueNow) {
      setEnabled(GL_BLEND, !isOpaqueBuffer && wasBlending);
      setEnabled(GL_ALPHA_TEST, !isOpaqueBuffer && wasAlphaTesting);
      isOpaqueNow = isOpaqueBuffer;
    }
    drawBuffer(**it);
  }
  Scene3D::endOpaqueDraw(isOpaqueDraw);
}

void VBO::drawBuffer(const Buffer& buffer) {
  if (!vboSupported) return;
  // Fog coordinates only where this buffer has them: an empty pointer at offset 0 would be
  // read from client memory.
  const bool withFog = Fog::useVolumetricFog && fogCoordPointer != nullptr && buffer.vboFogCoords != 0;
  glEnableClientState(GL_VERTEX_ARRAY);
  glEnableClientState(GL_TEXTURE_COORD_ARRAY);
  if (withFog) glEnableClientState(GL_FOG_COORDINATE_ARRAY);

  bindBuffer(GL_ARRAY_BUFFER_ARB, buffer.vboVertices);
  glVertexPointer(3, GL_FLOAT, 0, nullptr);
  bindBuffer(GL_ARRAY_BUFFER_ARB, buffer.vboTexCoords);
  glTexCoordPointer(2, GL_FLOAT, 0, nullptr);
  if (withFog) {
    bindBuffer(GL_ARRAY_BUFFER_ARB, buffer.vboFogCoords);
    fogCoordPointer(GL_FLOAT, 0, nullptr);
  }

  glBindTexture(GL_TEXTURE_2D, (GLuint)buffer.textureId);
  glDrawArrays(buffer.isQuads ? GL_QUADS : GL_TRIANGLES, 0, buffer.nbVertices);

  if (withFog) glDisableClientState(GL_FOG_COORDINATE_ARRAY);
  glDisableClientState(GL_TEXTURE_COORD_ARRAY);
  glDisableClientState(GL_VERTEX_ARRAY);
  bindBuffer(GL_ARRAY_BUFFER_ARB, 0);
}

void VBO::deleteBuffer(Buffer& buffer) {
  if (!vboSupported) return;
  deleteArray(buffer.vboVertices);
  deleteArray(buffer.vboTexCoords);
  deleteArray(buffer.vboFogCoords);  // made only with volumetric fog, 0 otherwise
  bindBuffer(GL_ARRAY_BUFFER_ARB, 0);
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
