#include "shell/CommandLine.h"
#include "shell/MainManager.h"
#include "Platform.h"

int main(int argc, char** argv) {
  const CommandLine commandLine(Platform::getArguments(argc, argv));
  MainManager* mainManager =
      new MainManager(commandLine.programPath, commandLine.isFullscreen, commandLine.worldDataFile,
                      commandLine.worldLuaFile, commandLine.worldConfigFile, commandLine.isDevelopmentMode);
  while (mainManager->getIsRunning()) mainManager->manage();
  delete mainManager;
  return 0;
}
