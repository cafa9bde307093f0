#include "editor/Editor3DMenuPage.h"

#include <GL/gl.h>

#include <algorithm>
#include <utility>

#include "Font.h"
#include "GLManager.h"
#include "Scene2D.h"
#include "Sprite.h"
#include "editor/Editor3DWorldGeneration.h"
#include "Assert.h"

const char* const Editor3DMenuPage::menuTitle = "Menu";
const char* const Editor3DMenuPage::helpTitle = "Help";
const char* const Editor3DMenuPage::sixTypesMessage =
    "There must be min 6 cubes types, and you must select first of the 6!";
const char* const Editor3DMenuPage::missingHeightmapMessage = "Missing heightmap file!";

const char* const Editor3DMenuPage::configurationPages[4] = {
    "Configure number of additional random cubes", "Configure heightmap accuracy",
    "Configure heightmap height factor", "Configure number of custom objects"};

static const std::vector<std::string> randomCubesEntries = {"None", "From 0 to 20", "From 0 to 50", "From 0 to 100",
                                                     "From 0 to 250", "From 0 to 600", "From 0 to 1000"};
const int Editor3DMenuPage::randomCubesValues[] = {0, 20, 50, 100, 250, 600, 1000};
static const std::vector<std::string> accuracyEntries = {"Subdivision 1 cube: very accurate", "Subdivision 2 cubes",
                                                  "Subdivision 4 cubes", "Subdivision 8 cubes"};
const int Editor3DMenuPage::accuracyValues[] = {1, 2, 4, 8};
static const std::vector<std::string> heightFactorEntries = {"x0.1 (small)", "x0.2 (medium)", "x0.4 (big)",
                                                      "x1 (very big)"};
const float Editor3DMenuPage::heightFactorValues[] = {0.1f, 0.2f, 0.4f, 1.0f};
static const std::vector<std::string> customObjectsEntries = {"None", "From 0 to 5", "From 0 to 20", "From 0 to 100"};
const int Editor3DMenuPage::customObjectsValues[] = {0, 5, 20, 100};


Editor3DMenuPage::Editor3DMenuPage(const Int2& parPosition, const std::string& parTitle,
                                   const std::vector<std::string>& parEntries, const std::string& pictureName)
    : position(parPosition), title(parTitle), entries(parEntries) {
  if (!pictureName.empty()) picture = GLManager::getSpriteManager()->createSprite(pictureName, 1);
}

Editor3DMenuPage::~Editor3DMenuPage() {
  if (picture != nullptr && GLManager::getSpriteManager() != nullptr)
    GLManager::getSpriteManager()->deleteSprite(picture);
}

namespace {

/// The two columns of a text line, split at its tab (no tab: all in the first).
std::pair<std::string, std::string> splitColumns(const std::string& line) {
  const size_t tab = line.find('\t');
  if (tab == std::string::npos) return {line, std::string()};
  return {line.substr(0, tab), line.substr(tab + 1)};
}

}  // namespace

void Editor3DMenuPage::layout(const Font& font, const Int2& area) {
  int widest = font.getTextWidth(title.c_str(), -1, 1.f);
  for (const std::string& entry : entries) widest = std::max(widest, font.getTextWidth(entry.c_str(), -1, 1.f));
  int naturalWidth = widest + 40;
  int linesWidth = 0;
  linesFirstColumnWidth = 0;
  lineHeight = font.getHeight() + 2;
  if (!lines.empty()) {
    int second = 0;
    for (const std::string& line : lines) {
      const std::pair<std::string, std::string> columns = splitColumns(line);
      linesFirstColumnWidth = std::max(linesFirstColumnWidth, font.getTextWidth(columns.first.c_str(), -1, 1.f));
      second = std::max(second, font.getTextWidth(columns.second.c_str(), -1, 1.f));
    }
    linesWidth = textMargin + linesFirstColumnWidth + 2 * textMargin + second;
  }
  int lowerHeight = static_cast<int>(lines.size()) * lineHeight;
  if (picture != nullptr) {
    picture->scale = Float2(1.f, 1.f);
    linesWidth += textMargin + picture->getScaledWidth();
    lowerHeight = std::max(lowerHeight, picture->getScaledHeight());
  }
  if (linesWidth > 0) {
    naturalWidth = std::max(naturalWidth, linesWidth + textMargin);
    lowerHeight += textMargin;
  }
  const int naturalHeight = titleHeight + static_cast<int>(entries.size()) * entryHeight + lowerHeight;
  scale = 1.f;
  if (area.x() > 0 && area.y() > 0)
    scale = std::min({1.f, static_cast<float>(area.x()) / static_cast<float>(naturalWidth),
                      static_cast<float>(area.y()) / static_cast<float>(naturalHeight)});
  width = std::min(scaled(naturalWidth), std::max(1, area.x()));
  height = std::min(scaled(naturalHeight), std::max(1, area.y()));
  position = Int2(std::max(0, std::min(position.x(), area.x() - width)),
                  std::max(0, std::min(position.y(), area.y() - height)));
}

Editor3DMenuPage::Answer Editor3DMenuPage::manageMouseEvent(const MouseEvent& event, const Int2& mouse,
                                                            int& chosenEntry) {
  const int x = mouse.x();
  const int y = mouse.y();
  const int px = position.x();
  const int py = position.y();
  if (event.kind == MouseEvent::buttonReleased) {
    hoveredEntry = -1;
    isDragged = false;
    return Answer::notHandled;
  }
  if (event.kind == MouseEvent::motionWithButton && isDragged) {
    position = Int2(x, y) - grabOffset;
    return Answer::handled;
  }
  // Left (0) or right (2) button.
  if (event.kind != MouseEvent::buttonPressed || (event.button != 0 && event.button != 2))
    return Answer::notHandled;
  const int closeBox = getCloseBoxSize();
  const int titleBar = getTitleHeight();
  if (px + width - closeBox < x && x < px + width && py < y && y < py + closeBox) return Answer::closed;
  if (px < x && x < px + width && py < y && y < py + titleBar) {
    isDragged = true;
    grabOffset = Int2(x - px, y - py);
    return Answer::handled;
  }
  const int entry = std::max(1, getEntryHeight());
  const long long entriesBottom = static_cast<long long>(py) + titleBar + static_cast<long long>(entries.size()) * entry;
  if (px < x && x < px + width && py + titleBar < y && y < entriesBottom) {
    hoveredEntry = std::min(static_cast<int>(entries.size()) - 1, (y - py - titleBar) / entry);
    chosenEntry = hoveredEntry;
    return Answer::chosen;
  }
  return Answer::notHandled;
}

void Editor3DMenuPage::draw(Font& font, const Color& textColor, const std::map<int, int>& iconTextures) {
  layout(font, GLManager::getScene2D()->size2D);
  const int px = position.x();
  const int py = position.y();
  const int n = static_cast<int>(entries.size());
  const int entriesTop = py + getTitleHeight();
  const int entriesBottom = py + scaled(titleHeight + n * entryHeight);
  glEnable(GL_BLEND);
  glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
  glColor4ub(0, 0, 0, 128);
  Scene2D::drawRectangle(Int2(px, py), Int2(px + width, py + height), true);
  for (int i = 0; i < n; ++i) {
    const int shift = i == hoveredEntry ? scaled(5) : 0;
    const int top = py + scaled(titleHeight + i * entryHeight);
    Scene2D::drawRectangle(Int2(px + scaled(5) + shift, top), Int2(px + width - scaled(5) + shift, top + scaled(40)), true);
  }
  // The close cross over the top right square.
  const int closeBox = getCloseBoxSize();
  glColor4ub(textColor[0], textColor[1], textColor[2], textColor[3]);
  glDisable(GL_TEXTURE_2D);
  glBegin(GL_LINES);
  glVertex2i(px + width - closeBox, py);
  glVertex2i(px + width, py + closeBox);
  glVertex2i(px + width, py);
  glVertex2i(px + width - closeBox, py + closeBox);
  glEnd();
  font.drawText(title.c_str(), scale, scale, px + scaled(10), py);
  for (int i = 0; i < n; ++i) {
    const int shift = i == hoveredEntry ? scaled(5) : 0;
    font.drawText(entries[static_cast<size_t>(i)].c_str(), scale, scale, px + scaled(10) + shift,
                  py + scaled(i * entryHeight + 35));
  }
  const int secondColumn = px + scaled(3 * textMargin + linesFirstColumnWidth);
  for (size_t i = 0; i < lines.size(); ++i) {
    const std::pair<std::string, std::string> columns = splitColumns(lines[i]);
    const int y = entriesBottom + scaled(textMargin / 2 + static_cast<int>(i) * lineHeight);
    font.drawText(columns.first.c_str(), scale, scale, px + scaled(textMargin), y);
    font.drawText(columns.second.c_str(), scale, scale, secondColumn, y);
  }
  glColor4ub(255, 255, 255, 255);
  for (const auto& icon : iconTextures) {
    if (icon.first < 0 || icon.first >= n) continue;
    const int top = entriesTop + scaled(icon.first * entryHeight + 5);
    Scene2D::drawTexturedRectangle(px + width - scaled(iconSize + 10), top, icon.second, 0.f, 0.f, 1.f, 1.f,
                                   scaled(iconSize), scaled(iconSize));
  }
  if (picture != nullptr) {
    picture->scale = Float2(scale, scale);
    picture->position = Int2(px + width - scaled(textMargin) - picture->getScaledWidth(), entriesBottom + scaled(textMargin / 2));
    picture->draw();
  }
  glColor4ub(textColor[0], textColor[1], textColor[2], textColor[3]);
}

std::vector<std::string> Editor3DMenuPage::getEntries(const std::string& title, int nbCubeTypes) {
  auto marked = [](std::vector<std::string> entries, int selected) {
    if (selected >= 0 && selected < static_cast<int>(entries.size())) entries[static_cast<size_t>(selected)] += " <= ";
    return entries;
  };
  auto indexOf = [](const auto& values, auto value) {
    for (size_t i = 0; i < sizeof(values) / sizeof(values[0]); ++i)
      if (values[i] == value) return static_cast<int>(i);
    return -1;
  };
  if (title == menuTitle)
    return {helpTitle, "Cube aggregate types", "Script object types", "Generate landscapes", "Generate random objects",
            "Delete cubes and objects", "Shadows calculation", "Cubes optimization", "Save and load"};
  if (title == "Cube aggregate types")
    return {"Select a cube type", "Previous cube type [F3+PgDown]", "Next cube type [F3+PgUp]",
            "Remove last cube type [F3+r]", "Modify current cube type [F3+m]", "Add a new cube type [F3+q]"};
  if (title == "Select a cube type") {
    std::vector<std::string> entries;
    for (int i = 0; i < nbCubeTypes; ++i) entries.push_back(std::to_string(i + 1));
    return entries;
  }
  if (title == "Script object types")
    return {"Previous script object type [t+PgDown]", "Next script object type [t+PgUp]"};
  if (title == "Generate landscapes")
    return {configurationPages[0], configurationPages[1], configurationPages[2], configurationPages[3],
            "Generate one region",
            "Generate 8x8 regions, using 'world_heightmap.png' (256x256 cubes, ~400 meters) [F4+g]",
            "Generate 32x32 regions, using 'world_heightmap.png' (1024x1024 cubes, almost 2 km)",
            "Generate 64x64 regions, using 'world_heightmap.png' (2048x2048 cubes, almost 4 km)",
            "Generate floating islands on 8x8 regions"};
  if (title == "Generate one region")
    return {"One region (32x32 cubes) [g]", "One region hillside 1 [1+g]", "One region hillside 2 [2+g]",
            "One region hillside 3 [3+g]", "One region hillside 4 [4+g]"};
  if (title == "Generate random objects")
    return {configurationPages[3], "Add random objects on 2x2 regions", "Add random objects on 8x8 regions",
            "Add random objects on 32x32 regions"};
  if (title == "Delete cubes and objects")
    return {"Delete cube or object below cursor [del]", "Delete the nearest cube or object in region [F5+del]",
            "Parallelepiped hole of radius NUMBER [F5+NUMBER+p]", "Spherical hole of radius NUMBER [F5+NUMBER+s]",
            "Clear all cubes and objects in current region [F2+DEL]",
            "Clear all cubes and objects in 8x8x8 regions around cursor",
            "Clear all cubes and objects in 32x32x32 regions around cursor",
            "Clear all cubes and objects in all regions [F4+DEL]"};
  if (title == "Shadows calculation") return {"calculate shadows current region", "calculate shadows all regions"};
  if (title == "Cubes optimization")
    return {"optimize current region", "optimize 8x8x8 regions", "optimize 32x32x32 regions", "optimize all regions"};
  if (title == "Save and load") return {"Save world into world.dat [Ctrl+s]", "Load world from world.dat [Ctrl+l]"};
  if (title == configurationPages[0])
    return marked(randomCubesEntries, indexOf(randomCubesValues, Editor3DWorldGeneration::nbAdditionalRandomCubes));
  if (title == configurationPages[1])
    return marked(accuracyEntries, indexOf(accuracyValues, Editor3DWorldGeneration::heightmapAccuracy));
  if (title == configurationPages[2])
    return marked(heightFactorEntries, indexOf(heightFactorValues, Editor3DWorldGeneration::heightmapHeightFactor));
  if (title == configurationPages[3])
    return marked(customObjectsEntries, indexOf(customObjectsValues, Editor3DWorldGeneration::nbCustomObjects));
  if (title == missingHeightmapMessage || title == sixTypesMessage) return {"Ok"};
  return {};
}

