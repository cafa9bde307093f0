#ifndef ENGINE_LUAFUNCS2D_H
#define ENGINE_LUAFUNCS2D_H

struct lua_State;

/// Engine functions for the script's 2D drawing: sprites, text, colour and the text entry.
/// Sprite handles are light userdata pointing at the engine's Sprite.
class LuaFuncs2D {
 public:
  static int getWindowSize(lua_State* lua);
  static int setColor(lua_State* lua);
  static int drawText(lua_State* lua);
  static int scheduleDrawTextCenter(lua_State* lua);
  static int load2DSprite(lua_State* lua);
  static int draw2DSprite(lua_State* lua);
  static int scheduleDraw2DSprite(lua_State* lua);
  static int unload2DSprite(lua_State* lua);
  static int drawSpriteFullscreen(lua_State* lua);
  static int drawSpriteFullscreenStretched(lua_State* lua);
  static int createEditText(lua_State* lua);
  static int removeEditTextAndGetText(lua_State* lua);
};

#endif
