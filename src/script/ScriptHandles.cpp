#include "script/ScriptHandles.h"

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "Animated3DModel.h"
#include "GLManager.h"
#include "ImageLoader.h"
#include "ObjModel.h"
#include "Sprite.h"
#include "SpriteManager.h"
#include "Assert.h"

namespace {

// The files named in the report of held handles; the others are counted.
constexpr size_t nbNamedFiles = 3;

// The live handles of one kind, in the order they were handed out.
std::vector<void*> inOrder(const std::unordered_map<const void*, uint64_t>& handles) {
  std::vector<std::pair<uint64_t, const void*>> ranked;
  ranked.reserve(handles.size());
  for (const auto& handle : handles) ranked.emplace_back(handle.second, handle.first);
  std::sort(ranked.begin(), ranked.end());
  std::vector<void*> ordered;
  ordered.reserve(ranked.size());
  for (const auto& handle : ranked) ordered.push_back(const_cast<void*>(handle.second));
  return ordered;
}

std::string counted(size_t count, const char* name) {
  return std::to_string(count) + " " + name + (count > 1 ? "s" : "");
}

// "The script ended holding 2 sprites and 1 model it never unloaded (a.png, b.png, c.obj): the
// engine freed them", the sprites' files first, each kind in the order it was handed out.
std::string heldReport(const std::vector<std::string>& spriteFiles, const std::vector<std::string>& modelFiles) {
  std::string held;
  if (!spriteFiles.empty()) held = counted(spriteFiles.size(), "sprite");
  if (!modelFiles.empty()) held += (held.empty() ? "" : " and ") + counted(modelFiles.size(), "model");
  std::vector<std::string> files = spriteFiles;
  files.insert(files.end(), modelFiles.begin(), modelFiles.end());
  std::string named;
  for (size_t i = 0; i < files.size() && i < nbNamedFiles; ++i)
    named += (i > 0 ? ", " : "") + files[i];
  if (files.size() > nbNamedFiles) named += " and " + std::to_string(files.size() - nbNamedFiles) + " more";
  return "The script ended holding " + held + " it never unloaded (" + named +
         "): the engine freed them";
}

}  // namespace

void ScriptHandles::clear() {
  for (auto& handles : live) handles.clear();
}

void ScriptHandles::releaseHeld() {
  std::vector<std::string> spriteFiles;
  std::vector<std::string> modelFiles;
  SpriteManager* spriteManager = GLManager::getSpriteManager();
  // Without a sprite manager no sprite can exist.
  if (spriteManager != nullptr) {
    for (void* handle : inOrder(live[sprite])) {
      Sprite* heldSprite = static_cast<Sprite*>(handle);
      const std::vector<ImageLoader*>& images = heldSprite->getImages();
      spriteFiles.push_back(images.empty() ? std::string() : images.front()->getName());
      spriteManager->deleteSprite(heldSprite);
    }
  }
  for (void* handle : inOrder(live[model])) {
    Animated3DModel* heldModel = static_cast<Animated3DModel*>(handle);
    modelFiles.push_back(heldModel->getNbFrames() > 0 ? heldModel->getFrame(0)->getFileName() : std::string());
    delete heldModel;
  }
  clear();
  if (!spriteFiles.empty() || !modelFiles.empty()) showProblem(heldReport(spriteFiles, modelFiles));
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
