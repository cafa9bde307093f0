// An image decoder up to the pixels (stretching and the texture need OpenGL), built once per
// format: FUZZ_IMAGE_PATH names the file, and its end picks the decoder.
#include "FuzzHarness.h"
#include "ImageLoader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FILE* file = FuzzHarness::openBytes(data, size);
  FuzzHarness::run([file] {
    int height = 0;
    int width = 0;
    bool isAlpha = false;
    ImageLoader::decodeImage(file, FUZZ_IMAGE_PATH, height, width, isAlpha, false);
  });
  std::fclose(file);
  return 0;
}
