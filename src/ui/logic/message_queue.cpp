#include "ui/logic/message_queue.h"

namespace qel::ui {

bool MessageQueue::offer(const QString& text) {
  if (!open_) {
    open_ = true;
    return true;
  }
  if (!waiting_.contains(text)) waiting_ << text;
  return false;
}

QStringList MessageQueue::next() {
  QStringList out;
  out.swap(waiting_);
  if (out.isEmpty()) open_ = false;
  return out;
}

}  // namespace qel::ui
