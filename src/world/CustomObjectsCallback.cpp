#include "world/CustomObjectsCallback.h"

void CustomObjectsCallback::load(uint32_t) {}
void CustomObjectsCallback::init(uint32_t, CustomObject*) {}
void CustomObjectsCallback::manage(uint32_t, CustomObject*) {}
void CustomObjectsCallback::draw(uint32_t, CustomObject*) {}
void CustomObjectsCallback::uninit(uint32_t, CustomObject*) {}
void CustomObjectsCallback::unload(uint32_t) {}
bool CustomObjectsCallback::isTypeDefined(uint32_t) { return true; }
