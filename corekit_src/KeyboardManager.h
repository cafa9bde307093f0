#ifndef COREKIT_KEYBOARDMANAGER_H
#define COREKIT_KEYBOARDMANAGER_H

#include <vector>

/// Keyboard state of the window, filled by the window system's key callbacks during the event
/// pump of the frame step and read by the main loop, the script, the editor and the player.
///
/// Key indices: 0..255 are the characters the window system delivers, as unsigned bytes (upper
/// and lower case letters are different keys); 256..267 are F1..F12; the cursor keys are 28
/// (right), 29 (left), 30 (up), 31 (down); page up is 33 and page down 34, the same indices as
/// "!" and the double quote. Home, End and Insert are not tracked.
///
/// The handlers are public so that tests and replays can inject keys without a keyboard.
class KeyboardManager {
 public:
  static constexpr int nbKeys = 268;
  static constexpr int keyF1 = 256;
  static constexpr int keyF12 = 267;
  static constexpr int keyRight = 28;
  static constexpr int keyLeft = 29;
  // Cursor up and down (keyUp and keyDown are the handlers).
  static constexpr int keyCursorUp = 30;
  static constexpr int keyCursorDown = 31;
  static constexpr int keyPageUp = 33;
  static constexpr int keyPageDown = 34;

  KeyboardManager();

  /// True while the key is held; false for an index outside 0..267.
  bool isKeyDown(int index) const;
  /// True only once per physical press: the key is held and this press was not yet answered.
  bool isKeyDownNoRepeat(int index);
  /// The key indices pressed since the last frame step, auto-repeats included, in order.
  std::vector<int> getKeysPressedThisFrame() const;

  /// Character pressed (also every auto-repeat): index 0..255. Other indices are ignored.
  void keyDown(int index);
  /// Character released: clears the held and the answered flags.
  void keyUp(int index);
  /// Window-system special key (GLUT_KEY_*) pressed or released; untracked keys are ignored.
  void specialKeyDown(int glutKey);
  void specialKeyUp(int glutKey);
  /// Key index of a GLUT special key, -1 when it is not tracked.
  static int specialKeyIndex(int glutKey);

  /// Empties the press list, keeping its storage (start of every frame step).
  void clearKeysPressedThisFrame();
  /// Forgets every held and answered key (a text entry that consumed the keys does this).
  void releaseAllKeys();

  /// The window system's events of a frame step arrive between these two calls (the frame
  /// step's event pump). A key pressed and released within one pump, a tap shorter than the
  /// frame, stays held (and answers "pressed once") until the next pump begins, so that the
  /// frame after the pump sees it. Keys handled outside a pump take effect at once.
  void beginEventPump();
  void endEventPump();

 private:
  void press(int index);
  void release(int index);

  bool isDown[nbKeys];
  bool isTaken[nbKeys];
  /// Pressed during the current pump; released during it after such a press (let go at the
  /// next pump).
  bool isPressedInPump[nbKeys];
  bool isReleasePending[nbKeys];
  bool isPumping = false;
  std::vector<int> keysPressedThisFrame;
};

#endif
