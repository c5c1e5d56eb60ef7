#include "ui/logic/window_place.h"

#include <QStringList>

#include <algorithm>

#include "config/ini_file.h"

namespace qel::ui {

namespace {
constexpr const char* kSection = "Windows";
std::string placesFile(const QString& home) {
  std::string h = home.toStdString();
  if (!h.empty() && h.back() != '/') h += '/';
  return h + "WindowPlaces.ini";
}
}  // namespace

QRect fitOnScreen(const QRect& frame, const QRect& available, const QSize& minimum) {
  if (!available.isValid()) return frame;
  QSize size = frame.size().boundedTo(available.size()).expandedTo(minimum);
  QRect r(frame.topLeft(), size);
  if (r.right() > available.right()) r.moveRight(available.right());
  if (r.bottom() > available.bottom()) r.moveBottom(available.bottom());
  if (r.left() < available.left()) r.moveLeft(available.left());
  if (r.top() < available.top()) r.moveTop(available.top());
  return r;
}

std::optional<QRect> followPlace(const QRect& mainFrame, const QSize& wanted, const QRect& available, int minWidth) {
  const int leftRoom = mainFrame.left() - available.left();
  const int rightRoom = available.right() - mainFrame.right();
  const int height = std::min(wanted.height(), available.height());
  const int top = std::clamp(mainFrame.top(), available.top(), available.bottom() + 1 - height);
  if (leftRoom >= minWidth) {
    const int width = std::min(wanted.width(), leftRoom);
    return QRect(mainFrame.left() - width, top, width, height);
  }
  if (rightRoom >= minWidth) {
    const int width = std::min(wanted.width(), rightRoom);
    return QRect(mainFrame.right() + 1, top, width, height);
  }
  return std::nullopt;
}

QRect firstMainPlace(const QSize& wanted, const QRect& available, int followWidth, int followMinWidth) {
  const QSize size = wanted.boundedTo(available.size());
  const int top = available.top() + (available.height() - size.height()) / 2;
  const int room = available.width() - size.width();
  // The follow preview gets the room on the left, up to its width; what is left over centres.
  const int left = room >= followMinWidth ? std::min(room, followWidth) + (room - std::min(room, followWidth)) / 2 : room / 2;
  return QRect(available.left() + left, top, size.width(), size.height());
}

std::optional<QRect> loadPlace(const QString& home, const QString& window) {
  const QStringList parts = QString::fromStdString(config::readProfileString(placesFile(home), kSection, window.toStdString(), ""))
                                .split(QLatin1Char(','), Qt::SkipEmptyParts);
  if (parts.size() != 4) return std::nullopt;
  int v[4];
  for (int i = 0; i < 4; ++i) {
    bool ok = false;
    v[i] = parts[i].trimmed().toInt(&ok);
    if (!ok) return std::nullopt;
  }
  if (v[2] <= 0 || v[3] <= 0) return std::nullopt;
  return QRect(v[0], v[1], v[2], v[3]);
}

void savePlace(const QString& home, const QString& window, const QRect& f) {
  const std::string path = placesFile(home);
  const std::string text = QStringLiteral("%1,%2,%3,%4").arg(f.x()).arg(f.y()).arg(f.width()).arg(f.height()).toStdString();
  if (config::readProfileString(path, kSection, window.toStdString(), "") != text)
    config::writeProfileString(path, kSection, window.toStdString(), text);
}

}  // namespace qel::ui
