#include "shell/MenuState.h"

#include <GL/glew.h>
#include <GL/freeglut.h>

#include <iostream>
#include <sstream>
#include <string>

#include "DeviceManager.h"
#include "Font.h"
#include "KeyboardManager.h"
#include "Scene2D.h"
#include "Sprite.h"
#include "SpriteManager.h"
#include "scene/World.h"
#include "Assert.h"
#include "world/CubeZoneLooks.h"

bool MenuState::isFullscreenEnteredFromMenu = false;
bool MenuState::isFullscreenNow = false;
bool MenuState::isDisplayChosen = false;

namespace {

// Hot zones are open rectangles in window pixels: a click on the border is outside.
bool isStrictlyInside(Int2 point, Int2 topLeft, Int2 bottomRight) {
  return point > topLeft && point < bottomRight;
}

// The view distance grows and shrinks by 20 % beyond a fixed 400 units, never below 410.
constexpr float viewDistanceBase = 400.f;
constexpr float viewDistanceFactor = 1.2f;
constexpr float viewDistanceMinimumStep = 10.f;

}  // namespace

MenuState::MenuState() {
  SpriteManager* sprites = GLManager::getSpriteManager();
  assert(sprites != NULL, "MenuState: no texture registry");
  mainMenuSprite = sprites->createSprite(mainMenuImage, 1);
  optionsMenuSprite = sprites->createSprite(optionsMenuImage, 1);
  mouseSprite = sprites->createSprite(mouseImage, 1);
  // The world scene starts at the configured distance; the menu steps it from there.
  viewDistance = static_cast<float>(DeviceManager::getInstance()->getConfig().getDouble("default_distance_vision"));
  if (!isDisplayChosen) isFullscreenNow = GLManager::isFullscreen();
}

MenuState::~MenuState() {
  SpriteManager* sprites = GLManager::getSpriteManager();
  if (sprites == nullptr) return;
  sprites->deleteSprite(mainMenuSprite);
  sprites->deleteSprite(optionsMenuSprite);
  sprites->deleteSprite(mouseSprite);
}

bool MenuState::getIsFullscreenEntered() {
  return isFullscreenEnteredFromMenu || GLManager::isFullscreen();
}

void MenuState::showMainMenu() {
  isMainMenuShown = true;
  isOptionsMenuShown = false;
}

bool MenuState::takeMainMenuRequest(bool& isRequested, bool isEditorPrompting) {
  const bool wasRequested = isRequested;
  isRequested = false;
  if (!wasRequested || isEditorPrompting) return false;
  showMainMenu();
  return true;
}

bool MenuState::manageInput(const std::vector<int>& typedKeys,
                            const std::vector<MouseEvent>& mouseEvents, bool isEditorPrompting) {
  bool isGoingOn = true;
  // Escape belongs to the menu: answered here, the script does not act on it in this frame too.
  KeyboardManager* keyboard = GLManager::getKeyboardManager();
  if (keyboard != nullptr) keyboard->isKeyDownNoRepeat(keyEscape);
  for (const int key : typedKeys) {
    if (isMainMenuShown) {
      if (key == keyEscape && !isEditorPrompting) isMainMenuShown = false;
      else if (key == 'q' || key == 'Q') isGoingOn = false;
    } else if (isOptionsMenuShown) {
      isOptionsMenuShown = false;
      isMainMenuShown = true;
    }
  }
  for (const MouseEvent& event : mouseEvents) {
    if (event.kind != MouseEvent::buttonPressed) continue;
    if (isMainMenuShown) {
      if (!clickMainMenu(event.x, event.y)) isGoingOn = false;
    } else if (isOptionsMenuShown) {
      clickOptionsMenu(event.x, event.y);
    }
  }
  return isGoingOn;
}

bool MenuState::clickMainMenu(int x, int y) {
  // No button there: clicks in that corner of the image do nothing.
  if (isStrictlyInside(Int2(x, y), Int2(200, 15), Int2(270, 55))) return true;
  if (x <= 50 || x >= 150) return true;
  if (y >= 151 && y <= 214) {
    isMainMenuShown = false;
  } else if (y > 250 && y < 315) {
    isMainMenuShown = false;
    isOptionsMenuShown = true;
  } else if (y > 350 && y < 415) {
    return false;
  }
  return true;
}

void MenuState::clickOptionsMenu(int x, int y) {
  if (isStrictlyInside(Int2(x, y), Int2(200, 10), Int2(270, 50))) {
    isOptionsMenuShown = false;
    isMainMenuShown = true;
    return;
  }
  if (x > 50 && x < 450) {
    const int column = (x - 50) / 100;
    if (y >= 101 && y <= 149) chooseDisplayMode(0, column);
    else if (y > 150 && y < 200) chooseDisplayMode(1, column);
  }
  if (y > 250 && y < 500 && x > 250 && x < 450) chooseSetting((y - 250) / 50, (x - 250) / 100);
}

void MenuState::enterFullscreen(int width, int height) {
  GLManager::setFullscreen(width, height);
  isFullscreenEnteredFromMenu = true;
  isFullscreenNow = true;
  isDisplayChosen = true;
}

void MenuState::chooseDisplayMode(int row, int column) {
  static constexpr int fullscreenSizes[2][4][2] = {
      {{0, 0}, {0, 0}, {640, 480}, {800, 600}},
      {{1024, 768}, {1280, 1024}, {1280, 800}, {1920, 1200}}};
  if (row == 0 && column == 0) {
    if (getIsFullscreenEntered()) return;
    GLManager::setWindowed(800, 600);
    isFullscreenNow = false;
    isDisplayChosen = true;
  } else if (row == 0 && column == 1) {
    if (glutGetWindow() != 0) glutFullScreen();
    isFullscreenEnteredFromMenu = true;
    isFullscreenNow = true;
    isDisplayChosen = true;
  } else {
    enterFullscreen(fullscreenSizes[row][column][0], fullscreenSizes[row][column][1]);
  }
}

void MenuState::chooseSetting(int row, int choice) {
  const bool isRight = choice == 1;
  XMLSimple& config = DeviceManager::getInstance()->getConfig();
  switch (row) {
    case 0:
      // The world scene will draw with this distance once it exists.
      if (isRight) {
        // At or below the base the step would shrink the distance, toward negative values:
        // the farther choice never brings the view nearer.
        if (viewDistance > viewDistanceBase)
          viewDistance = (viewDistance - viewDistanceBase) * viewDistanceFactor + viewDistanceBase;
      } else {
        const float beyondBase = viewDistance - viewDistanceBase;
        if (beyondBase > viewDistanceMinimumStep) viewDistance = beyondBase / viewDistanceFactor + viewDistanceBase;
      }
      if (world != nullptr) world->setViewDistance(viewDistance);
      break;
    case 1:
      shadowsEnabled = isRight;
      // Regions keep the meshes they were built with: all of them are freed so that the world
      // is rebuilt with or without shadows at once.
      if (world != nullptr) world->getIndexedWorld().freeAllRegions();
      break;
    case 2:
      // Applied and logged on every click, whether or not it changes.
      isReverseMouseY = isRight;
      if (world != nullptr) world->setReverseMouseY(isRight);
      break;
    case 3:
      config.setBool("optimization_world_load_progressive", isRight);
      std::cout << "optimization_world_load_progressive: " << isRight << std::endl;
      break;
    case 4:
      config.setDouble("max_view_distance_detailed_in_region_units", isRight ? 1.0 : 0.0);
      std::cout << "max_view_distance_detailed_in_region_units: " << isRight << std::endl;
      break;
    default:
      break;
  }
}

void MenuState::draw(Font& font, const char* versionText, int64_t periodDuration, bool isEditorMode) {
  const bool isMenuShown = getIsMenuShown();
  if (isMenuShown) {
    glColor4ub(0, 0, 0, 128);
    Scene2D::drawRectangle(Int2(0, 0), GLManager::getScene2D()->size2D, true);
    glColor4ub(255, 255, 255, 255);
  }
  if (isMainMenuShown) {
    mainMenuSprite->draw();
    font.drawText(versionText, 1.f, 1.f, 155, 100);
    // The first frame has no period yet.
    const float fps = periodDuration > 0 ? 1000000.f / static_cast<float>(periodDuration) : 0.f;
    std::ostringstream fpsText;
    fpsText << "FPS: " << fps << "\n";
    font.drawText(fpsText.str().c_str(), 1.f, 1.f, 155, 100 + font.getHeight());
  }
  if (isOptionsMenuShown) optionsMenuSprite->draw();
  if (isMenuShown || isEditorMode) {
    mouseSprite->position = GLManager::getMousePosition2D();
    mouseSprite->draw();
  }
}
