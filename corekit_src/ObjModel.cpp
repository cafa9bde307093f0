#include "ObjModel.h"

#include <GL/gl.h>

#include <iostream>

#include "ObjModelData.h"
#include "Assert.h"

std::vector<ObjModel::CacheElement> ObjModel::cache;

ObjModel::ObjModel(const std::string& parFilename, float scale, float weldDistance) {
  assert(parFilename != "");
  for (size_t i = 0; i < cache.size(); ++i)
    if (cache[i].fileName == parFilename) {
      cacheIndex = static_cast<int>(i);
      ++cache[i].nbUses;
      std::cout << "Getting model '" << parFilename << "'" << std::endl;
      return;
    }

  std::cout << "Loading model '" << parFilename << "' ... " << std::endl;
  std::unique_ptr<ObjModelData> model = std::make_unique<ObjModelData>(parFilename);
  if (scale != 1.f) model->scale(scale);
  model->computeFacetNormals();
  model->computeVertexNormals(90.f);
  if (weldDistance > 0.f) model->weld(weldDistance);

  CacheElement element;
  element.displayList = glGenLists(1);
  assert(element.displayList != 0, "ObjModel: no display list left for " + parFilename);
  glNewList(element.displayList, GL_COMPILE);
  model->draw();
  glEndList();
  // The collision test keeps the vertices as drawn: welding them again with a large distance
  // would collapse every triangle of a model smaller than that distance.
  element.model = std::move(model);
  element.fileName = parFilename;
  element.nbUses = 1;
  cache.push_back(std::move(element));
  cacheIndex = static_cast<int>(cache.size()) - 1;
  std::cout << "...loading model done" << std::endl;
}

ObjModel::~ObjModel() {
  CacheElement& element = cache[cacheIndex];
  --element.nbUses;
  assert(element.nbUses >= 0);
  if (element.nbUses > 0) {
    std::cout << "Ungetting model '" << element.fileName << "'" << std::endl;
    return;
  }
  std::cout << "Unloading model " << element.fileName << " ..." << std::endl;
  glDeleteLists(element.displayList, 1);
  element.displayList = 0;
  element.model.reset();
  element.fileName.clear();
  std::cout << "... unloading model done" << std::endl;
}

void ObjModel::draw() { glCallList(cache[cacheIndex].displayList); }

bool ObjModel::testCollision(Float3 start, Float3 end, Float3& hitPoint) {
  const ObjModelData* model = cache[cacheIndex].model.get();
  assert(model);
  assert(model->facetnorms);
  return model->intersectSegment(start, end, hitPoint);
}

const ObjModelData* ObjModel::getModel() const { return cache[cacheIndex].model.get(); }

unsigned int ObjModel::getDisplayList() const { return cache[cacheIndex].displayList; }

const std::string& ObjModel::getFileName() const { return cache[cacheIndex].fileName; }
