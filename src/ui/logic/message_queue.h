#pragma once
// One message box at a time. A box is modal: while the operator reads it, the queue goes on and
// may have more to say; those texts wait, and when the box closes they are shown as one box
// instead of boxes stacked exactly on top of one another.
#include <QString>
#include <QStringList>

namespace qel::ui {

class MessageQueue {
 public:
  // True when no box is open: the caller shows `text` now (and calls next() when it closed).
  // False when one is open: the text waits.
  bool offer(const QString& text);
  // After a box closed: the texts that waited meanwhile, in order, each once. Empty when none
  // waited; the next offer() then shows at once again.
  QStringList next();
  bool open() const { return open_; }

 private:
  bool open_ = false;
  QStringList waiting_;
};

}  // namespace qel::ui
