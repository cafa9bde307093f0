#ifndef REGIONTABLELISTENER_H
#define REGIONTABLELISTENER_H

/// Told by the region table when the regions and table indices it handed out stop being valid:
/// every region is deleted (reset, deletion of all regions) or moved to another cell of a
/// resized table (growth, fitting the table to its content). Called before the old regions are
/// deleted; the listener only drops what it kept of them (the streaming's lists of the last
/// draw).
class RegionTableListener {
 public:
  virtual ~RegionTableListener() = default;
  virtual void regionsInvalidated() = 0;
};

#endif
