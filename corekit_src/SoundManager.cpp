#include "SoundManager.h"

#include <AL/alut.h>

#include <vector>

#include "Sound_OpenAL.h"
#include "Assert.h"

SoundManager::SoundManager(const std::string& programPath) {
  std::vector<char> path(programPath.begin(), programPath.end());
  path.push_back('\0');
  char* arguments[] = {path.data(), nullptr};
  int argumentCount = 1;
  const ALboolean ret = alutInit(&argumentCount, arguments);
  assert(ret == AL_TRUE, std::string("alutInit: ") + alutGetErrorString(alutGetError()));
}

SoundManager::~SoundManager() {
  sounds.clear();
  alutExit();
}

Sound_Abstract* SoundManager::getSound(const std::string& fileName) {
  std::unique_ptr<Sound_Abstract>& sound = sounds[fileName];
  if (!sound) sound = Sound_OpenAL::loadSound(fileName);
  return sound.get();
}
