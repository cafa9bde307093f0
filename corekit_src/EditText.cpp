#include "EditText.h"

#include "DeviceManager.h"
#include "Font.h"
#include "KeyboardManager.h"
#include "Scene2D.h"
#include "Utils.h"
#include "Assert.h"

namespace {

constexpr int keyBackspace = 8;
constexpr int keyHome = 11;
constexpr int keyDelete = 127;
constexpr int blinkMilliseconds = 500;
constexpr int bitmapCharacterWidth = 8;

}  // namespace

EditText::EditText(Int2 parPosition, int parMaxLength, Font* parFont,
                   const std::string& parAllowedCharacters)
    : position(parPosition),
      maxLength(parMaxLength),
      font(parFont),
      allowedCharacters(parAllowedCharacters) {
  DeviceManager* deviceManager = DeviceManager::getInstance();
  assert(deviceManager);
}

EditText::~EditText() {
  KeyboardManager* keyboard = GLManager::getKeyboardManager();
  if (keyboard != nullptr) keyboard->releaseAllKeys();
}

void EditText::setText(const std::string& parText) {
  text = parText;
  cursor = static_cast<int>(text.size());
}

bool EditText::accepts(unsigned char character) const {
  if (font == nullptr) return false;
  if (!font->canDraw(character) && character != ' ' && character != '\n') return false;
  if (isDigitsOnly) {
    if (character < '0' || character > '9') return false;
  } else if (!allowedCharacters.empty() &&
             allowedCharacters.find(static_cast<char>(character)) == std::string::npos) {
    return false;
  }
  return maxLength == -1 || maxLength >= static_cast<int>(text.size()) + 1;
}

void EditText::key(int keyIndex) {
  if (!isActive) return;
  // The index is taken as one byte: F1..F12 (256..267) arrive as 0..11.
  unsigned char character = static_cast<unsigned char>(keyIndex & 0xFF);
  int length = static_cast<int>(text.size());
  switch (character) {
    case keyBackspace:
      if (cursor >= 1) {
        text.erase(static_cast<std::size_t>(cursor - 1), 1);
        --cursor;
      }
      break;
    case keyHome:
      cursor = 0;
      break;
    case KeyboardManager::keyRight:
      if (cursor < length) ++cursor;
      break;
    case KeyboardManager::keyLeft:
      if (cursor >= 1) --cursor;
      break;
    case keyDelete:
      if (cursor < length) text.erase(static_cast<std::size_t>(cursor), 1);
      break;
    default:
      if (accepts(character)) {
        text.insert(static_cast<std::size_t>(cursor), 1, static_cast<char>(character));
        ++cursor;
      }
  }
}

void EditText::draw(float scale) {
  const char* shown = text.c_str();
  if (isPassword && font != nullptr) {
    Int2 at = position;
    for (std::size_t i = 0; i < text.size(); ++i) at = font->drawText("*", scale, scale, at.x(), at.y());
  } else if (font != nullptr) {
    font->drawText(shown, scale, scale, position.x(), position.y());
  } else {
    Scene2D::drawBitmapText(shown, position.x(), position.y());
  }

  if (!isActive) return;
  long long now = Utils::getTimeMs();
  if (lastBlink + blinkMilliseconds < now) {
    isCursorShown = !isCursorShown;
    lastBlink = now;
  }
  if (!isCursorShown) return;
  long long offset;
  if (isPassword && font != nullptr)
    offset = static_cast<long long>(font->getTextWidth("*", -1, scale)) * cursor;
  else if (font != nullptr)
    offset = font->getTextWidth(shown, cursor, scale);
  else
    offset = static_cast<long long>(bitmapCharacterWidth) * cursor;
  int x = Scene2D::toCoordinate(static_cast<double>(position.x()) - 3.0 + offset);
  if (font != nullptr)
    font->drawText("|", scale, scale, x, position.y());
  else
    Scene2D::drawBitmapText("|", x, position.y());
}
