#ifndef ENGINE_FRAMETIMINGS_H
#define ENGINE_FRAMETIMINGS_H

#include <cstdint>
#include <ostream>

/// Where one frame's time went, in microseconds, as the '*' key report shows it.
class FrameTimings {
 public:
  int64_t period = 0;
  int64_t swapBuffers = 0;
  int64_t events = 0;
  int64_t draw3D = 0;
  int64_t draw3DLua = 0;
  int64_t draw2D = 0;
  int64_t draw2DLua = 0;
  int64_t manage = 0;
  int64_t manageLua = 0;

  /// One block: "Total: ", "FPS: ", then each phase, one item per line, and an empty line.
  void print(std::ostream& out) const;
};

#endif
