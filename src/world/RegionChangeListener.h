#ifndef REGIONCHANGELISTENER_H
#define REGIONCHANGELISTENER_H

class WorldRegion;

/// Told by the region table just before the zones or the script objects of a region change
/// through it (the editor's undo log keeps the region as it was). The region is borrowed for
/// the call only: it may be moved or deleted afterwards.
class RegionChangeListener {
 public:
  virtual ~RegionChangeListener() = default;
  virtual void regionChanging(WorldRegion& region) = 0;
};

#endif
