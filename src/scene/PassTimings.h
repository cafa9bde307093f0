#ifndef ENGINE_PASSTIMINGS_H
#define ENGINE_PASSTIMINGS_H

#include <cstdint>
#include <ostream>
#include <vector>

/// What each drawing pass of a frame costs, for finding where the renderer's time goes. Off
/// unless the environment variable ENGINE_PASS_TIMINGS is set (not empty): then every pass
/// waits for the GL to finish its work (glFinish) before its time is taken, so that a pass's
/// figure is its own rendering and not work the driver deferred to a later pass or to the
/// buffer swap; the frames run slower as a whole. Each pass gets its wall time and the
/// processor time of the whole process (the software renderer's threads included), which a
/// busy machine disturbs far less. At program end the medians of each pass are printed.
class PassTimings {
 public:
  enum Pass {
    manage,     ///< events, world and script manage steps (up to the screen clear)
    clear,      ///< the screen clear
    skybox,
    regions,    ///< the regions and the objects they draw
    player,
    water,      ///< the editor's 3D drawing and the water
    script3D,   ///< Game.draw3D
    overlay2D,  ///< the 2D set-up and the under-water tint
    script2D,   ///< Game.draw2D, what it scheduled, the editor's overlay and the menus
    swap,       ///< the buffer swap of the frame step
    nbPasses
  };

  /// Enabled when ENGINE_PASS_TIMINGS is set.
  PassTimings();
  explicit PassTimings(bool parIsEnabled) : isEnabled(parIsEnabled) {}

  bool getIsEnabled() const { return isEnabled; }
  /// Starts the clocks of the first pass of a frame without charging any pass.
  void start();
  /// The time since the last mark (or since start()) goes to `pass`, once the GL is idle.
  void endPass(Pass pass);
  /// The time since the last mark is added to the last time charged to `pass` (a pass drawn in
  /// two parts with another between them); charged as endPass when it has none yet.
  void continuePass(Pass pass);
  /// Charges already measured times to `pass` (the swap, timed by the frame step).
  void add(Pass pass, int64_t wallMicroseconds, int64_t cpuMicroseconds);
  size_t getNbSamples(Pass pass) const { return wallTimes[pass].size(); }
  /// Medians of the times charged to `pass`, microseconds (0 without any).
  int64_t getMedianWall(Pass pass) const { return median(wallTimes[pass]); }
  int64_t getMedianCpu(Pass pass) const { return median(cpuTimes[pass]); }
  /// "Pass timings over N frames (...)" then "  name: wall / processor" per pass.
  void print(std::ostream& out) const;

  static const char* getName(Pass pass);

 private:
  static int64_t median(const std::vector<int64_t>& samples);

  bool isEnabled = false;
  int64_t lastWall = 0;
  int64_t lastCpu = 0;
  std::vector<int64_t> wallTimes[nbPasses];
  std::vector<int64_t> cpuTimes[nbPasses];
};

#endif
