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
/// line per entry, then optional text lines (not choosable) and a picture. The title is the
/// page's identity: the editor decides what a chosen entry does from it. Positions are 2D units.
///
/// A page that would not fit the screen is drawn smaller as a whole (text, bars and boxes
/// alike) and moved inside it, so every text and the close box stay on screen; at full size
/// its figures are the constants below.
class Editor3DMenuPage {
 public:
  static constexpr int titleHeight = 30;
  static constexpr int entryHeight = 50;
  static constexpr int closeBoxSize = 20;
  static constexpr int iconSize = 30;
  /// Space left around the page text and between the columns of the text lines.
  static constexpr int textMargin = 10;

  static const char* const menuTitle;                ///< "Menu"
  static const char* const helpTitle;                ///< "Help"
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

  /// Hit test of one event (x, y in 2D units) against the last layout. `chosenEntry` is
  /// written for Answer::chosen.
  Answer manageMouseEvent(const MouseEvent& event, const Int2& position2D, int& chosenEntry);
  /// Lays the page out (layout), then draws it. `iconTextures`: entry index to GL texture
  /// (drawn at the entry's right).
  void draw(Font& font, const Color& textColor, const std::map<int, int>& iconTextures);
  /// Size and scale from the font: full size is the widest of title and entries at scale 1
  /// plus 40 wide (wider for the text lines and picture), 30 + 50 per entry high (plus the
  /// text lines); scaled down to fit `area` when it is bigger, then moved inside `area`.
  void layout(const Font& font, const Int2& area);

  /// Title bar, entry and close box sizes as laid out.
  int getTitleHeight() const { return scaled(titleHeight); }
  int getEntryHeight() const { return scaled(entryHeight); }
  int getCloseBoxSize() const { return scaled(closeBoxSize); }

  Int2 position;
  int width = 200;   ///< as laid out
  int height = 30;   ///< as laid out
  float scale = 1.f; ///< as laid out: 1, or less when the page had to shrink to fit
  std::string title;
  std::vector<std::string> entries;
  /// Lines of text under the entries; a tab separates the first column from the second.
  std::vector<std::string> lines;
  int hoveredEntry = -1;
  Sprite* picture = nullptr;
  /// Entries with an icon: entry index to the cube type whose first face it shows.
  std::map<int, int> entryIcons;

 private:
  int scaled(int length) const { return static_cast<int>(static_cast<float>(length) * scale + 0.5f); }
  /// Width of the first column of the text lines at scale 1.
  int linesFirstColumnWidth = 0;
  int lineHeight = 0;
  bool isDragged = false;
  Int2 grabOffset{0, 0};
};

#endif
