#pragma once
// Turns the kernel's file-change events into the watcher's notifications: added, removed,
// modified and name change, pairing a moved-from event with the moved-to event of the same
// cookie even when the pair is split over two reads.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace qel::intake {

struct RawEvent {
  int wd = -1;
  std::uint32_t mask = 0;
  std::uint32_t cookie = 0;
  std::string name;
};

// Splits a buffer of inotify_event records; a record cut short at the end is dropped.
std::vector<RawEvent> parseInotifyBuffer(const char* data, std::size_t length);

struct DecodedEvent {
  // Modified with `written`: bytes were written (IN_MODIFY; without: attributes changed).
  // ClosedAfterWrite: a writer closed the file (IN_CLOSE_WRITE).
  enum Kind { Added = 1, Removed = 2, Modified = 3, NameChange = 4, WatchGone = 5, DirCreated = 6, ClosedAfterWrite = 7 };
  Kind kind = Added;
  int wd = -1;
  std::string name;
  int newWd = -1;          // name change: where the new name lives
  std::string newName;
  bool isDir = false;
  bool written = false;
};

class EventDecoder {
 public:
  // Decodes one read's events. A moved-from event that ends the read is held back until the
  // next read (or flush()) shows whether its moved-to partner follows.
  std::vector<DecodedEvent> feed(const std::vector<RawEvent>& events);
  // Gives up on a held moved-from event: it becomes a removal.
  std::vector<DecodedEvent> flush();
  bool hasPending() const { return pending_.has_value(); }

 private:
  void decodeOne(const RawEvent& e, std::vector<DecodedEvent>& out);
  std::optional<RawEvent> pending_;
};

}  // namespace qel::intake
