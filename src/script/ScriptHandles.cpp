#include "script/ScriptHandles.h"

#include <string>

#include "Assert.h"

void ScriptHandles::clear() {
  for (std::unordered_set<const void*>& handles : live) handles.clear();
}

void* ScriptHandles::requireLive(Kind kind, void* handle, const char* function) const {
  static const char* const missingConditions[nbKinds] = {"spritep != 0", "modelp != 0", "soundp != 0"};
  if (handle == nullptr)
    showAssertionReport(__DATE__, __FILE__, missingConditions[kind], __LINE__, __TIME__, (const char*)nullptr);
  assert(isLive(kind, handle), std::string(function) + ": not a live " + kindName(kind) + " handle");
  return handle;
}

const char* ScriptHandles::kindName(Kind kind) {
  static const char* const names[nbKinds] = {"sprite", "model", "sound"};
  return names[kind];
}
