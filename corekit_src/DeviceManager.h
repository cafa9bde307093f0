#ifndef COREKIT_DEVICEMANAGER_H
#define COREKIT_DEVICEMANAGER_H

#include <string>

#include "GLManager.h"
#include "XMLSimple.h"

/// The process-wide window owner (see GLManager) plus the configuration store, empty until the
/// main manager loads the world configuration into it. Every reader of configuration goes
/// through getInstance()->getConfig().
class DeviceManager : public GLManager {
 public:
  /// Loads `configFile` (when given) into the store, then opens the window, whose pixel format
  /// depends on it ("disable_multisampling": software renderers pay for every sample); a second
  /// creation is the fatal report "deviceManager == NULL".
  static DeviceManager* createInstance(const std::string& programName, const std::string& title,
                                       int width, int height, bool fullscreen,
                                       const std::string& configFile = "");
  /// The instance, null when there is none.
  static DeviceManager* getInstance() { return deviceManager; }
  /// Deletes the instance; without one, the fatal report "deviceManager != NULL".
  static void destroyInstance();

  XMLSimple& getConfig() { return config; }
  const XMLSimple& getConfig() const { return config; }

 private:
  DeviceManager(const std::string& programName, const std::string& title, int width, int height,
                bool fullscreen, const std::string& configFile);
  ~DeviceManager() override = default;

  XMLSimple config;

  static DeviceManager* deviceManager;
};

#endif
