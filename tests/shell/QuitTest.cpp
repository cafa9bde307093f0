#include <gtest/gtest.h>

#include <string>

#include "TestGame.h"

// How the program ends when the script quits: what the script forgot to unload is the engine's
// to free, with one report, and the program still ends well.
namespace {

int countOf(const std::string& text, const std::string& part) {
  int count = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
  return count;
}

}  // namespace

TEST(QuitTest, SpritesAndModelsTheScriptStillHoldsAreFreedWithOneReport) {
  TestGame game(R"(
Game = {}
function Game.init()
  first = load2DSprite("whiteTexture.png")
  second = load2DSprite("models/drone/drone.png")
  unload2DSprite(load2DSprite("images_engine/editor_box.png"))
  third = load2DSprite("whiteTexture.png")
  coin = load3DModel("models/coin/coin.obj")
end
function Game.manage() quitGame() end
function Game.draw3D() end
function Game.draw2D() end
function Game.uninit() end
)");
  const int status = game.run();
  const std::string& output = game.output;
  const std::string errors = game.errors();
  EXPECT_EQ(status, 0) << output << errors;
  EXPECT_EQ(countOf(errors, "ERROR : "), 1) << errors;
  EXPECT_NE(errors.find("ERROR : The script ended holding 3 sprites and 1 model it never unloaded "
                        "(whiteTexture.png, models/drone/drone.png, whiteTexture.png and 1 more): "
                        "the engine freed them\n"),
            std::string::npos)
      << errors;
  EXPECT_EQ(errors.find("sprites.size() == 0"), std::string::npos) << errors;
  // Freed by the engine: the images go with their last sprite.
  EXPECT_EQ(countOf(output, "Freeing image 'models/drone/drone.png'"), 1) << output;
}
