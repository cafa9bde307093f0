#ifndef ENGINE_LUAFUNCSEDITOR_H
#define ENGINE_LUAFUNCSEDITOR_H

struct lua_State;

/// Engine functions for the script that reach the in-game editor (editor mode, its cursor, the
/// script's cube selection), the path graph and the web client.
class LuaFuncsEditor {
 public:
  static int isEditorMode(lua_State* lua);
  static int setEditorMode(lua_State* lua);
  static int startCubeCreation(lua_State* lua);
  static int manageCubeCreation(lua_State* lua);
  static int getEditorCursorPosition(lua_State* lua);

  static int clearGraph(lua_State* lua);
  static int addSegmentInGraph(lua_State* lua);
  static int removeSegmentFromGraph(lua_State* lua);
  static int findPathInGraph(lua_State* lua);

  static int getPageFromWebServer(lua_State* lua);
};

#endif
