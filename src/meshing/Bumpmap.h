#ifndef BUMPMAP_H
#define BUMPMAP_H

/// A borrowed view of a bump map image: rows of width pixels, 3 bytes per pixel (4 with
/// alpha); only the first byte of a pixel, a height 0..255, is used (128 is the flat face).
struct Bumpmap {
  const unsigned char* pixels = nullptr;
  int width = 0;
  int height = 0;
  int bytesPerPixel = 3;

  int getWidth() const { return width; }
  int getHeight() const { return height; }
  unsigned char heightAt(int x, int y) const { return pixels[(y * width + x) * bytesPerPixel]; }
};

#endif
