#ifndef COREKIT_EDITTEXT_H
#define COREKIT_EDITTEXT_H

#include <string>

#include "BasicVector.h"

class Font;

/// One-line text entry fed with the key indices typed each frame. At most one exists at a
/// time; it needs the device manager (fatal report otherwise).
class EditText {
 public:
  /// parMaxLength -1 = unlimited; parFont borrowed, null = the window system's bitmap font (then
  /// nothing can be typed); parAllowedCharacters empty = anything the font can draw.
  EditText(Int2 parPosition, int parMaxLength, Font* parFont,
           const std::string& parAllowedCharacters);
  /// Clears every key-down and key-taken flag, so keys typed here are not seen as held later.
  ~EditText();
  EditText(const EditText&) = delete;
  EditText& operator=(const EditText&) = delete;

  /// One key index as delivered by the keyboard manager (taken as one byte).
  void key(int keyIndex);
  void draw(float scale);

  const std::string& getText() const { return text; }
  void setText(const std::string& parText);
  int getCursor() const { return cursor; }
  bool getIsActive() const { return isActive; }
  void setIsActive(bool parIsActive) { isActive = parIsActive; }
  bool getIsPassword() const { return isPassword; }
  void setIsPassword(bool parIsPassword) { isPassword = parIsPassword; }
  bool getIsDigitsOnly() const { return isDigitsOnly; }
  void setIsDigitsOnly(bool parIsDigitsOnly) { isDigitsOnly = parIsDigitsOnly; }
  Int2 getPosition() const { return position; }
  void setPosition(Int2 parPosition) { position = parPosition; }
  /// Blink phase of the cursor.
  bool getIsCursorShown() const { return isCursorShown; }

 private:
  bool accepts(unsigned char character) const;

  std::string text;
  int cursor = 0;
  Int2 position;
  bool isActive = true;
  int maxLength;
  long long lastBlink = 0;
  bool isCursorShown = false;
  Font* font;
  bool isPassword = false;
  bool isDigitsOnly = false;
  std::string allowedCharacters;
};

#endif
