#include "VBODrawPass.h"

#include <GL/glew.h>

#include <algorithm>
#include <cmath>

#include "Fog.h"
#include "GLManager.h"
#include "Scene3D.h"
#include "SpriteManager.h"
#include "Assert.h"

namespace {

void setEnabled(GLenum capability, bool isEnabled) {
  if (isEnabled)
    glEnable(capability);
  else
    glDisable(capability);
}

}  // namespace

void VBODrawPass::begin(bool batchShared) {
  assert(!isBegun, "VBODrawPass::begin: the pass is already begun");
  isBegun = true;
  isBatching = batchShared;
  held.clear();
  firsts.clear();
  counts.clear();
  textureOpacity.clear();
  boundTexture = -1;
  isFogArrayOn = false;
  isOffsetOn = false;
  wasBlending = glIsEnabled(GL_BLEND) == GL_TRUE;
  wasAlphaTesting = glIsEnabled(GL_ALPHA_TEST) == GL_TRUE;
  // Most buffers have a texture without alpha: when the state makes their fragments opaque,
  // they are drawn without blending and alpha test, which gives the same pixels for less work;
  // the others keep the state they were given.
  Scene3D* scene = GLManager::getScene3D();
  isOpaqueDraw = VBO::isVBOSupported() && scene != nullptr && scene->beginOpaqueDraw(true);
  isOpaqueNow = isOpaqueDraw;
  findEye();
  if (!VBO::isVBOSupported()) return;
  glEnableClientState(GL_VERTEX_ARRAY);
  glEnableClientState(GL_TEXTURE_COORD_ARRAY);
}

void VBODrawPass::end() {
  assert(isBegun, "VBODrawPass::end: the pass was not begun");
  isBegun = false;
  if (VBO::isVBOSupported()) {
    setOffset(false);
    drawBatches();
    if (isFogArrayOn) glDisableClientState(GL_FOG_COORDINATE_ARRAY);
    glDisableClientState(GL_TEXTURE_COORD_ARRAY);
    glDisableClientState(GL_VERTEX_ARRAY);
    glBindBufferARB(GL_ARRAY_BUFFER_ARB, 0);
  }
  Scene3D::endOpaqueDraw(isOpaqueDraw);
}

void VBODrawPass::draw(const VBO& vbo, VBO::Pass pass) {
  assert(isBegun, "VBODrawPass::draw: the pass was not begun");
  if (!VBO::isVBOSupported()) return;
  const std::pair<size_t, size_t> range = vbo.getPassBuffers(pass);
  // The drawnLast buffers lie on faces drawn before them (the shadows of far regions float
  // 0.1 in front): pulled toward the eye in depth, they show over those faces at any distance,
  // also where the depth buffer can no longer tell the two planes apart.
  const size_t firstDrawnLast = vbo.getPassBuffers(VBO::Pass::drawnLast).first;
  const bool hasDrawnLast = range.first <= firstDrawnLast && firstDrawnLast < range.second;
  // A mesh is held back whole or not at all, so that its textures keep their order between
  // them (faces of two textures in one plane show the one drawn first).
  bool isHeld = isBatching && !hasDrawnLast;
  for (size_t i = range.first; i < range.second && isHeld; ++i) isHeld = vbo.getBuffers()[i]->shared.name != 0;
  for (size_t i = range.first; i < range.second; ++i) {
    assert(vbo.getBuffers()[i] != NULL);
    setOffset(i >= firstDrawnLast);
    drawBuffer(*vbo.getBuffers()[i], isHeld);
  }
}

void VBODrawPass::setOffset(bool on) {
  if (on == isOffsetOn) return;
  isOffsetOn = on;
  if (!on) {
    glDisable(GL_POLYGON_OFFSET_FILL);
    return;
  }
  // Two depth slopes: the software renderer still lets one through in stripes on surfaces seen
  // at a slant, and makes little of the constant part.
  glPolygonOffset(-2.f, -2.f);
  glEnable(GL_POLYGON_OFFSET_FILL);
}

void VBODrawPass::drawBuffer(const VBO::Buffer& buffer, bool isHeld) {
  // The runs to draw, joined where they touch; in a pass of opaque faces, a mesh drawn on its
  // own draws its runs nearest first, so that the depth test rejects what they hide before it
  // is shaded.
  rangeFirsts.clear();
  rangeCounts.clear();
  nearestFirst.clear();
  const bool byDistance = isBatching && !isHeld && mayLeaveOut && buffer.runs.size() > 1;
  for (size_t r = 0; r < buffer.runs.size(); ++r) {
    const FacingRuns::Run& run = buffer.runs[r];
    if (run.count == 0 || isLeftOut(run)) continue;
    if (byDistance) {
      nearestFirst.push_back(std::make_pair(squaredDistanceToBox(run), r));
      continue;
    }
    if (!rangeFirsts.empty() && rangeFirsts.back() + rangeCounts.back() == run.first) {
      rangeCounts.back() += run.count;
    } else {
      rangeFirsts.push_back(run.first);
      rangeCounts.push_back(run.count);
    }
  }
  if (byDistance) {
    std::sort(nearestFirst.begin(), nearestFirst.end());
    for (const std::pair<float, size_t>& entry : nearestFirst) {
      rangeFirsts.push_back(buffer.runs[entry.second].first);
      rangeCounts.push_back(buffer.runs[entry.second].count);
    }
  }
  if (rangeFirsts.empty()) return;
  const int nbRanges = (int)rangeFirsts.size();
  if (isHeld) {
    held.push_back(Held{&buffer, (int)firsts.size(), nbRanges});
    firsts.insert(firsts.end(), rangeFirsts.begin(), rangeFirsts.end());
    counts.insert(counts.end(), rangeCounts.begin(), rangeCounts.end());
    return;
  }
  useTexture(buffer.textureId);
  setArrays(buffer.vboVertices, buffer.vboTexCoords, buffer.texCoordOffset, buffer.vboFogCoords, buffer.fogOffset);
  drawRanges(buffer.isQuads, rangeFirsts.data(), rangeCounts.data(), nbRanges);
}

float VBODrawPass::squaredDistanceToBox(const FacingRuns::Run& run) const {
  float squared = 0.f;
  for (int a = 0; a < 3; ++a) {
    const float gap = std::max({0.f, run.low[a] - eye[a], eye[a] - run.high[a]});
    squared += gap * gap;
  }
  return squared;
}

bool VBODrawPass::isLeftOut(const FacingRuns::Run& run) const {
  if (!run.isBounded) return false;
  if (mayLeaveOut && FacingRuns::isFacingAway(run, eye)) return true;
  // Widened a little, so that rounding never takes away a face on the edge of the view.
  Float3 low = run.low, high = run.high;
  for (int a = 0; a < 3; ++a) {
    const float pad = 1e-4f * (std::fabs(low[a]) + std::fabs(high[a]) + 1.f);
    low[a] -= pad;
    high[a] += pad;
  }
  return viewFrustum.isBoxOutside(low, high);
}

void VBODrawPass::drawBatches() {
  if (held.empty()) return;
  // By texture, block and kind; in the order they came within each (their ranges were listed
  // in that order: a plain sort on it too needs no room of its own, unlike a stable sort).
  std::sort(held.begin(), held.end(), [](const Held& a, const Held& b) {
    const VBO::Buffer& x = *a.buffer;
    const VBO::Buffer& y = *b.buffer;
    if (x.textureId != y.textureId) return x.textureId < y.textureId;
    if (x.shared.name != y.shared.name) return x.shared.name < y.shared.name;
    if (x.isQuads != y.isQuads) return x.isQuads;
    return a.from < b.from;
  });
  for (size_t i = 0; i < held.size();) {
    const VBO::Buffer& first = *held[i].buffer;
    batchFirsts.clear();
    batchCounts.clear();
    size_t j = i;
    for (; j < held.size(); ++j) {
      const VBO::Buffer& next = *held[j].buffer;
      if (next.textureId != first.textureId || next.shared.name != first.shared.name || next.isQuads != first.isQuads)
        break;
      batchFirsts.insert(batchFirsts.end(), firsts.begin() + held[j].from, firsts.begin() + held[j].from + held[j].nbRanges);
      batchCounts.insert(batchCounts.end(), counts.begin() + held[j].from, counts.begin() + held[j].from + held[j].nbRanges);
    }
    useTexture(first.textureId);
    setArrays(first.vboVertices, first.vboTexCoords, first.texCoordOffset, first.vboFogCoords, first.fogOffset);
    drawRanges(first.isQuads, batchFirsts.data(), batchCounts.data(), (int)batchFirsts.size());
    i = j;
  }
  held.clear();
}

void VBODrawPass::useTexture(int texture) {
  const bool isOpaqueBuffer = isOpaqueDraw && isTextureWithoutAlpha(texture);
  if (isOpaqueBuffer != isOpaqueNow) {
    setEnabled(GL_BLEND, !isOpaqueBuffer && wasBlending);
    setEnabled(GL_ALPHA_TEST, !isOpaqueBuffer && wasAlphaTesting);
    isOpaqueNow = isOpaqueBuffer;
  }
  bindTexture(texture);
}

void VBODrawPass::setArrays(unsigned int vertices, unsigned int texCoords, size_t texCoordOffset,
                            unsigned int fogCoords, size_t fogOffset) {
  glBindBufferARB(GL_ARRAY_BUFFER_ARB, vertices);
  glVertexPointer(3, GL_FLOAT, 0, nullptr);
  glBindBufferARB(GL_ARRAY_BUFFER_ARB, texCoords);
  glTexCoordPointer(2, GL_FLOAT, 0, reinterpret_cast<const void*>(texCoordOffset));
  // Fog coordinates only where this buffer has them: an empty pointer at offset 0 would be
  // read from client memory.
  const bool withFog = Fog::useVolumetricFog && glFogCoordPointer != nullptr && fogCoords != 0;
  if (withFog != isFogArrayOn) {
    if (withFog)
      glEnableClientState(GL_FOG_COORDINATE_ARRAY);
    else
      glDisableClientState(GL_FOG_COORDINATE_ARRAY);
    isFogArrayOn = withFog;
  }
  if (withFog) {
    glBindBufferARB(GL_ARRAY_BUFFER_ARB, fogCoords);
    glFogCoordPointer(GL_FLOAT, 0, reinterpret_cast<const void*>(fogOffset));
  }
}

void VBODrawPass::drawRanges(bool isQuads, const int* rangeFirsts, const int* rangeCounts, int nbRanges) {
  const GLenum mode = isQuads ? GL_QUADS : GL_TRIANGLES;
  if (nbRanges == 1 || glMultiDrawArrays == nullptr) {
    for (int i = 0; i < nbRanges; ++i) glDrawArrays(mode, rangeFirsts[i], rangeCounts[i]);
  } else {
    glMultiDrawArrays(mode, rangeFirsts, rangeCounts, nbRanges);
  }
}

bool VBODrawPass::isTextureWithoutAlpha(int texture) {
  for (const std::pair<int, bool>& known : textureOpacity)
    if (known.first == texture) return known.second;
  const bool isWithoutAlpha = SpriteManager::isTextureWithoutAlpha(texture);
  boundTexture = texture;
  textureOpacity.push_back(std::make_pair(texture, isWithoutAlpha));
  return isWithoutAlpha;
}

void VBODrawPass::bindTexture(int texture) {
  if (texture == boundTexture) return;
  glBindTexture(GL_TEXTURE_2D, (GLuint)texture);
  boundTexture = texture;
}

void VBODrawPass::findEye() {
  mayLeaveOut = false;
  GLfloat p[16], m[16];
  glGetFloatv(GL_PROJECTION_MATRIX, p);
  glGetFloatv(GL_MODELVIEW_MATRIX, m);
  viewFrustum = Frustum(p, m);
  GLint cullMode = 0, frontFace = 0;
  glGetIntegerv(GL_CULL_FACE_MODE, &cullMode);
  glGetIntegerv(GL_FRONT_FACE, &frontFace);
  if (glIsEnabled(GL_CULL_FACE) != GL_TRUE || cullMode != GL_BACK || frontFace != GL_CCW) return;
  // Under a perspective with the eye at the origin (w = -z) and no mirroring, a face is front
  // facing on the screen exactly when the eye lies on its counter-clockwise side; with any
  // other projection no run is left out for its facing.
  if (!(p[3] == 0.f && p[7] == 0.f && p[15] == 0.f && p[11] < 0.f && p[0] * p[5] > 0.f)) return;
  if (!(m[3] == 0.f && m[7] == 0.f && m[11] == 0.f && m[15] == 1.f)) return;
  // The modelview is R x + t (column major); the eye is R^-1 (-t), R inverted by cofactors.
  const float a = m[0], b = m[4], c = m[8], d = m[1], e = m[5], f = m[9], g = m[2], h = m[6], i = m[10];
  const float det = a * (e * i - f * h) - b * (d * i - f * g) + c * (d * h - e * g);
  if (!(det > 0.f)) return;
  const float tx = -m[12], ty = -m[13], tz = -m[14];
  eye = Float3(((e * i - f * h) * tx + (c * h - b * i) * ty + (b * f - c * e) * tz) / det,
               ((f * g - d * i) * tx + (a * i - c * g) * ty + (c * d - a * f) * tz) / det,
               ((d * h - e * g) * tx + (b * g - a * h) * ty + (a * e - b * d) * tz) / det);
  mayLeaveOut = isFinite(eye);
}
