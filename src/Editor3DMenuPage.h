#ifndef EDITOR3DMENUPAGE_H
#define EDITOR3DMENUPAGE_H

#include <map>
#include <string>
#include <vector>

#include "BasicVector.h"
#include "MouseEvent.h"
#include "SpriteManager.h"

class Font;
class Sprite;

/// One open window of the editor's menu: a title bar (drag it, close box at its right), one
/// line per entry and an optional picture. The title is the page's identity: the editor
/// decides what a chosen entry does from it. Positions are 2D units.
class Editor3DMenuPage {
 public:
  static constexpr int titleHeight = 30;
  static constexpr int entryHeight = 50;
  static constexpr int closeBoxSize = 20;
  static constexpr int iconSize = 30;

  static const char* const menuTitle;                ///< "Menu"
  static const char* const sixTypesMessage;          ///< the six-type message page title
  static const char* const missingHeightmapMessage;  ///< "Missing heightmap file!"
  /// Titles of the four landscape configuration pages and their values by entry.
  static const char* const configurationPages[4];
  static const int randomCubesValues[7];
  static const int accuracyValues[4];
  static const float heightFactorValues[4];
  static const int customObjectsValues[4];
  /// The entries of the page of that title (the menu tree); configuration pages mark the
  /// current value with " <= ". Unknown titles have none.
  static std::vector<std::string> getEntries(const std::string& title, int nbCubeTypes);

  /// What a mouse event did to the page.
  enum class Answer { notHandled, handled, closed, chosen };

  /// `picture`: file name of an image shown on the page, empty for none.
  Editor3DMenuPage(const Int2& parPosition, const std::string& parTitle, const std::vector<std::string>& parEntries,
                   const std::string& picture = "");
  /// Releases the picture.
  ~Editor3DMenuPage();
  Editor3DMenuPage(const Editor3DMenuPage&) = delete;
  Editor3DMenuPage& operator=(const Editor3DMenuPage&) = delete;

  /// Hit test of one event (x, y in 2D units). `chosenEntry` is written for Answer::chosen.
  Answer manageMouseEvent(const MouseEvent& event, const Int2& position2D, int& chosenEntry);
  /// Draws the page, computing its width from the font first. `iconTextures`: entry index to
  /// GL texture (drawn 30 x 30 at the entry's right).
  void draw(Font& font, const Color& textColor, const std::map<int, int>& iconTextures);
  /// Width from the widest of title and entries at scale 1, plus 40.
  void computeWidth(const Font& font);

  Int2 position;
  int width = 200;
  std::string title;
  std::vector<std::string> entries;
  int hoveredEntry = -1;
  Sprite* picture = nullptr;
  /// Entries with an icon: entry index to the cube type whose first face it shows.
  std::map<int, int> entryIcons;

 private:
  bool isDragged = false;
  Int2 grabOffset{0, 0};
};

#endif
