#ifndef COREKIT_VBODRAWPASS_H
#define COREKIT_VBODRAWPASS_H

#include <utility>
#include <vector>

#include "BasicVector.h"
#include "Frustum.h"
#include "VBO.h"

/// The drawing of many meshes in a row with the state they share set once: begin() enables
/// the arrays and, when the state lets fragments of textures without alpha come out opaque
/// (Scene3D::beginOpaqueDraw), turns blending and alpha test off for their buffers and back on
/// for the others; draw() then only binds what changes from one buffer to the next, and leaves
/// out the runs of a buffer (FacingRuns) that lie outside the view or face away from the eye
/// (found from the modelview and projection at begin(); facing only when back faces are culled
/// under a plain perspective); end() puts the state back. The buffers of drawnLast groups (laid
/// on faces drawn before them, as shadows are) are drawn with a polygon offset toward the eye,
/// so that they show over those faces however far away. Nothing else may change the GL state between begin() and end().
/// A pass begun with `batchShared` holds back the meshes whose buffers all lie in an arena's
/// shared blocks and draws them at end(), one call per texture and block, each call's ranges
/// in the order they came: only for meshes whose drawing order between textures does not matter (opaque
/// faces under the depth test).
/// Owners reuse one pass from frame to frame (its lists keep their room).
class VBODrawPass {
 public:
  VBODrawPass() = default;
  VBODrawPass(const VBODrawPass&) = delete;
  VBODrawPass& operator=(const VBODrawPass&) = delete;

  void begin(bool batchShared = false);
  /// Draws the buffers of `pass` of `vbo` in upload order.
  void draw(const VBO& vbo, VBO::Pass pass);
  void end();

  /// Whether this pass leaves out the runs facing away, and from which eye (valid after begin()).
  bool getMayLeaveOut() const { return mayLeaveOut; }
  const Float3& getEye() const { return eye; }

 private:
  /// Draws the buffer, or holds it back for drawBatches.
  void drawBuffer(const VBO::Buffer& buffer, bool isHeld);
  /// Whether the run can draw nothing: outside the view, or facing away.
  bool isLeftOut(const FacingRuns::Run& run) const;
  float squaredDistanceToBox(const FacingRuns::Run& run) const;
  /// Sets blending and alpha test for a buffer of that texture, and binds it.
  void useTexture(int texture);
  /// Binds the arrays of a buffer (positions, texture and fog coordinates) for drawing.
  void setArrays(unsigned int vertices, unsigned int texCoords, size_t texCoordOffset, unsigned int fogCoords,
                 size_t fogOffset);
  static void drawRanges(bool isQuads, const int* firsts, const int* counts, int nbRanges);
  /// Draws the held-back shared buffers.
  void drawBatches();
  /// Whether the texture has no alpha channel (known from an earlier buffer of the pass, or
  /// asked of the GL with the texture bound).
  bool isTextureWithoutAlpha(int texture);
  void bindTexture(int texture);
  /// The polygon offset of drawnLast buffers, switched only when it changes (off at end()).
  void setOffset(bool on);
  /// From the current matrices and culling: the view, whether runs facing away may be left out,
  /// and the eye in the meshes' coordinates.
  void findEye();

  bool isBegun = false;
  bool isBatching = false;
  bool wasBlending = false;
  bool wasAlphaTesting = false;
  bool isOpaqueDraw = false;
  bool isOpaqueNow = false;
  bool isFogArrayOn = false;
  bool isOffsetOn = false;
  bool mayLeaveOut = false;
  Float3 eye;
  Frustum viewFrustum;
  /// The texture the pass bound last, -1 before the first.
  int boundTexture = -1;
  /// (texture, without alpha) of the textures met in this pass.
  std::vector<std::pair<int, bool>> textureOpacity;
  /// The held-back shared buffers, and the vertex ranges they draw (in `firsts` and `counts`
  /// from their `from`, `nbRanges` of them).
  struct Held {
    const VBO::Buffer* buffer;
    int from;
    int nbRanges;
  };
  std::vector<Held> held;
  std::vector<int> firsts;
  std::vector<int> counts;
  /// (squared distance to the eye, run) of the runs of a mesh drawn nearest first.
  std::vector<std::pair<float, size_t>> nearestFirst;
  std::vector<int> rangeFirsts;
  std::vector<int> rangeCounts;
  std::vector<int> batchFirsts;
  std::vector<int> batchCounts;
};

#endif
