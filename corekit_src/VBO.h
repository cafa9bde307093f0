#ifndef COREKIT_VBO_H
#define COREKIT_VBO_H

#include <cstddef>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

#include "BasicVector.h"
#include "FacingRuns.h"
#include "MeshGroup.h"
#include "VBOArena.h"

/// The drawable mesh of one region: mesh groups merged by texture, uploaded into vertex
/// buffer objects at finish, then drawn with one draw call per (texture, primitive kind).
/// Created, filled, finished once, drawn every frame and destroyed by its region.
class VBO {
 public:
  /// One uploaded draw call. The GL buffer names are 0 when nothing was uploaded (no
  /// vertex buffer support); the count, texture and kind are kept in any case.
  struct Buffer {
    unsigned int vboVertices = 0;
    unsigned int vboTexCoords = 0;
    unsigned int vboFogCoords = 0;
    /// Byte offsets of the texture and fog coordinates in their GL buffers (0 in a buffer of
    /// its own; a shared one holds them after the positions of the whole block).
    size_t texCoordOffset = 0;
    size_t fogOffset = 0;
    /// The range of an arena's block this buffer lies in (its runs count from its first
    /// vertex); a name of 0 when the buffer has GL buffers of its own.
    VBOArena::Range shared;
    int nbVertices = 0;
    int textureId = -1;
    bool isQuads = true;
    /// Where the quads facing each way, in each place, lie (the quads of the unmarked groups are
    /// uploaded run by run; triangles and the drawnLast groups are one run of any direction
    /// and unbounded, in upload order).
    FacingRuns runs;
  };

  /// Runs task(context, part) for every part in [0, nbParts) and returns when all are done,
  /// on several threads at once when it can.
  using PartRunner = std::function<void(void (*task)(void* context, int part), void* context, int nbParts)>;

  /// Small buffers are put in `arena`'s shared blocks when one is given.
  explicit VBO(std::shared_ptr<VBOArena> parArena = nullptr);
  /// Deletes the GL buffers (see destroy).
  ~VBO();
  VBO(const VBO&) = delete;
  VBO& operator=(const VBO&) = delete;

  /// Process-wide, once the GL context exists and GLEW is initialised (window creation):
  /// tests the extension and takes its entry points; prints the error line when missing.
  static void initVBO();
  /// Whether the extension was found by initVBO (false before it ran).
  static bool isVBOSupported();
  /// True when `name` occurs in the blank-separated `extensions` as a whole word.
  static bool isExtensionInString(const char* extensions, const char* name);

  /// Appends the four lists to the group of that texture, created empty if absent.
  void addGroup(int texture, const std::vector<Float3>& verticesQuad,
                const std::vector<Float2>& texCoordQuad, const std::vector<Float3>& verticesTri,
                const std::vector<Float2>& texCoordTri);
  /// Appends a whole group (its drawnLast flag is not carried over).
  void addGroup(int texture, const MeshGroup& group);
  /// The same, taking the lists over instead of copying them when that group is still empty.
  void addGroup(int texture, MeshGroup&& group);
  /// Appends a mesh made in parts: this part's lists go after everything added so far, texture
  /// by texture, as addGroup would put them, but they are kept apart and copied only once,
  /// straight into the buffers at finish (a merged copy would cost as much as the upload).
  void addPart(MeshGroupMap&& part);
  /// The group of that texture, created empty if absent (used to set drawnLast: a texture is
  /// drawn last when this group is marked).
  MeshGroup& getGroup(int texture);
  /// The groups filled by addGroup (without the parts added by addPart).
  const MeshGroupMap& getGroups() const { return groups; }

  /// Uploads the groups (unmarked ones first, then the drawnLast ones, each pass in
  /// ascending texture order) and answers (number of buffers, total vertices). The quads of an
  /// unmarked group's buffer are laid out by the side they face (see FacingRuns), each run
  /// keeping the order the groups gave. The copies of a mesh added in parts are shared out
  /// through runParts when given.
  std::pair<int, int> finish(const PartRunner& runParts = nullptr);
  /// The buffers a draw draws: all, those of the unmarked groups, or those of the drawnLast
  /// groups (drawing the first two passes apart is drawing all).
  enum class Pass { all, unmarked, drawnLast };
  /// Draws the buffers of `pass` in upload order, as one VBODrawPass would (which see).
  void draw(Pass pass = Pass::all) const;
  /// The buffers of `pass`: [first, end) of getBuffers().
  std::pair<size_t, size_t> getPassBuffers(Pass pass) const;
  /// Deletes every GL buffer and forgets the buffers and the groups.
  void destroy();

  const std::vector<std::unique_ptr<Buffer>>& getBuffers() const { return buffers; }
  int getNbVerticesTotal() const { return nbVerticesTotal; }

 private:
  struct Upload;
  /// The buffer of one texture and kind (quads or triangles), from every group that has it;
  /// quads laid out by facing when `byFacing`.
  void uploadKind(int texture, bool isQuads, bool byFacing, Upload& upload);
  /// Empties the upload's runs and sets its grid for the quads of `texture`.
  static void prepareFacing(int texture, Upload& upload);
  /// Lists the quads of `vertices` into the upload's runs.
  static void listByFacing(const std::vector<Float3>& vertices, const std::vector<Float2>& texCoords, Upload& upload);
  static unsigned int uploadSpans(bool isVertices, size_t bytes, Upload& upload);
  static void copyPart(void* upload, int part);
  void deleteBuffer(Buffer& buffer);

  /// Puts the upload's spans in a range of the arena.
  void uploadShared(Buffer& buffer, Upload& upload);

  std::shared_ptr<VBOArena> arena;
  MeshGroupMap groups;
  std::vector<MeshGroupMap> laterParts;
  std::vector<std::unique_ptr<Buffer>> buffers;
  /// The buffers of the unmarked groups come first in `buffers`.
  size_t nbUnmarkedBuffers = 0;
  int nbVerticesTotal = 0;

  static bool vboSupported;
};

#endif
