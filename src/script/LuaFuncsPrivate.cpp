#include "script/LuaFuncsPrivate.h"

#include "EditText.h"
#include "Font.h"
#include "GLManager.h"
#include "Scene2D.h"
#include "SpriteManager.h"
#include "scene/World.h"
#include "Sprite.h"
#include "Assert.h"

LuaFuncsPrivate luaFuncsPrivate;

LuaFuncsPrivate::LuaFuncsPrivate() = default;

// The record lives until the process ends, after the window and its sprite manager: anything
// still scheduled then is left to the process exit.
LuaFuncsPrivate::~LuaFuncsPrivate() = default;

void LuaFuncsPrivate::reset() {
  releaseScheduled();
  activeEditText.reset();
  world = nullptr;
  editor = nullptr;
  isEditorMode = nullptr;
  font = nullptr;
  sound = nullptr;
  isQuitRequested = false;
  pendingLoadName.clear();
  pendingSaveName.clear();
  for (unsigned char& component : clearColor) component = 255;
  isFullscreenSpriteDrawn = false;
  currentObject = nullptr;
  globalVariables.clear();
  activeObjectsNames.clear();
  isMainMenuRequested = false;
  handles.clear();
  isDevelopmentMode = false;
  scriptError.clear();
}

void LuaFuncsPrivate::releaseScheduled() {
  SpriteManager* spriteManager = GLManager::getSpriteManager();
  if (spriteManager != nullptr)
    for (const auto& entry : scheduledSprites) spriteManager->deleteSprite(entry.first);
  scheduledSprites.clear();
  scheduledTexts.clear();
}

void LuaFuncsPrivate::drawScheduled(int64_t nowMs) {
  for (const auto& entry : scheduledSprites) entry.first->draw();
  // Removal comes after drawing, so a duration of 0 still shows once.
  for (auto it = scheduledSprites.begin(); it != scheduledSprites.end();) {
    if (it->second < nowMs) {
      GLManager::getSpriteManager()->deleteSprite(it->first);
      it = scheduledSprites.erase(it);
    } else {
      ++it;
    }
  }

  for (const auto& entry : scheduledTexts) drawTextCentred(entry.first);
  for (auto it = scheduledTexts.begin(); it != scheduledTexts.end();) {
    if (it->second < nowMs)
      it = scheduledTexts.erase(it);
    else
      ++it;
  }

  if (activeEditText) activeEditText->draw(1.f);
}

void LuaFuncsPrivate::drawTextCentred(const std::string& text) const {
  if (font == nullptr || GLManager::getScene2D() == nullptr) return;
  const Int2 size = GLManager::getScene2D()->size2D;
  const int width = font->getTextWidth(text.c_str(), -1, 1.f);
  font->drawText(text.c_str(), 1.f, 1.f, size.x() / 2 - width / 2, size.y() / 2);
}

World& LuaFuncsPrivate::requireWorld(const char* function) const {
  assert(world != NULL, std::string(function) + ": the script has no world scene");
  return *world;
}
