#include "Sound_Silent.h"

void Sound_Silent::play(bool) {}

void Sound_Silent::stop() {}

void Sound_Silent::setVolume(unsigned char) {}

bool Sound_Silent::isPlaying() { return false; }
