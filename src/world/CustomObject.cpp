#include "world/CustomObject.h"

#include <GL/gl.h>

#include <cstddef>
#include <cstring>
#include <utility>

#include "meshing/CubesTable.h"
#include "world/CustomObjectsCallback.h"
#include "GLManager.h"
#include "Scene3D.h"
#include "Assert.h"

std::vector<int> CustomObject::customObjectIsUsed;
std::vector<CustomObject*> CustomObject::globalObjects;

namespace {

CustomObjectsCallback doNothingCallback;
CustomObjectsCallback* callback = &doNothingCallback;

void writeUint32(unsigned char* out, uint32_t value) {
  out[0] = static_cast<unsigned char>(value);
  out[1] = static_cast<unsigned char>(value >> 8);
  out[2] = static_cast<unsigned char>(value >> 16);
  out[3] = static_cast<unsigned char>(value >> 24);
}

uint32_t readUint32(const unsigned char* in) {
  return static_cast<uint32_t>(in[0]) | static_cast<uint32_t>(in[1]) << 8 |
         static_cast<uint32_t>(in[2]) << 16 | static_cast<uint32_t>(in[3]) << 24;
}

void writeFloat(unsigned char* out, float value) {
  uint32_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  writeUint32(out, bits);
}

float readFloat(const unsigned char* in) {
  const uint32_t bits = readUint32(in);
  float value;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}

}  // namespace

CustomObject::CustomObject(bool parIsGlobal, const Float3& parPosition, uint32_t parTypeId,
                           const std::string& parInitString)
    : position(parPosition), typeId(parTypeId), isGlobal(parIsGlobal) {
  localVariablesString["init"] = parInitString;
  if (isGlobal) registerGlobal();
}

CustomObject CustomObject::fromRecord(const unsigned char (&record)[recordSize]) {
  const Float3 recordPosition(readFloat(record), readFloat(record + 4), readFloat(record + 8));
  CustomObject object(record[16] != 0, recordPosition, readUint32(record + 12), std::string());
  object.localVariablesString.clear();
  object.needsInit = record[17] != 0;
  return object;
}

void CustomObject::toRecord(unsigned char (&record)[recordSize]) const {
  writeFloat(record, position.x());
  writeFloat(record + 4, position.y());
  writeFloat(record + 8, position.z());
  writeUint32(record + 12, typeId);
  record[16] = isGlobal ? 1 : 0;
  record[17] = needsInit ? 1 : 0;
  record[18] = 0;
  record[19] = 0;
}

CustomObject::CustomObject(const CustomObject& other) {
  copyFields(other);
  if (isGlobal) registerGlobal();
}

CustomObject::CustomObject(CustomObject&& other) noexcept
    : position(other.position),
      typeId(other.typeId),
      localVariables(std::move(other.localVariables)),
      localVariablesPos(std::move(other.localVariablesPos)),
      localVariablesString(std::move(other.localVariablesString)),
      name(std::move(other.name)),
      isAutoDestroy(other.isAutoDestroy),
      isGlobal(other.isGlobal),
      needsInit(other.needsInit),
      isLive(other.isLive),
      globalSlot(other.globalSlot) {
  if (globalSlot >= 0) globalObjects[globalSlot] = this;
  other.isLive = false;
  other.globalSlot = -1;
}

CustomObject& CustomObject::operator=(const CustomObject& other) {
  if (this == &other) return *this;
  release();
  copyFields(other);
  isLive = true;
  if (isGlobal) registerGlobal();
  return *this;
}

CustomObject& CustomObject::operator=(CustomObject&& other) noexcept {
  if (this == &other) return *this;
  release();
  position = other.position;
  typeId = other.typeId;
  localVariables = std::move(other.localVariables);
  localVariablesPos = std::move(other.localVariablesPos);
  localVariablesString = std::move(other.localVariablesString);
  name = std::move(other.name);
  isAutoDestroy = other.isAutoDestroy;
  isGlobal = other.isGlobal;
  needsInit = other.needsInit;
  isLive = other.isLive;
  globalSlot = other.globalSlot;
  if (globalSlot >= 0) globalObjects[globalSlot] = this;
  other.isLive = false;
  other.globalSlot = -1;
  return *this;
}

CustomObject::~CustomObject() { release(); }

void CustomObject::copyFields(const CustomObject& other) {
  position = other.position;
  typeId = other.typeId;
  localVariables = other.localVariables;
  localVariablesPos = other.localVariablesPos;
  localVariablesString = other.localVariablesString;
  name = other.name;
  isAutoDestroy = other.isAutoDestroy;
  isGlobal = other.isGlobal;
  needsInit = other.needsInit;
  globalSlot = -1;
}

CustomObject CustomObject::makeInertCopy() const {
  // Not global at construction, so nothing is registered; the fields then say what it was.
  CustomObject copy(false, position, typeId, std::string());
  copy.copyFields(*this);
  copy.isLive = false;
  return copy;
}

size_t CustomObject::getApproximateBytes() const {
  // A map node costs about four pointers and a colour besides its key and value.
  constexpr size_t nodeBytes = 48;
  size_t bytes = sizeof(CustomObject) + name.capacity();
  bytes += localVariables.size() * (nodeBytes + sizeof(std::string) + sizeof(double));
  bytes += localVariablesPos.size() * (nodeBytes + sizeof(int) + sizeof(Float3));
  bytes += localVariablesString.size() * (nodeBytes + 2 * sizeof(std::string));
  for (const auto& variable : localVariables) bytes += variable.first.capacity();
  for (const auto& variable : localVariablesString) bytes += variable.first.capacity() + variable.second.capacity();
  return bytes;
}

void CustomObject::release() {
  if (!isLive) return;
  isLive = false;
  if (callback->isTypeDefined(typeId)) callback->uninit(typeId, this);
  unregisterGlobal();
}

void CustomObject::registerGlobal() {
  for (size_t i = 0; i < globalObjects.size(); ++i) {
    if (globalObjects[i] == nullptr) {
      globalObjects[i] = this;
      globalSlot = static_cast<int>(i);
      return;
    }
  }
  globalSlot = static_cast<int>(globalObjects.size());
  globalObjects.push_back(this);
}

void CustomObject::unregisterGlobal() {
  if (globalSlot < 0) return;
  globalObjects[globalSlot] = nullptr;
  globalSlot = -1;
}

void CustomObject::loadTypeIfNeeded() {
  assert(typeId < maxTypeId, "CustomObject: script object type id out of range");
  if (customObjectIsUsed.size() <= typeId) {
    customObjectIsUsed.resize(static_cast<size_t>(typeId) + 1, 0);
    const uint32_t id = typeId;
    assert(customObjectIsUsed[id] == 0);
  }
  if (customObjectIsUsed[typeId] == 0) {
    callback->load(typeId);
    customObjectIsUsed[typeId] = 1;
  }
}

bool CustomObject::manage() {
  if (isAutoDestroy) return true;
  // Left as it is, needs-init flag included, for the script that defines its type.
  if (!callback->isTypeDefined(typeId)) return false;
  loadTypeIfNeeded();
  customObjectIsUsed[typeId] = 2;
  if (needsInit) {
    callback->init(typeId, this);
    needsInit = false;
    // An object that destroys itself in init is not managed any more.
    if (isAutoDestroy) return true;
  }
  callback->manage(typeId, this);
  return isAutoDestroy;
}

void CustomObject::draw(bool isEditorMode) {
  if (isAutoDestroy) return;
  glMatrixMode(GL_MODELVIEW);
  glPushMatrix();
  if (Scene3D* scene = GLManager::getScene3D()) glLoadMatrixf(scene->getViewMatrix());
  glTranslatef(position.x(), position.y(), position.z());
  if (isEditorMode) {
    // A wire-frame cube of half a cube edge marks the object for the editor.
    const float size = CubesTable::getSizeOneCube() * 0.5f;
    Scene3D::drawBox(nullptr, false, Float3(size, size, size), Float3(1.f, 1.f, 1.f));
  }
  if (callback->isTypeDefined(typeId)) {
    loadTypeIfNeeded();
    callback->draw(typeId, this);
  }
  glPopMatrix();
}

double CustomObject::getObjectLocalVariable(const std::string& varName) const {
  const auto it = localVariables.find(varName);
  assert(it!=localVariables.end());
  return it->second;
}

void CustomObject::setObjectLocalVariable(const std::string& varName, double value) {
  localVariables[varName] = value;
}

Float3 CustomObject::getObjectLocalVariablePos(int index) const {
  const auto it = localVariablesPos.find(index);
  assert(it!=localVariablesPos.end());
  return it->second;
}

void CustomObject::setObjectLocalVariablePos(int index, const Float3& value) {
  localVariablesPos[index] = value;
}

const std::string& CustomObject::getObjectLocalVariableString(const std::string& varName) const {
  const auto it = localVariablesString.find(varName);
  assert(it!=localVariablesString.end());
  return it->second;
}

void CustomObject::setObjectLocalVariableString(const std::string& varName,
                                                const std::string& value) {
  localVariablesString[varName] = value;
}

void CustomObject::setCallback(CustomObjectsCallback* parCallback) {
  callback = parCallback != nullptr ? parCallback : &doNothingCallback;
}

CustomObjectsCallback* CustomObject::getCallback() { return callback; }

void CustomObject::resetUsedTypes() {
  for (int& state : customObjectIsUsed)
    if (state == 2) state = 1;
}

void CustomObject::unloadUnusedTypes() {
  for (size_t id = 0; id < customObjectIsUsed.size(); ++id) {
    if (customObjectIsUsed[id] == 1) {
      callback->unload(static_cast<uint32_t>(id));
      customObjectIsUsed[id] = 0;
    }
  }
}

void CustomObject::manageGlobalObjects() {
  // By index: a script callback may register objects (the list grows) or remove some.
  for (size_t i = 0; i < globalObjects.size(); ++i) {
    const auto it = globalObjects.begin() + static_cast<std::ptrdiff_t>(i);
    if (*it == nullptr) continue;
    assert((*it)->getIsGlobal());
    (*it)->manage();
  }
}

int CustomObject::getTypeState(uint32_t typeId) {
  return typeId < customObjectIsUsed.size() ? customObjectIsUsed[typeId] : 0;
}

int CustomObject::getNbGlobalObjects() {
  int count = 0;
  for (const CustomObject* object : globalObjects)
    if (object != nullptr) ++count;
  return count;
}
