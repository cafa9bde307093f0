#include "PlatformWindow.h"

#include <GL/glx.h>
#include <X11/XKBlib.h>

bool PlatformWindow::makeKeyRepeatDetectable() {
  Display* display = glXGetCurrentDisplay();
  if (display == nullptr) return false;
  Bool isSupported = False;
  XkbSetDetectableAutoRepeat(display, True, &isSupported);
  return isSupported == True;
}
