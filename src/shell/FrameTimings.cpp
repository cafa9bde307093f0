#include "shell/FrameTimings.h"

void FrameTimings::print(std::ostream& out) const {
  const float fps = period > 0 ? 1000000.f / static_cast<float>(period) : 0.f;
  out << "Total: " << period << "\n"
      << "FPS: " << fps << "\n"
      << "Time swap buffers:" << swapBuffers << "\n"
      << "Time events:" << events << "\n"
      << "Time draw3D:" << draw3D << "\n"
      << "Time draw3D lua:" << draw3DLua << "\n"
      << "Time draw2D:" << draw2D << "\n"
      << "Time draw2D lua:" << draw2DLua << "\n"
      << "Time manage:" << manage << "\n"
      << "Time manage lua:" << manageLua << "\n"
      << std::endl;
}
