#include "DeviceManager.h"

#include "Assert.h"

DeviceManager* DeviceManager::deviceManager = nullptr;

DeviceManager::DeviceManager(const std::string& programName, const std::string& title, int width,
                             int height, bool fullscreen, bool isMultisampled) {
  // The configuration store, a member, exists before the window is opened.
  initialise(programName, title, width, height, fullscreen, isMultisampled);
}

DeviceManager* DeviceManager::createInstance(const std::string& programName,
                                             const std::string& title, int width, int height,
                                             bool fullscreen, bool isMultisampled) {
  assert(deviceManager == NULL);
  deviceManager = new DeviceManager(programName, title, width, height, fullscreen, isMultisampled);
  return deviceManager;
}

void DeviceManager::destroyInstance() {
  assert(deviceManager != NULL);
  delete deviceManager;
  deviceManager = NULL;
}
