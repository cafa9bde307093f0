#include "VBOArena.h"

#include <GL/glew.h>

#include <string>

#include "Assert.h"

VBOArena::~VBOArena() {
  for (Block& block : blocks) {
    GLuint name = block.name;
    glDeleteBuffersARB(1, &name);
  }
}

VBOArena::Range VBOArena::allocate(int count, bool withFog) {
  assert(count >= 1 && count <= largestShared, "VBOArena::allocate: " + std::to_string(count) + " vertices");
  for (int pass = 0; pass < 2; ++pass) {
    for (Block& block : blocks) {
      if (block.withFog != withFog) continue;
      for (size_t i = 0; i < block.freeRanges.size(); ++i) {
        std::pair<int, int>& free = block.freeRanges[i];
        if (free.second < count) continue;
        Range range;
        range.name = block.name;
        range.first = free.first;
        range.count = count;
        free.first += count;
        free.second -= count;
        if (free.second == 0) block.freeRanges.erase(block.freeRanges.begin() + (std::ptrdiff_t)i);
        block.used += count;
        return range;
      }
    }
    // No room: a new block, empty.
    const size_t bytes = fogOffset + (withFog ? (size_t)blockVertices * sizeof(float) : 0);
    Block block;
    glGenBuffersARB(1, &block.name);
    glBindBufferARB(GL_ARRAY_BUFFER_ARB, block.name);
    glBufferDataARB(GL_ARRAY_BUFFER_ARB, (GLsizeiptrARB)bytes, nullptr, GL_STATIC_DRAW_ARB);
    glBindBufferARB(GL_ARRAY_BUFFER_ARB, 0);
    block.withFog = withFog;
    block.freeRanges.push_back(std::make_pair(0, blockVertices));
    blocks.push_back(std::move(block));
  }
  assert(false, "VBOArena::allocate: no room in a new block");
  return Range();
}

void VBOArena::release(const Range& range) {
  for (size_t b = 0; b < blocks.size(); ++b) {
    Block& block = blocks[b];
    if (block.name != range.name) continue;
    block.used -= range.count;
    if (block.used == 0) {
      GLuint name = block.name;
      glDeleteBuffersARB(1, &name);
      blocks.erase(blocks.begin() + (std::ptrdiff_t)b);
      return;
    }
    // Put back in order, joined to the free ranges it touches.
    std::vector<std::pair<int, int>>& free = block.freeRanges;
    size_t at = 0;
    while (at < free.size() && free[at].first < range.first) ++at;
    free.insert(free.begin() + (std::ptrdiff_t)at, std::make_pair(range.first, range.count));
    if (at + 1 < free.size() && free[at].first + free[at].second == free[at + 1].first) {
      free[at].second += free[at + 1].second;
      free.erase(free.begin() + (std::ptrdiff_t)at + 1);
    }
    if (at > 0 && free[at - 1].first + free[at - 1].second == free[at].first) {
      free[at - 1].second += free[at].second;
      free.erase(free.begin() + (std::ptrdiff_t)at);
    }
    return;
  }
  assert(false, "VBOArena::release: a range of no block");
}
