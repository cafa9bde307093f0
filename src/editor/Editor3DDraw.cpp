// Editor3D spans four source files:
//   Editor3D.cpp      construction, camera, cursor, the edit actions, the cube-type dialogue and
//                     the script's cube selection;
//   Editor3DKeys.cpp  the key table, key handling and the help;
//   Editor3DMenu.cpp  the mouse and the menu pages' actions;
//   Editor3DDraw.cpp  the 3D wireframes and the 2D overlay.

#include "editor/Editor3D.h"

#include <GL/gl.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <sstream>

#include "world/CubeType.h"
#include "editor/Editor3DCubeTypeDialogue.h"
#include "editor/Editor3DMenuPage.h"
#include "editor/Editor3DWorldGeneration.h"
#include "Font.h"
#include "GLManager.h"
#include "world/IndexedWorld.h"
#include "Scene2D.h"
#include "Scene3D.h"
#include "Assert.h"


namespace {

/// Space between the overlay's status line and the screen's edge or the line above.
constexpr int statusMargin = 10;

std::string joined(const Int3& v) {
  std::ostringstream text;
  text << v.x() << " x " << v.y() << " x " << v.z();
  return text.str();
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Drawing

void Editor3D::beginWireframe() const {
  glPushAttrib(GL_CURRENT_BIT | GL_ENABLE_BIT | GL_POLYGON_BIT);
  glDisable(GL_TEXTURE_2D);
  glDisable(GL_CULL_FACE);
  glDisable(GL_LIGHTING);
  // The markers keep their colour at any distance.
  glDisable(GL_FOG);
  glPolygonMode(GL_FRONT_AND_BACK, GL_LINE);
  glColor4ub(255, 255, 0, 255);
}

void Editor3D::endWireframe() const { glPopAttrib(); }

void Editor3D::drawMarker(const Float3& position) const {
  glPushMatrix();
  glTranslatef(position.x(), position.y(), position.z());
  Scene3D::drawBox(nullptr, false, Float3(markerSize, markerSize, markerSize), Float3(1.f, 1.f, 1.f));
  glPopMatrix();
}

void Editor3D::drawWireBox(const Float3& from, const Float3& to) const {
  const Float3 centre = (from + to) / 2.f;
  const Float3 size(std::fabs(to.x() - from.x()), std::fabs(to.y() - from.y()), std::fabs(to.z() - from.z()));
  glPushMatrix();
  glTranslatef(centre.x(), centre.y(), centre.z());
  Scene3D::drawBox(nullptr, false, size, Float3(1.f, 1.f, 1.f));
  glPopMatrix();
}

void Editor3D::draw3D() {
  beginWireframe();
  drawMarker(getCursorRealPosition());
  if (selectionActive) {
    drawMarker(IndexedWorld::cubeToWorld(selectionStart));
    drawWireBox(IndexedWorld::cubeToWorld(selectionStart), getCursorRealPosition());
  }
  endWireframe();
}

void Editor3D::drawCubeCreation() {
  if (!cubeSelectionActive) return;
  beginWireframe();
  drawMarker(IndexedWorld::cubeToWorld(cubeSelectionStart));
  drawMarker(IndexedWorld::cubeToWorld(cubeSelectionMoving));
  drawWireBox(IndexedWorld::cubeToWorld(cubeSelectionStart), IndexedWorld::cubeToWorld(cubeSelectionMoving));
  endWireframe();
}

void Editor3D::keepCubeTypeTextures(const std::vector<int>& types) {
  // The world frees the textures of types its regions did not use in a frame, before the
  // overlay is drawn: the types the overlay shows are kept instead of reloaded every frame.
  const int count = indexedWorld->getNbCubeType();
  for (const int type : keptCubeTypes)
    if (type >= 0 && type < count && std::find(types.begin(), types.end(), type) == types.end())
      indexedWorld->getCubeType(type)->keepTextures = false;
  keptCubeTypes.clear();
  for (const int type : types)
    if (type >= 0 && type < count) {
      indexedWorld->getCubeType(type)->keepTextures = true;
      keptCubeTypes.push_back(type);
    }
}

void Editor3D::drawMenuPages() {
  std::vector<int> shownTypes;
  if (!dialogue->isRunning() && currentCubeType >= 0 && currentCubeType < indexedWorld->getNbCubeType())
    shownTypes.push_back(currentCubeType);
  for (const std::unique_ptr<Editor3DMenuPage>& page : menuPages)
    for (const auto& icon : page->entryIcons) shownTypes.push_back(icon.second);
  keepCubeTypeTextures(shownTypes);
  for (const std::unique_ptr<Editor3DMenuPage>& page : menuPages) {
    std::map<int, int> icons;
    for (const auto& icon : page->entryIcons) {
      if (icon.second < 0 || icon.second >= indexedWorld->getNbCubeType()) continue;
      CubeType* type = indexedWorld->getCubeType(icon.second);
      type->loadTextures();
      icons[icon.first] = CubeType::getTextureId(type->textureFace[0]);
    }
    page->draw(*font, textColor, icons);
  }
}

void Editor3D::drawOverlay() {
  const Int2 size2D = GLManager::getScene2D()->size2D;
  glColor4ub(textColor[0], textColor[1], textColor[2], textColor[3]);
  font->drawText("Menu", 1.f, 1.f, size2D.x() - 100, 0);
  const double edge = Editor3DWorldGeneration::getCubesPerRegion(*indexedWorld);
  const Int3 region(static_cast<int>(std::floor(cursor.x() / edge)), static_cast<int>(std::floor(cursor.y() / edge)),
                    static_cast<int>(std::floor(cursor.z() / edge)));
  // Under "Menu", ending at the right edge, smaller when it would not fit the width.
  const std::string status = "Region: " + joined(region) + "   Cubes: " + joined(cursor);
  const int statusWidth = font->getTextWidth(status.c_str(), -1, 1.f);
  const int room = std::max(1, size2D.x() - 2 * statusMargin);
  const float statusScale = std::min(1.f, static_cast<float>(room) / static_cast<float>(std::max(1, statusWidth)));
  font->drawText(status.c_str(), statusScale, statusScale,
                 size2D.x() - statusMargin - static_cast<int>(static_cast<float>(statusWidth) * statusScale),
                 font->getHeight() + statusMargin);
  drawMenuPages();
  if (dialogue->isRunning()) dialogue->draw(textColor);
  else drawSelectedTypes();
  glColor4ub(255, 255, 255, 255);
}

void Editor3D::drawSelectedTypes() {
  const std::vector<std::string>& objectTypeNames = indexedWorld->getObjectTypeNames();
  const Int2 size2D = GLManager::getScene2D()->size2D;
  if (!objectTypeNames.empty()) {
    const int count = static_cast<int>(objectTypeNames.size());
    const int shown = std::max(0, std::min(count - 1, currentObjectType));
    // Counted from 1, as the cube types are.
    const std::string text = "Object selected: " + std::to_string(shown + 1) + "/" + std::to_string(count) + " " +
                             objectTypeNames[static_cast<size_t>(shown)];
    Editor3DCubeTypeDialogue::drawTextFitted(*font, text, 10, size2D.y() - 50);
  }
  if (indexedWorld->getNbCubeType() == 0) return;
  assert(currentCubeType >= 0 && currentCubeType < indexedWorld->getNbCubeType());
  // Counted from 1, as the "Select a cube type" page lists them.
  const std::string text = "Cube selected: " + std::to_string(currentCubeType + 1);
  const Int2 end = font->drawText(text.c_str(), 1.f, 1.f, 10, 10);
  CubeType* type = indexedWorld->getCubeType(currentCubeType);
  type->loadTextures();
  glColor4ub(255, 255, 255, 255);
  for (int face = 0; face < 6; ++face)
    Scene2D::drawTexturedRectangle(end.x() + 10 + face * 34, 10, CubeType::getTextureId(type->textureFace[face]), 0.f,
                                   0.f, 1.f, 1.f, 30, 30);
  glColor4ub(textColor[0], textColor[1], textColor[2], textColor[3]);
}
