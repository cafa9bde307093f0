#ifndef TESTS_WORLDTESTHELPERS_H
#define TESTS_WORLDTESTHELPERS_H

#include <cstdlib>
#include <string>

#include "meshing/CubesTable.h"
#include "DeviceManager.h"
#include "GLTestWindow.h"
#include "SoundManager.h"

// Shared set-up of the world scene and player tests.

/// The sound system of the test process, kept to the end (one may exist at a time). The
/// machine has no sound card: OpenAL mixes into its null output.
inline SoundManager* testSoundSystem() {
  static SoundManager* sound = [] {
    setenv("ALSOFT_DRIVERS", "null", 1);
    return new SoundManager("WorldTest");
  }();
  return sound;
}

/// The sample game's configuration (tests run in the game directory), the cube edge it names
/// and the window; returns the configuration to adjust.
inline XMLSimple& loadSampleConfiguration() {
  XMLSimple& config = GLTestWindow::get()->getConfig();
  config.load("world.xml");
  CubesTable::setSizeOneCube(static_cast<float>(config.getDouble("size_one_cube")));
  return config;
}

#endif
