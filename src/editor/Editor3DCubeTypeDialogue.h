#ifndef EDITOR3DCUBETYPEDIALOGUE_H
#define EDITOR3DCUBETYPEDIALOGUE_H

#include <memory>
#include <string>
#include <vector>

#include "SpriteManager.h"

class EditText;
class Font;

/// The editor's ten-step dialogue that makes or changes a cube type: the six face textures
/// typed as file names (a name without its file is refused and kept for correction), then
/// three texture options and whether the type is collidable, each answered with y or n.
/// Escape abandons it. The editor owns it, hands it the keys while it runs and applies the
/// answers when it completes.
class Editor3DCubeTypeDialogue {
 public:
  /// Steps: 0 none, 1..6 face names, 7..9 texture options, 10 collidable.
  static constexpr int nbSteps = 10;

  explicit Editor3DCubeTypeDialogue(Font* parFont);
  ~Editor3DCubeTypeDialogue();
  Editor3DCubeTypeDialogue(const Editor3DCubeTypeDialogue&) = delete;
  Editor3DCubeTypeDialogue& operator=(const Editor3DCubeTypeDialogue&) = delete;

  /// Starts at the first face, unless it runs already. `currentNames` are the face names of
  /// the type being changed, offered for keeping, null for a new type or none known.
  void start(bool parModify, const std::string* currentNames);
  /// One typed key; `currentNames` as for start. True when the key completed the dialogue
  /// (the step is back to 0 and the answers are ready).
  bool manageKey(int keyIndex, const std::string* currentNames);
  /// The questions answered so far, the one asked and its prompt (and the texture files while
  /// a face is asked).
  void draw(const Color& textColor);
  /// One line of text, smaller when it would run past the screen's right edge.
  static void drawTextFitted(Font& font, const std::string& text, int x, int y);

  bool isRunning() const { return step >= 1; }
  int getStep() const { return step; }
  bool isModify() const { return modify; }
  const std::string* getNames() const { return names; }
  const bool* getOptions() const { return options; }
  bool getIsCollidable() const { return isCollidable; }
  /// The texture files offered (read when the dialogue starts).
  const std::vector<std::string>& getTextureFiles() const { return textureFiles; }
  /// Whether the last face name typed was refused (no such texture file).
  bool getIsTextureNameRefused() const { return isTextureNameRefused; }

 private:
  /// The text entry of a face step: empty, or the face's current name when modifying.
  void startFaceStep(const std::string* currentNames);
  /// The texture files in columns from `top` down to the bottom of the screen, smaller when
  /// they would not fit.
  void drawTextureFiles(int top);

  Font* font;
  std::unique_ptr<EditText> editText;
  int step = 0;
  bool modify = false;
  std::string names[6];
  bool options[3] = {true, true, true};
  bool isCollidable = false;
  std::vector<std::string> textureFiles;
  bool isTextureNameRefused = false;
  std::string refusedTextureName;
};

#endif
