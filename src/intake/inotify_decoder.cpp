#include "intake/inotify_decoder.h"

#include <sys/inotify.h>

#include <cstring>

namespace qel::intake {

std::vector<RawEvent> parseInotifyBuffer(const char* data, std::size_t length) {
  std::vector<RawEvent> out;
  std::size_t pos = 0;
  while (pos + sizeof(inotify_event) <= length) {
    inotify_event ev;
    std::memcpy(&ev, data + pos, sizeof ev);
    std::size_t next = pos + sizeof(inotify_event) + ev.len;
    if (next > length) break;
    RawEvent r;
    r.wd = ev.wd;
    r.mask = ev.mask;
    r.cookie = ev.cookie;
    if (ev.len > 0) {
      const char* name = data + pos + sizeof(inotify_event);
      r.name.assign(name, strnlen(name, ev.len));
    }
    out.push_back(std::move(r));
    pos = next;
  }
  return out;
}

std::vector<DecodedEvent> EventDecoder::feed(const std::vector<RawEvent>& events) {
  std::vector<DecodedEvent> out;
  for (const RawEvent& e : events) decodeOne(e, out);
  return out;
}

std::vector<DecodedEvent> EventDecoder::flush() {
  std::vector<DecodedEvent> out;
  if (pending_) {
    out.push_back({DecodedEvent::Removed, pending_->wd, pending_->name, -1, {}, (pending_->mask & IN_ISDIR) != 0});
    pending_.reset();
  }
  return out;
}

void EventDecoder::decodeOne(const RawEvent& e, std::vector<DecodedEvent>& out) {
  const bool isDir = (e.mask & IN_ISDIR) != 0;
  if (pending_) {
    if ((e.mask & IN_MOVED_TO) && e.cookie == pending_->cookie) {
      out.push_back({DecodedEvent::NameChange, pending_->wd, pending_->name, e.wd, e.name, isDir});
      pending_.reset();
      return;
    }
    for (auto& d : flush()) out.push_back(std::move(d));
  }
  if (e.mask & (IN_IGNORED | IN_DELETE_SELF | IN_MOVE_SELF | IN_UNMOUNT)) {
    // A moved folder keeps its watch; only the watched folder itself moving away ends it.
    out.push_back({DecodedEvent::WatchGone, e.wd, (e.mask & IN_MOVE_SELF) ? "moved" : "", -1, {}, true});
    return;
  }
  if (e.mask & IN_MOVED_FROM) {
    pending_ = e;
    return;
  }
  if (e.mask & (IN_CREATE | IN_MOVED_TO)) {
    out.push_back({isDir ? DecodedEvent::DirCreated : DecodedEvent::Added, e.wd, e.name, -1, {}, isDir});
    return;
  }
  if (e.mask & IN_DELETE) {
    out.push_back({DecodedEvent::Removed, e.wd, e.name, -1, {}, isDir});
    return;
  }
  if (e.mask & (IN_MODIFY | IN_ATTRIB)) {
    out.push_back({DecodedEvent::Modified, e.wd, e.name, -1, {}, isDir, (e.mask & IN_MODIFY) != 0});
    return;
  }
  if (e.mask & IN_CLOSE_WRITE) {
    out.push_back({DecodedEvent::ClosedAfterWrite, e.wd, e.name, -1, {}, isDir});
    return;
  }
}

}  // namespace qel::intake
