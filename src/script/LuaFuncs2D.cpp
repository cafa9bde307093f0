#include "script/LuaFuncs2D.h"

#include <GL/gl.h>
#include <lua.hpp>

#include <algorithm>
#include <cmath>

#include "EditText.h"
#include "Font.h"
#include "GLManager.h"
#include "ImageLoader.h"
#include "script/LuaArgs.h"
#include "script/LuaFuncsPrivate.h"
#include "Scene2D.h"
#include "Sprite.h"
#include "SpriteManager.h"
#include "Utils.h"
#include "Assert.h"

namespace {

// Top-left hot spot: script positions are the sprite's top left corner.
constexpr int scriptSpriteAlignment = 1;

Int2 size2D() {
  assert(GLManager::getScene2D() != NULL, "2D drawing without a window");
  return GLManager::getScene2D()->size2D;
}

SpriteManager* spriteManager() {
  assert(GLManager::getSpriteManager() != NULL, "sprite functions without a window");
  return GLManager::getSpriteManager();
}

Font* font() {
  assert(luaFuncsPrivate.font != NULL, "text drawing without a font");
  return luaFuncsPrivate.font;
}

// A script coordinate, truncated like an integer argument but held to a range that the sprite
// and text arithmetic cannot overflow (huge numbers and NaN come from broken scripts).
int coordinateArgument(lua_State* lua, int index) {
  return Scene2D::toCoordinate(lua_tonumber(lua, index));
}

Int2 positionArguments(lua_State* lua, int firstIndex) {
  return Int2(coordinateArgument(lua, firstIndex), coordinateArgument(lua, firstIndex + 1));
}

// End time of something scheduled for `duration` ms from now. Durations are held to about
// thirty thousand years either way so that the sum cannot overflow.
int64_t scheduleEndMs(lua_State* lua, int index) {
  constexpr double longestMs = 1e15;
  const double duration = lua_tonumber(lua, index);
  const double bounded = std::isnan(duration) ? 0. : std::max(-longestMs, std::min(longestMs, duration));
  return Utils::getTimeMs() + static_cast<int64_t>(bounded);
}

void placeCentred(Sprite* sprite) {
  const Int2 size = size2D();
  sprite->position = Int2(size.x() / 2 - sprite->getScaledWidth() / 2,
                          size.y() / 2 - sprite->getScaledHeight() / 2);
}

void drawFullscreen(Sprite* sprite) {
  SpriteManager::clearScreen(Color(0, 0, 0, 255));
  placeCentred(sprite);
  sprite->draw();
  luaFuncsPrivate.isFullscreenSpriteDrawn = true;
}

}  // namespace

int LuaFuncs2D::getWindowSize(lua_State* lua) {
  const int argc = lua_gettop(lua);
  assert(argc == 0);
  const Int2 size = size2D();
  lua_pushnumber(lua, size.x());
  lua_pushnumber(lua, size.y());
  return 2;
}

int LuaFuncs2D::setColor(lua_State* lua) {
  const int argc = lua_gettop(lua);
  assert(argc == 4);
  const lua_Integer r = lua_tointeger(lua, 1);
  const lua_Integer g = lua_tointeger(lua, 2);
  const lua_Integer b = lua_tointeger(lua, 3);
  const lua_Integer a = lua_tointeger(lua, 4);
  assert(r < 256 && g < 256 && b < 256 && a < 256);
  assert(r >= 0 && g >= 0 && b >= 0 && a >= 0);
  glColor4ub(static_cast<GLubyte>(r), static_cast<GLubyte>(g), static_cast<GLubyte>(b),
             static_cast<GLubyte>(a));
  return 0;
}

int LuaFuncs2D::drawText(lua_State* lua) {
  const int argc = lua_gettop(lua);
  assert(argc == 3 || argc == 1);
  const std::string text = LuaArgs::argString(lua, 1);
  if (argc == 1) {
    font();
    luaFuncsPrivate.drawTextCentred(text);
  } else {
    const Int2 position = positionArguments(lua, 2);
    font()->drawText(text.c_str(), 1.f, 1.f, position.x(), position.y());
  }
  return 0;
}

int LuaFuncs2D::scheduleDrawTextCenter(lua_State* lua) {
  const int argc = lua_gettop(lua);
  assert(argc == 2);
  luaFuncsPrivate.scheduledTexts[LuaArgs::argString(lua, 1)] = scheduleEndMs(lua, 2);
  return 0;
}

int LuaFuncs2D::load2DSprite(lua_State* lua) {
  const int argc = lua_gettop(lua);
  assert(argc == 1);
  Sprite* sprite = spriteManager()->createSprite(LuaArgs::argString(lua, 1), scriptSpriteAlignment);
  luaFuncsPrivate.handles.add(ScriptHandles::sprite, sprite);
  lua_pushlightuserdata(lua, sprite);
  return 1;
}

int LuaFuncs2D::draw2DSprite(lua_State* lua) {
  const int argc = lua_gettop(lua);
  assert(argc == 1 || argc == 3 || argc == 4 || argc == 6);
  Sprite* sprite = LuaArgs::argSprite(lua, 1, __func__);
  if (argc == 1) {
    placeCentred(sprite);
  } else {
    sprite->position = positionArguments(lua, 2);
  }
  if (argc >= 4) {
    // "The integer part is not 0", asked without converting: a huge or NaN angle must not
    // reach an int conversion.
    const lua_Number angle = lua_tonumber(lua, 4);
    if (std::fabs(angle) >= 1.) sprite->angle = static_cast<float>(angle);
  }
  if (argc == 6) {
    const Int2 hotSpot = positionArguments(lua, 5);
    if (hotSpot.x() != 0 || hotSpot.y() != 0) sprite->hotSpot = hotSpot;
  }
  sprite->draw();
  return 0;
}

int LuaFuncs2D::scheduleDraw2DSprite(lua_State* lua) {
  const int argc = lua_gettop(lua);
  assert(argc == 4 || argc == 2);
  Sprite* sprite = spriteManager()->createSprite(LuaArgs::argString(lua, 1), scriptSpriteAlignment);
  if (argc == 4)
    sprite->position = positionArguments(lua, 2);
  else
    placeCentred(sprite);
  luaFuncsPrivate.scheduledSprites[sprite] = scheduleEndMs(lua, argc);
  return 0;
}

int LuaFuncs2D::unload2DSprite(lua_State* lua) {
  const int argc = lua_gettop(lua);
  assert(argc == 1);
  Sprite* sprite = LuaArgs::argSprite(lua, 1, __func__);
  luaFuncsPrivate.handles.remove(ScriptHandles::sprite, sprite);
  spriteManager()->deleteSprite(sprite);
  return 0;
}

int LuaFuncs2D::drawSpriteFullscreen(lua_State* lua) {
  const int argc = lua_gettop(lua);
  assert(argc == 1);
  drawFullscreen(LuaArgs::argSprite(lua, 1, __func__));
  return 0;
}

int LuaFuncs2D::drawSpriteFullscreenStretched(lua_State* lua) {
  const int argc = lua_gettop(lua);
  assert(argc == 1);
  Sprite* sprite = LuaArgs::argSprite(lua, 1, __func__);
  const Int2 size = size2D();
  sprite->fitInto(size.x(), size.y());
  drawFullscreen(sprite);
  return 0;
}

int LuaFuncs2D::createEditText(lua_State* lua) {
  const int argc = lua_gettop(lua);
  assert(argc == 3 || argc == 4);
  if (luaFuncsPrivate.activeEditText) return 0;
  const Int2 position = positionArguments(lua, 1);
  const int maxLength = static_cast<int>(lua_tointeger(lua, 3));
  const std::string allowed = argc == 4 ? LuaArgs::argString(lua, 4) : std::string();
  luaFuncsPrivate.activeEditText.reset(new EditText(position, maxLength, luaFuncsPrivate.font, allowed));
  return 0;
}

int LuaFuncs2D::removeEditTextAndGetText(lua_State* lua) {
  const int argc = lua_gettop(lua);
  assert(argc == 0);
  const std::string text = luaFuncsPrivate.activeEditText ? luaFuncsPrivate.activeEditText->getText()
                                                          : std::string();
  luaFuncsPrivate.activeEditText.reset();
  lua_pushlstring(lua, text.data(), text.size());
  return 1;
}
