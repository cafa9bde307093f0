#ifndef ENGINE_SCRIPTHANDLES_H
#define ENGINE_SCRIPTHANDLES_H

#include <cstdint>
#include <unordered_map>

/// The engine objects the script holds as light userdata, by kind: a handle is live from the
/// function that handed it to the script until the one that destroyed it. The script's handles
/// are bare addresses, so this is what tells a sprite from a sound, or a model from the memory
/// it left behind when unloaded.
class ScriptHandles {
 public:
  enum Kind { sprite, model, sound, nbKinds };

  void add(Kind kind, const void* handle) { live[kind].emplace(handle, nbAdded++); }
  void remove(Kind kind, const void* handle) { live[kind].erase(handle); }
  bool isLive(Kind kind, const void* handle) const { return live[kind].count(handle) != 0; }
  /// Forgets every handle (a new script starts with none).
  void clear();

  /// The script is gone: frees the sprites (through the sprite manager) and the 3D models it
  /// still held, with one problem report that counts them and names the first files, then
  /// forgets every handle. Sounds stay with the sound system, which owns them. Nothing is
  /// reported when the script had unloaded everything.
  void releaseHeld();

  /// The handle, checked before anything touches it: a missing one is the fatal report
  /// "spritep != 0" ("modelp != 0", "soundp != 0"), one that is not live of this kind the fatal
  /// report "<function>: not a live sprite handle" (model, sound).
  void* requireLive(Kind kind, void* handle, const char* function) const;

  static const char* kindName(Kind kind);

 private:
  /// The live handles of the kind, each with its rank among all handles handed out.
  std::unordered_map<const void*, uint64_t> live[nbKinds];
  uint64_t nbAdded = 0;
};

#endif
