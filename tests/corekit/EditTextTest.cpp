#include <gtest/gtest.h>

#include <unistd.h>

#include <GL/glew.h>
#include <GL/freeglut.h>

#include <memory>
#include <string>
#include <vector>

#include "EditText.h"
#include "Font.h"
#include "GLManager.h"
#include "GLTestWindow.h"
#include "KeyboardManager.h"
#include "Scene2D.h"
#include "SpriteManager.h"
#include "Utils.h"

namespace {

class EditTextTest : public testing::Test {
 protected:
  void SetUp() override {
    GLTestWindow::get();
    if (!font) font.reset(new Font());
  }
  static void TearDownTestSuite() { font.reset(); }

  static void type(EditText& field, const std::string& keys) {
    for (unsigned char c : keys) field.key(c);
  }

  static std::unique_ptr<Font> font;
};

std::unique_ptr<Font> EditTextTest::font;

constexpr int backspace = 8;
constexpr int home = 11;
constexpr int deleteKey = 127;

void clear2D() {
  GLManager::getScene2D()->applyProjection();
  glDisable(GL_DEPTH_TEST);
  glColor4ub(255, 255, 255, 255);
  SpriteManager::clearScreen(Color(0, 0, 0, 255));
}

// Lit pixels in [x0, x1) x [y0, y1), 2D units.
std::vector<bool> litMap(int x0, int y0, int x1, int y1) {
  std::vector<unsigned char> pixels =
      GLTestWindow::readPixels(x0, GLManager::getWindowHeight() - y1, x1 - x0, y1 - y0);
  std::vector<bool> lit;
  for (size_t i = 0; i < pixels.size(); i += 4) lit.push_back(pixels[i] > 128);
  return lit;
}

}  // namespace

TEST_F(EditTextTest, TypesAtTheCursorAndMovesIt) {
  EditText field(Int2(10, 10), -1, font.get(), "");
  EXPECT_TRUE(field.getIsActive());
  type(field, "hello");
  EXPECT_EQ(field.getText(), "hello");
  EXPECT_EQ(field.getCursor(), 5);
  field.key(KeyboardManager::keyLeft);
  field.key(KeyboardManager::keyLeft);
  type(field, "X");
  EXPECT_EQ(field.getText(), "helXlo");
  field.key(backspace);
  field.key(backspace);
  EXPECT_EQ(field.getText(), "helo");
  EXPECT_EQ(field.getCursor(), 2);
  field.key(deleteKey);
  EXPECT_EQ(field.getText(), "heo");
  field.key(home);
  EXPECT_EQ(field.getCursor(), 0);
  field.key(KeyboardManager::keyRight);
  EXPECT_EQ(field.getCursor(), 1);
  // Space and line feed have no glyph but are text.
  type(field, " \n");
  EXPECT_EQ(field.getText(), "h \neo");
}

TEST_F(EditTextTest, EditingKeysStopAtTheEnds) {
  EditText field(Int2(10, 10), -1, font.get(), "");
  type(field, "ab");
  field.key(deleteKey);
  field.key(KeyboardManager::keyRight);
  EXPECT_EQ(field.getText(), "ab");
  EXPECT_EQ(field.getCursor(), 2);
  field.key(home);
  field.key(backspace);
  field.key(KeyboardManager::keyLeft);
  EXPECT_EQ(field.getText(), "ab");
  EXPECT_EQ(field.getCursor(), 0);
}

TEST_F(EditTextTest, FunctionKeysArriveAsTheirLowByte) {
  EditText field(Int2(10, 10), -1, font.get(), "");
  type(field, "abc");
  field.key(KeyboardManager::keyF1 + 8);  // F9 acts as backspace
  EXPECT_EQ(field.getText(), "ab");
  field.key(KeyboardManager::keyF1 + 11);  // F12 acts as the start key
  EXPECT_EQ(field.getCursor(), 0);
}

TEST_F(EditTextTest, FiltersDecideWhatIsInserted) {
  EditText limited(Int2(0, 0), 3, font.get(), "");
  type(limited, "abcd");
  EXPECT_EQ(limited.getText(), "abc");

  EditText digits(Int2(0, 0), -1, font.get(), "");
  digits.setIsDigitsOnly(true);
  type(digits, "a1b2 9");
  EXPECT_EQ(digits.getText(), "129");

  EditText allowed(Int2(0, 0), -1, font.get(), "xy");
  type(allowed, "axbyz yx");
  EXPECT_EQ(allowed.getText(), "xyyx");

  EditText anything(Int2(0, 0), -1, font.get(), "");
  anything.key('\t');
  anything.key(200);
  EXPECT_EQ(anything.getText(), "") << "characters the font cannot draw";

  EditText noFont(Int2(0, 0), -1, nullptr, "");
  type(noFont, "abc");
  EXPECT_EQ(noFont.getText(), "");

  EditText inactive(Int2(0, 0), -1, font.get(), "");
  inactive.setIsActive(false);
  type(inactive, "abc");
  EXPECT_EQ(inactive.getText(), "");
}

TEST_F(EditTextTest, PasswordShowsOneStarPerCharacter) {
  EditText field(Int2(100, 100), -1, font.get(), "");
  field.setIsPassword(true);
  type(field, "abc");
  field.setIsActive(false);  // no blinking cursor in the picture
  clear2D();
  field.draw(1.f);
  std::vector<bool> shown = litMap(90, 100, 250, 132);
  clear2D();
  font->drawText("***", 1.f, 1.f, 100, 100);
  EXPECT_EQ(shown, litMap(90, 100, 250, 132));
  clear2D();
  font->drawText("abc", 1.f, 1.f, 100, 100);
  EXPECT_NE(shown, litMap(90, 100, 250, 132));
}

TEST_F(EditTextTest, CursorBlinksAfterTheCharactersBeforeIt) {
  EditText field(Int2(200, 200), -1, font.get(), "");
  type(field, "MM");
  field.key(KeyboardManager::keyLeft);
  // The phase toggles once 500 ms have passed since the last blink (0 at first): wait for a
  // shown phase, which comes within one period whatever the clock reads now.
  long long lastDrawStart = 0;
  for (int attempt = 0; attempt < 120 && !field.getIsCursorShown(); ++attempt) {
    clear2D();
    lastDrawStart = Utils::getTimeMs();
    field.draw(1.f);
    if (!field.getIsCursorShown()) usleep(10000);
  }
  ASSERT_TRUE(field.getIsCursorShown()) << "the cursor never showed";
  // The text alone, then the text with the cursor: they differ around 200 - 3 + width("M").
  std::vector<bool> withCursor = litMap(180, 200, 300, 232);
  clear2D();
  font->drawText("MM", 1.f, 1.f, 200, 200);
  std::vector<bool> textOnly = litMap(180, 200, 300, 232);
  int cursorX = 200 - 3 + font->getTextWidth("M", -1, 1.f);
  int firstDifference = -1;
  for (size_t i = 0; i < withCursor.size() && firstDifference < 0; ++i)
    if (withCursor[i] != textOnly[i]) firstDifference = static_cast<int>(i % 120) + 180;
  EXPECT_GE(firstDifference, cursorX);
  EXPECT_LT(firstDifference, cursorX + font->getGlyphWidth('|'));
  // Drawn again within the period: the phase holds (the last blink came after lastDrawStart;
  // a machine too busy to redraw within the period proves nothing here).
  field.draw(1.f);
  if (Utils::getTimeMs() <= lastDrawStart + 500) {
    EXPECT_TRUE(field.getIsCursorShown());
  }
}

TEST_F(EditTextTest, DestroyingReleasesEveryKey) {
  KeyboardManager* keyboard = GLManager::getKeyboardManager();
  auto field = std::make_unique<EditText>(Int2(0, 0), -1, font.get(), "");
  keyboard->keyDown('a');
  keyboard->specialKeyDown(GLUT_KEY_F2);
  ASSERT_TRUE(keyboard->isKeyDown('a'));
  ASSERT_TRUE(keyboard->isKeyDownNoRepeat(KeyboardManager::keyF1 + 1));
  field.reset();
  EXPECT_FALSE(keyboard->isKeyDown('a'));
  EXPECT_FALSE(keyboard->isKeyDown(KeyboardManager::keyF1 + 1));
  keyboard->keyDown('a');
  EXPECT_TRUE(keyboard->isKeyDownNoRepeat('a')) << "the taken flag was cleared too";
  keyboard->keyUp('a');
}

TEST(EditTextWithoutWindowTest, NeedsTheDeviceManager) {
  EXPECT_EXIT(EditText(Int2(0, 0), -1, nullptr, ""), testing::ExitedWithCode(1),
              "Condition: deviceManager");
}
