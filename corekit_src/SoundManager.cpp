#include "SoundManager.h"

#include <AL/alut.h>

#include <vector>

#include "Sound_OpenAL.h"
#include "Sound_Silent.h"
#include "Assert.h"

SoundManager::SoundManager(const std::string& programPath) {
  std::vector<char> path(programPath.begin(), programPath.end());
  path.push_back('\0');
  char* arguments[] = {path.data(), nullptr};
  int argumentCount = 1;
  // A server, a virtual machine or a desk whose device is taken has no sound to give: the
  // game still runs, silent.
  isSoundOn = alutInit(&argumentCount, arguments) == AL_TRUE;
  if (!isSoundOn)
    showProblem(std::string("Sound is off: no usable audio device (alutInit: ") +
                alutGetErrorString(alutGetError()) + ")");
}

SoundManager::~SoundManager() {
  sounds.clear();
  if (isSoundOn) alutExit();
}

Sound_Abstract* SoundManager::getSound(const std::string& fileName) {
  std::unique_ptr<Sound_Abstract>& sound = sounds[fileName];
  if (!sound) {
    if (isSoundOn)
      sound = Sound_OpenAL::loadSound(fileName);
    else
      sound = std::make_unique<Sound_Silent>();
  }
  return sound.get();
}
