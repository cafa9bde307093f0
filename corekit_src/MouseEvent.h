#ifndef COREKIT_MOUSEEVENT_H
#define COREKIT_MOUSEEVENT_H

/// One mouse event received by the window since the last frame step.
struct MouseEvent {
  /// Values of `kind`.
  static constexpr int buttonPressed = 0;
  static constexpr int buttonReleased = 1;
  static constexpr int motionWithButton = 2;
  static constexpr int motionWithoutButton = 3;

  int x;       ///< window pixels
  int y;       ///< window pixels
  int button;  ///< GLUT button number, -1 for a motion
  int kind;
};

#endif
