#include "editor/Editor3DCubeTypeDialogue.h"

#include <GL/gl.h>

#include <algorithm>

#include "world/CubeType.h"
#include "EditText.h"
#include "FileManager.h"
#include "Font.h"
#include "GLManager.h"
#include "Scene2D.h"
#include "Assert.h"

namespace {

constexpr int keyEnter = 13;
constexpr int keyEscape = 27;
/// Space between a fitted line and the screen's right edge.
constexpr int rightMargin = 10;

const char* const labels[Editor3DCubeTypeDialogue::nbSteps] = {
    "Top texture:", "Bottom texture:", "Front texture:", "Back texture:", "Left texture:", "Right texture:",
    "Stretch texture to cube aggregate (no advised):", "Divide texture coordinates by 8 (yes advised):",
    "Set random textures coordinates (no advised):", "Is collidable:"};

}  // namespace

Editor3DCubeTypeDialogue::Editor3DCubeTypeDialogue(Font* parFont)
    : font(parFont), editText(new EditText(Int2(10, 10), 255, parFont, "")) {}

Editor3DCubeTypeDialogue::~Editor3DCubeTypeDialogue() = default;

void Editor3DCubeTypeDialogue::start(bool parModify, const std::string* currentNames) {
  if (step >= 1) return;
  modify = parModify;
  for (std::string& name : names) name.clear();
  for (bool& option : options) option = true;
  isCollidable = false;
  textureFiles = FileManager::listFiles(CubeType::directoryTextures);
  isTextureNameRefused = false;
  step = 1;
  startFaceStep(currentNames);
}

void Editor3DCubeTypeDialogue::startFaceStep(const std::string* currentNames) {
  editText->setText(modify && currentNames != nullptr ? currentNames[step - 1] : "");
}

bool Editor3DCubeTypeDialogue::manageKey(int keyIndex, const std::string* currentNames) {
  const unsigned char key = static_cast<unsigned char>(keyIndex & 0xFF);
  if (key == keyEscape) {
    step = 0;
    return false;
  }
  if (step <= 6) {
    if (key == keyEnter || key == '\n') {
      // A name without its file would silently give the default texture: it is refused, and
      // the entry keeps it for correction.
      const std::string name = editText->getText();
      if (name.empty() || !FileManager::fileExists(CubeType::directoryTextures + name)) {
        isTextureNameRefused = true;
        refusedTextureName = name;
        return false;
      }
      isTextureNameRefused = false;
      names[step - 1] = name;
      ++step;
      if (step <= 6) startFaceStep(currentNames);
      else editText->setText("");
    } else {
      editText->key(keyIndex);
    }
    return false;
  }
  if (key != 'y' && key != 'n' && key != 'Y' && key != 'N') return false;
  const bool yes = key == 'y' || key == 'Y';
  if (step <= 9) options[step - 7] = !yes;
  else isCollidable = yes;
  ++step;
  if (step <= nbSteps) return false;
  step = 0;
  return true;
}

void Editor3DCubeTypeDialogue::draw(const Color& textColor) {
  const int lineHeight = std::max(20, font->getHeight());
  int y = 100;
  for (int answered = 1; answered <= nbSteps && answered <= step; ++answered, y += lineHeight) {
    std::string line = labels[answered - 1];
    if (answered < step) {
      if (answered <= 6) line += " " + names[answered - 1];
      else if (answered <= 9) line += options[answered - 7] ? " no" : " yes";
      else line += isCollidable ? " yes" : " no";
    }
    font->drawText(line.c_str(), 1.f, 1.f, 10, y);
  }
  const char* prompt = nullptr;
  if (step >= 1 && step <= 6) {
    prompt = "Enter texture filename and then press enter.";
    const int labelWidth = font->getTextWidth(labels[step - 1], -1, 1.f);
    editText->setPosition(Int2(20 + labelWidth, 100 + (step - 1) * lineHeight));
    editText->draw(1.f);
    int listTop = y + 2 * lineHeight;
    if (isTextureNameRefused) {
      const std::string refusal = "There is no texture file '" + std::string(CubeType::directoryTextures) +
                                  refusedTextureName + "': choose one of these.";
      drawTextFitted(*font, refusal, 10, listTop);
      listTop += lineHeight;
    }
    drawTextureFiles(listTop);
  } else if (step >= 7 && step <= 9) {
    prompt = "Press 'y' for yes or 'n' for no.";
  } else if (step == 10) {
    prompt = "Is collidable? Press 'y' for yes or 'n' for no.";
  } else {
    assert(false);
  }
  glColor4ub(textColor[0], textColor[1], textColor[2], textColor[3]);
  font->drawText(prompt, 1.f, 1.f, 10, y + lineHeight);
}

void Editor3DCubeTypeDialogue::drawTextFitted(Font& font, const std::string& text, int x, int y) {
  const int room = std::max(1, GLManager::getScene2D()->size2D.x() - x - rightMargin);
  const int textWidth = std::max(1, font.getTextWidth(text.c_str(), -1, 1.f));
  const float scale = std::min(1.f, static_cast<float>(room) / static_cast<float>(textWidth));
  font.drawText(text.c_str(), scale, scale, x, y);
}

void Editor3DCubeTypeDialogue::drawTextureFiles(int top) {
  const Int2 size2D = GLManager::getScene2D()->size2D;
  const std::string heading = std::string("Texture files in ") + CubeType::directoryTextures + ":";
  if (textureFiles.empty()) {
    drawTextFitted(*font, heading + " none", 10, top);
    return;
  }
  drawTextFitted(*font, heading, 10, top);
  top += font->getHeight();
  int widest = 1;
  for (const std::string& name : textureFiles) widest = std::max(widest, font->getTextWidth(name.c_str(), -1, 1.f));
  // Half size, smaller still until the columns fit the screen's width.
  const int count = static_cast<int>(textureFiles.size());
  float scale = 0.5f;
  int rows = 1;
  for (int attempt = 0; attempt < 8; ++attempt, scale *= 0.8f) {
    const int rowHeight = std::max(1, static_cast<int>(static_cast<float>(font->getHeight()) * scale) + 2);
    rows = std::max(1, (size2D.y() - top) / rowHeight);
    const int columns = (count + rows - 1) / rows;
    if (10 + columns * static_cast<int>((static_cast<float>(widest) + 40.f) * scale) <= size2D.x()) break;
  }
  const int rowHeight = std::max(1, static_cast<int>(static_cast<float>(font->getHeight()) * scale) + 2);
  const int columnWidth = static_cast<int>((static_cast<float>(widest) + 40.f) * scale);
  for (int i = 0; i < count; ++i)
    font->drawText(textureFiles[static_cast<size_t>(i)].c_str(), scale, scale, 10 + (i / rows) * columnWidth,
                   top + (i % rows) * rowHeight);
}
