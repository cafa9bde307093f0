#include "KeyboardManager.h"

#include <GL/glut.h>

KeyboardManager::KeyboardManager() {
  releaseAllKeys();
  // The list is emptied every frame; reserving once keeps the frame step free of allocation.
  keysPressedThisFrame.reserve(64);
}

bool KeyboardManager::isKeyDown(int index) const {
  return index >= 0 && index < nbKeys && isDown[index];
}

bool KeyboardManager::isKeyDownNoRepeat(int index) {
  if (index < 0 || index >= nbKeys || !isDown[index] || isTaken[index]) return false;
  isTaken[index] = true;
  return true;
}

std::vector<int> KeyboardManager::getKeysPressedThisFrame() const { return keysPressedThisFrame; }

void KeyboardManager::keyDown(int index) {
  if (index >= 0 && index < 256) press(index);
}

void KeyboardManager::keyUp(int index) {
  if (index >= 0 && index < 256) release(index);
}

void KeyboardManager::specialKeyDown(int glutKey) {
  const int index = specialKeyIndex(glutKey);
  if (index >= 0) press(index);
}

void KeyboardManager::specialKeyUp(int glutKey) {
  const int index = specialKeyIndex(glutKey);
  if (index >= 0) release(index);
}

int KeyboardManager::specialKeyIndex(int glutKey) {
  if (glutKey >= GLUT_KEY_F1 && glutKey <= GLUT_KEY_F12) return keyF1 + glutKey - GLUT_KEY_F1;
  switch (glutKey) {
    case GLUT_KEY_RIGHT: return keyRight;
    case GLUT_KEY_LEFT: return keyLeft;
    case GLUT_KEY_UP: return keyCursorUp;
    case GLUT_KEY_DOWN: return keyCursorDown;
    case GLUT_KEY_PAGE_UP: return keyPageUp;
    case GLUT_KEY_PAGE_DOWN: return keyPageDown;
    default: return -1;  // Home, End, Insert and the rest are not tracked
  }
}

void KeyboardManager::clearKeysPressedThisFrame() { keysPressedThisFrame.clear(); }

void KeyboardManager::releaseAllKeys() {
  for (int i = 0; i < nbKeys; ++i) {
    isDown[i] = false;
    isTaken[i] = false;
    isPressedInPump[i] = false;
    isReleasePending[i] = false;
  }
}

void KeyboardManager::beginEventPump() {
  for (int i = 0; i < nbKeys; ++i) {
    if (isReleasePending[i]) {
      isDown[i] = false;
      isTaken[i] = false;
      isReleasePending[i] = false;
    }
    isPressedInPump[i] = false;
  }
  isPumping = true;
}

void KeyboardManager::endEventPump() { isPumping = false; }

void KeyboardManager::press(int index) {
  keysPressedThisFrame.push_back(index);
  isDown[index] = true;
  isReleasePending[index] = false;
  if (isPumping) isPressedInPump[index] = true;
}

void KeyboardManager::release(int index) {
  // A tap within one pump: no frame has seen the press yet.
  if (isPumping && isPressedInPump[index]) {
    isReleasePending[index] = true;
    return;
  }
  isDown[index] = false;
  isTaken[index] = false;
}
