#pragma once
// Keeps a window's place: when it first shows it stands where it stood when it last closed
// (WindowPlaces.ini), or where its first place puts it, whole on its screen with its title
// bar; when it hides or closes it remembers where it stood.
#include <QObject>
#include <QPointer>
#include <QRect>
#include <QString>
#include <QWidget>

#include <functional>

namespace qel::ui {

class PlaceKeeper : public QObject {
  Q_OBJECT
 public:
  // first(available, frameSize): the frame of a window never placed before (default: centred
  // on the screen).
  using First = std::function<QRect(const QRect& available, const QSize& frameSize)>;
  PlaceKeeper(QWidget* window, QString home, QString key, First first = {});

  // The screen area the window belongs on (the screen under its centre, else the primary).
  static QRect availableFor(const QWidget* window);
  // The window's frame rectangle for a wanted frame: the client geometry to set, with the
  // window system's frame margins (a usual title bar before the window was ever shown).
  static QRect clientFor(const QWidget* window, const QRect& frame);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void place();
  void refit();
  void remember();

  QPointer<QWidget> window_;
  QString home_;
  QString key_;
  First first_;
  bool placed_ = false;
};

}  // namespace qel::ui
