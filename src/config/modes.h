#pragma once
// The two numbers of Config.ini that choose how the system works: the page mode (CUT_FT) and
// the link (Xitong_TT). The values are the ones stored in the file; code compares against these
// names instead of bare numbers. A stored number outside the lists stays what it is (an unknown
// link sends nothing, an unknown page mode keeps every stroke on page 0).

namespace qel::config {

enum class PageMode : int {
  SingleByCoordinates = 0,  // one page, strokes outside the window dropped
  SingleByPause = 1,        // one page, pause commands ignored for paging
  MultiByCoordinates = 2,   // page of each stroke's pen-up x; outside its window fails the run
  MultiByPause = 3,         // pages counted at "PG"/"NR" followed by the split label
  HardPartition = 4,        // "DF  Page Split": pen-down runs cut at page edges
  NoSplit = 5,              // "DF": sent as they come, not disposed of
  Rolling = 6,              // "Rolling Split"
  PenGrouped = 7,           // "SP  Page Split": as hard partition, written grouped by pen
  Contour = 8,              // "LK  Page Split": joined contours, whole-stroke page split
  CcdCut = 9,               // "CCD CUT": handed to the print-and-cut window
};

enum class LinkType : int {
  Parallel = 1,     // shell copy to a parallel port
  Serial = 2,       // serial line in blocks
  Controller = 3,   // "QEL DSP SYSTEM": controller file transfer with CRC check
  Network = 4,      // "QEL ARM SYSTEM": the program's own TCP protocol
  Coordinator = 5,  // "QEL MC SYSTEM": motion coordinator command client
};

constexpr int operator+(PageMode m) { return static_cast<int>(m); }
constexpr int operator+(LinkType t) { return static_cast<int>(t); }
constexpr bool operator==(int stored, PageMode m) { return stored == +m; }
constexpr bool operator==(int stored, LinkType t) { return stored == +t; }

}  // namespace qel::config
