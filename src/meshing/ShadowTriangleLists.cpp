#include "meshing/ShadowTriangleLists.h"

ShadowTriangleLists::ShadowTriangleLists(const ShadowTriangleLists& other) {
  if (other.lists != nullptr && !other.empty()) lists.reset(new std::array<List, 6>(*other.lists));
}

ShadowTriangleLists& ShadowTriangleLists::operator=(const ShadowTriangleLists& other) {
  if (this == &other) return *this;
  if (other.lists == nullptr || other.empty())
    lists.reset();
  else if (lists == nullptr)
    lists.reset(new std::array<List, 6>(*other.lists));
  else
    *lists = *other.lists;
  return *this;
}

ShadowTriangleLists::List& ShadowTriangleLists::operator[](int i) {
  if (lists == nullptr) lists.reset(new std::array<List, 6>());
  return (*lists)[i];
}

bool ShadowTriangleLists::empty() const {
  if (lists == nullptr) return true;
  for (const List& list : *lists)
    if (!list.empty()) return false;
  return true;
}

const std::array<ShadowTriangleLists::List, 6>& ShadowTriangleLists::emptyLists() {
  static const std::array<List, 6> empty;
  return empty;
}
