#include "scene/AdaptiveDetail.h"

#include <algorithm>

void AdaptiveDetail::setBudgetMs(double parBudgetMs) { budgetMs = parBudgetMs > 0.0 ? parBudgetMs : defaultBudgetMs; }

void AdaptiveDetail::addFrame(double frameMs) {
  const double ms = frameMs > 0.0 ? std::min(frameMs, maxFrameMs) : 0.0;
  averageMs = isAverageStarted ? averageMs + (ms - averageMs) * smoothing : ms;
  isAverageStarted = true;
  if (++framesSinceStep < framesPerStep) return;
  framesSinceStep = 0;
  if (averageMs > budgetMs)
    scale = std::max(minScale, scale - shrinkStep);
  else if (averageMs < budgetMs * growBelow)
    scale = std::min(1.f, scale + growStep);
}

void AdaptiveDetail::reset() {
  averageMs = 0.0;
  isAverageStarted = false;
  framesSinceStep = 0;
  scale = 1.f;
}
