#ifndef ENGINE_ADAPTIVEDETAIL_H
#define ENGINE_ADAPTIVEDETAIL_H

/// Scales the detail of the world to the time frames take: fed each frame's duration, it
/// answers a scale in [minScale, 1] for the near (detailed) radius and the view distance. The
/// frame times are smoothed (an exponential average over about ten frames); every
/// framesPerStep frames the scale shrinks by shrinkStep while the average runs over the
/// budget, and grows by growStep, never beyond 1, while it stays under growBelow x the budget.
/// Between the two the scale holds, so that a frame time settling near the budget does not
/// make it swing; the steps are slow so that the average sees each one before the next.
/// Plain arithmetic: no configuration, no clock.
class AdaptiveDetail {
 public:
  /// Milliseconds of a frame at 60 frames a second.
  static constexpr double defaultBudgetMs = 1000.0 / 60.0;
  static constexpr float minScale = 0.5f;
  static constexpr float shrinkStep = 0.05f;
  static constexpr float growStep = 0.025f;
  /// Fraction of the budget under which the average must stay for the scale to grow.
  static constexpr double growBelow = 0.8;
  static constexpr int framesPerStep = 15;
  /// Weight of a new frame in the average.
  static constexpr double smoothing = 0.1;

  /// Longest frame counted, in milliseconds.
  static constexpr double maxFrameMs = 1000.0;

  /// A budget not above 0 (or not a number) is defaultBudgetMs.
  explicit AdaptiveDetail(double parBudgetMs = defaultBudgetMs) { setBudgetMs(parBudgetMs); }

  /// Takes one frame's duration in milliseconds (negative or not a number counts as 0, more
  /// than maxFrameMs as maxFrameMs) and steps the scale when its turn has come.
  void addFrame(double frameMs);
  /// Back to full detail, forgetting the frames seen.
  void reset();

  float getScale() const { return scale; }
  /// The smoothed frame time; 0 before the first frame.
  double getAverageMs() const { return averageMs; }
  double getBudgetMs() const { return budgetMs; }
  void setBudgetMs(double parBudgetMs);

 private:
  double budgetMs = defaultBudgetMs;
  double averageMs = 0.0;
  bool isAverageStarted = false;
  int framesSinceStep = 0;
  float scale = 1.f;
};

#endif
