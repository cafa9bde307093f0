#include "scene/ConfiguredFiles.h"

#include <sys/stat.h>

#include <cstdio>
#include <memory>

#include "FileCloser.h"
#include "ImageLoader.h"
#include "scene/Player.h"
#include "scene/Skybox.h"

namespace {

bool isImageKey(const std::string& key) { return key == "water_texture" || key == "water_sub_texture"; }
bool isSoundKey(const std::string& key) { return key == "player_sound_walk" || key == "player_sound_jump"; }

/// Empty when `path` is a regular file that can be opened for reading.
std::string findFileProblem(const std::string& path) {
  struct stat status;
  if (stat(path.c_str(), &status) != 0) return "there is no file '" + path + "'";
  if (!S_ISREG(status.st_mode)) return "'" + path + "' is not a regular file";
  FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return "'" + path + "' cannot be read";
  std::fclose(file);
  return std::string();
}

bool endsWithNoCase(const std::string& text, const char* end) {
  const std::string tail(end);
  if (text.size() < tail.size()) return false;
  for (size_t i = 0; i < tail.size(); ++i) {
    const char c = text[text.size() - tail.size() + i];
    if ((c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c) != tail[i]) return false;
  }
  return true;
}

/// Empty when `path` is an image the texture registry loads: decoded here once, as the
/// registry will.
std::string findImageProblem(const std::string& path) {
  const std::string fileProblem = findFileProblem(path);
  if (!fileProblem.empty()) return fileProblem;
  // The formats the image loader knows, as it tells them apart (any other name is fatal there).
  const bool isKnown = endsWithNoCase(path, ".png") || endsWithNoCase(path, ".jpg") ||
                       endsWithNoCase(path, ".jpeg") || endsWithNoCase(path, ".tga");
  if (!isKnown) return "'" + path + "' is not a PNG, JPEG or TGA image";
  const UniqueFile file(std::fopen(path.c_str(), "rb"));
  if (file == nullptr) return "'" + path + "' cannot be read";
  int height = 0, width = 0;
  bool isAlpha = false;
  const std::unique_ptr<unsigned char[]> pixels =
      ImageLoader::decodeImage(file.get(), path, height, width, isAlpha, false);
  if (!pixels) return "'" + path + "' holds no image";
  return std::string();
}

}  // namespace

std::string ConfiguredFiles::findProblem(const std::string& key, const std::string& value) {
  // An empty texture name is the registry's default image.
  if (isImageKey(key)) return value.empty() ? std::string() : findImageProblem(value);
  if (isSoundKey(key)) return findFileProblem(value);
  if (key == "skybox_directory") {
    for (const char* face : Skybox::faceFileNames) {
      const std::string problem = findImageProblem(value + face);
      if (!problem.empty()) return problem;
    }
    return std::string();
  }
  if (key == "player_model_directory") {
    for (int frame = 1; frame <= Player::nbModelFrames; ++frame) {
      const std::string problem = findFileProblem(value + "/player_frame" + std::to_string(frame) + ".obj");
      if (!problem.empty()) return problem;
    }
  }
  return std::string();
}
