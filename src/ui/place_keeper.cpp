#include "ui/place_keeper.h"

#include <QApplication>
#include <QEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QTimer>
#include <QWindow>

#include "ui/logic/window_place.h"

namespace qel::ui {

namespace {
// A title bar and thin borders, for a window the window system has not framed yet.
const QMargins kUsualFrame(4, 30, 4, 4);

QMargins marginsOf(const QWidget* w) {
  const QRect frame = w->frameGeometry(), client = w->geometry();
  return QMargins(client.left() - frame.left(), client.top() - frame.top(), frame.right() - client.right(),
                  frame.bottom() - client.bottom());
}

QMargins frameMargins(const QWidget* w) {
  if (w->isVisible() && w->frameGeometry() != w->geometry()) return marginsOf(w);
  // Not framed yet: the frame of another shown window of the program is the best guess.
  for (const QWidget* other : QApplication::topLevelWidgets())
    if (other != w && other->isVisible() && !other->isMinimized() && other->frameGeometry() != other->geometry())
      return marginsOf(other);
  return kUsualFrame;
}
}  // namespace

PlaceKeeper::PlaceKeeper(QWidget* window, QString home, QString key, First first)
    : QObject(window), window_(window), home_(std::move(home)), key_(std::move(key)), first_(std::move(first)) {
  window->installEventFilter(this);
}

QRect PlaceKeeper::availableFor(const QWidget* window) {
  QScreen* s = QGuiApplication::screenAt(window->frameGeometry().center());
  if (!s) s = window->screen();
  if (!s) s = QGuiApplication::primaryScreen();
  return s ? s->availableGeometry() : QRect();
}

QRect PlaceKeeper::clientFor(const QWidget* window, const QRect& frame) { return frame - frameMargins(window); }

bool PlaceKeeper::eventFilter(QObject* watched, QEvent* event) {
  if (watched == window_) {
    switch (event->type()) {
      case QEvent::Show:
        if (!placed_) {
          placed_ = true;
          place();
          // The window system frames the window once it is shown: fit again with its real frame.
          QTimer::singleShot(0, this, &PlaceKeeper::refit);
        }
        break;
      case QEvent::Hide:
      case QEvent::Close: remember(); break;
      default: break;
    }
  }
  return QObject::eventFilter(watched, event);
}

void PlaceKeeper::place() {
  const QRect available = availableFor(window_);
  const QSize minimum = window_->minimumSizeHint().grownBy(frameMargins(window_));
  QRect frame;
  if (const auto stored = loadPlace(home_, key_)) {
    frame = *stored;
  } else {
    const QSize size = window_->size().grownBy(frameMargins(window_));
    frame = first_ ? first_(available, size)
                   : QRect(available.left() + (available.width() - size.width()) / 2,
                           available.top() + (available.height() - size.height()) / 2, size.width(), size.height());
  }
  window_->setGeometry(clientFor(window_, fitOnScreen(frame, available, minimum)));
}

void PlaceKeeper::refit() {
  if (!window_ || !window_->isVisible() || window_->isMinimized()) return;
  const QRect frame = window_->frameGeometry();
  const QRect fitted = fitOnScreen(frame, availableFor(window_), window_->minimumSizeHint().grownBy(frameMargins(window_)));
  if (fitted != frame) window_->setGeometry(clientFor(window_, fitted));
}

void PlaceKeeper::remember() {
  if (!window_ || !placed_ || window_->isMinimized()) return;
  savePlace(home_, key_, window_->frameGeometry());
}

}  // namespace qel::ui
