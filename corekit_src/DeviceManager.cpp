#include "DeviceManager.h"

#include "Assert.h"

DeviceManager* DeviceManager::deviceManager = nullptr;

DeviceManager::DeviceManager(const std::string& programName, const std::string& title, int width,
                             int height, bool fullscreen, const std::string& configFile) {
  // The configuration store, a member, is filled before the window is opened.
  if (!configFile.empty()) config.load(configFile);
  initialise(programName, title, width, height, fullscreen, !config.getBool("disable_multisampling"));
}

DeviceManager* DeviceManager::createInstance(const std::string& programName,
                                             const std::string& title, int width, int height,
                                             bool fullscreen, const std::string& configFile) {
  assert(deviceManager == NULL);
  deviceManager = new DeviceManager(programName, title, width, height, fullscreen, configFile);
  return deviceManager;
}

void DeviceManager::destroyInstance() {
  assert(deviceManager != NULL);
  delete deviceManager;
  deviceManager = NULL;
}
