#ifndef ENGINE_WORLD_H
#define ENGINE_WORLD_H

#include <memory>
#include <string>
#include <vector>

#include "BasicVector.h"
#include "world/IndexedWorld.h"
#include "Object3D.h"
#include "scene/AdaptiveDetail.h"
#include "streaming/RegionStreamer.h"

class Font;
class PassTimings;
class Player;
class Skybox;
class SoundManager;
class Water;

/// The 3D scene of the game: the indexed world of cubes and its region streamer, the player,
/// the skybox and the water.
/// It shows a loading screen while it builds them, advances them once per frame and draws them
/// in a fixed order (opaque regions, player, skybox, translucent regions, script objects; the
/// water in a final pass). It is
/// also the collision provider of the player and the script objects: a point collides where a
/// collidable cube lies. One exists at a time (the indexed world owns the region build worker);
/// needs the device manager.
///
/// Configuration read: "default_distance_vision" (construction), "skybox_directory",
/// "adaptive_detail", "adaptive_detail_budget_ms" (every update), "enable_water" (every water
/// pass).
class World : public Object3D {
 public:
  /// Fog starts this far before the view distance ends; the view distance is the configured
  /// distance plus this.
  static constexpr float viewDistanceMargin = 400.f;
  static constexpr const char* loadingImage = "images_engine/loading.png";
  /// The light of the scene (and of the static shadow commands) sits this far from the camera.
  static Float3 lightOffset() { return Float3(-3000.f, 10000.f, -3000.f); }

  /// Loads the world file, shows the loading screen, then creates the player (with the sound
  /// system, borrowed), the skybox and the water. The font is borrowed; so are the script
  /// object type names, which the indexed world shares with the script host (null: a list of
  /// the world's own).
  World(const std::string& parWorldFile, Font* parFont, SoundManager* parSound,
        const std::string& parScriptFile, std::vector<std::string>* parObjectTypeNames = nullptr);
  /// Deletes the water, the player, the skybox, then the region streamer and the indexed world
  /// (which stops the region build worker).
  ~World() override;
  World(const World&) = delete;
  World& operator=(const World&) = delete;

  /// Whether a collidable cube lies at `point`; on a hit `hitPoint` receives `start`.
  bool testCollision(Float3 start, Float3 point, Float3& hitPoint) override;
  /// The segment test against the cubes (the first hit found).
  bool testSegment(Float3 start, Float3 end, Float3& hitPoint) override;
  /// Nothing: the world is drawn by draw(editorMode) and drawWater().
  void draw() override {}

  /// Once per frame: skybox follows its configured directory, light, cube types' used flags,
  /// script objects, the objects of the regions around the camera, the player (when active and
  /// no full-screen sprite is shown), the water's textures. With "adaptive_detail" the last
  /// frame's period goes to the adaptive detail (budget "adaptive_detail_budget_ms", absent or
  /// 0: 60 frames a second); without it the detail is full.
  void manage(bool playerActive);
  /// The main 3D pass, fog on: the regions without translucent faces, the player, the skybox
  /// where nothing covers it, the other regions, the script objects; unused cube textures
  /// freed. In editor mode (regions outlined) and without the opaque path the skybox goes
  /// first, the player last. Nothing while a full-screen sprite is shown.
  void draw(bool editorMode);
  /// Whether the next draw covers every pixel of the window: its skybox has no alpha and no
  /// full-screen sprite is shown.
  bool isSkyCoveringScreen() const;
  /// The screen clear before the frame: colour and depth, or the depth alone (with `colour`
  /// kept as the clear colour) where the sky covers the screen.
  void clearScreen(BasicVector<4, unsigned char> colour) const;
  /// The final 3D pass: the water around the camera when "enable_water" is set; fog off.
  void drawWater();
  /// drawWater() with the waves at the moment `timeMs` of the clock (Utils::getTimeMs).
  void drawWater(int64_t timeMs);
  /// The 2D pass: the under-water screen tint for the camera when "enable_water" is set and no
  /// full-screen sprite is shown.
  void drawWaterScreenTint();
  /// Sets the player's reversed vertical mouse look and logs it.
  void setReverseMouseY(bool isReverse);

  IndexedWorld& getIndexedWorld() { return indexedWorld; }
  Player* getPlayer() const { return player.get(); }
  Skybox* getSkybox() const { return skybox.get(); }
  Water* getWater() const { return water.get(); }
  Font* getFont() const { return font; }

  float getViewDistance() const { return viewDistance; }
  void setViewDistance(float distance) { viewDistance = distance; }
  /// The view distance the draws use: viewDistance at full detail; with the adaptive detail's
  /// scale s below 1, its configured part scaled, (viewDistance - viewDistanceMargin) x s +
  /// viewDistanceMargin, so that the fog keeps its place before the end of the view. The near
  /// radius of the regions is scaled by s too.
  float getDrawnViewDistance() const;
  AdaptiveDetail& getAdaptiveDetail() { return adaptiveDetail; }
  /// The view distance of the last draw: the radius within which region objects are stepped.
  float getLastDrawRadius() const { return lastDrawRadius; }
  bool getFullscreenSpriteShown() const { return fullscreenSpriteShown; }
  void setFullscreenSpriteShown(bool isShown) { fullscreenSpriteShown = isShown; }
  /// R, G, B, A; the main manager copies the script's clear colour here every frame.
  BasicVector<4, unsigned char> getFogColour() const { return fogColour; }
  void setFogColour(const unsigned char colour[4]) {
    fogColour = BasicVector<4, unsigned char>(colour[0], colour[1], colour[2], colour[3]);
  }
  /// Where the passes of draw() report their times (null: nowhere).
  void setPassTimings(PassTimings* parPassTimings) { passTimings = parPassTimings; }
  const std::string& getWorldFile() const { return worldFile; }
  const std::string& getScriptFile() const { return scriptFile; }

  /// The loading screen: the loading image centred on a black screen, shown through the frame
  /// step, then released.
  static void showLoadingScreen() { drawLoadingScreen(true); }
  /// The same drawing; the frame step (buffer swap) only when `isShown`.
  static void drawLoadingScreen(bool isShown);

 private:
  /// The player, lit; lighting off again after it.
  void drawPlayer();

  IndexedWorld indexedWorld;
  /// Builds, draws and frees the regions of indexedWorld around the camera.
  RegionStreamer streamer;
  Font* font;
  std::unique_ptr<Player> player;
  bool fullscreenSpriteShown = false;
  std::unique_ptr<Skybox> skybox;
  BasicVector<4, unsigned char> fogColour{255, 255, 255, 255};
  std::unique_ptr<Water> water;
  float viewDistance;
  float lastDrawRadius = 0.f;
  AdaptiveDetail adaptiveDetail;
  std::string worldFile;
  std::string scriptFile;
  PassTimings* passTimings = nullptr;
};

#endif
