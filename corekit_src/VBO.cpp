#include "VBO.h"

#include <GL/glew.h>

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
    fogCoordPointer = glFogCoordPointer;
    vboSupported = genBuffers != nullptr && bindBuffer != nullptr && bufferData != nullptr &&
                   deleteBuffers != nullptr;
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

MeshGroup& VBO::getGroup(int texture) { return groups[texture]; }

std::pair<int, int> VBO::finish() {
  for (int pass = 0; pass < 2; ++pass) {
    const bool drawnLast = pass == 1;
    for (const auto& entry : groups)
      if (entry.second.drawnLast == drawnLast) uploadGroup(entry.first, entry.second);
  }
  return std::make_pair((int)buffers.size(), nbVerticesTotal);
}

void VBO::uploadGroup(int texture, const MeshGroup& group) {
  const std::vector<Float3>& verticesQuadVect = group.verticesQuadVect;
  const std::vector<Float2>& texCoordQuadVect = group.texCoordQuadVect;
  const std::vector<Float3>& verticesTriVect = group.verticesTriVect;
  const std::vector<Float2>& texCoordTriVect = group.texCoordTriVect;
  assert(verticesQuadVect.size() == texCoordQuadVect.size());
  if (!verticesQuadVect.empty()) {
    std::unique_ptr<Buffer> vbo = createBuffer(texture, true, verticesQuadVect, texCoordQuadVect);
    assert(vbo != NULL);
    buffers.push_back(std::move(vbo));
  }
  assert(verticesTriVect.size() == texCoordTriVect.size());
  if (!verticesTriVect.empty()) {
    std::unique_ptr<Buffer> vbo = createBuffer(texture, false, verticesTriVect, texCoordTriVect);
    assert(vbo != NULL);
    buffers.push_back(std::move(vbo));
  }
  nbVerticesTotal += (int)(verticesQuadVect.size() + verticesTriVect.size());
}

std::unique_ptr<VBO::Buffer> VBO::createBuffer(int texture, bool isQuads, const std::vector<Float3>& vertices,
                                               const std::vector<Float2>& texCoords) {
  std::unique_ptr<Buffer> buffer(new Buffer);
  buffer->nbVertices = (int)vertices.size();
  buffer->textureId = texture;
  buffer->isQuads = isQuads;
  if (!vboSupported) return buffer;
  buffer->vboVertices = uploadArray(vertices.data(), vertices.size() * sizeof(Float3));
  buffer->vboTexCoords = uploadArray(texCoords.data(), texCoords.size() * sizeof(Float2));
  if (Fog::useVolumetricFog) {
    const std::vector<float> fogCoords =
        Fog::computeFogCoordinates(buffer->nbVertices, reinterpret_cast<const float*>(vertices.data()));
    buffer->vboFogCoords = uploadArray(fogCoords.data(), fogCoords.size() * sizeof(float));
  }
  bindBuffer(GL_ARRAY_BUFFER_ARB, 0);
  return buffer;
}

void VBO::draw() const {
  // Most buffers have a texture without alpha: when the state makes their fragments opaque,
  // they are drawn without blending and alpha test, which gives the same pixels for less work;
  // the others keep the state they were given.
  Scene3D* scene = GLManager::getScene3D();
  const bool wasBlending = glIsEnabled(GL_BLEND) == GL_TRUE;
  const bool wasAlphaTesting = glIsEnabled(GL_ALPHA_TEST) == GL_TRUE;
  const bool isOpaqueDraw = !buffers.empty() && scene != nullptr && scene->beginOpaqueDraw(true);
  bool isOpaqueNow = isOpaqueDraw;
  for (auto it = buffers.begin(); it != buffers.end(); ++it) {
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
  groups.clear();
  nbVerticesTotal = 0;
}
