#pragma once
// The notification-area icon of the main window behind a small interface: the desktop's tray
// where one exists, a stand-in in tests. Without a tray the window minimises normally.
#include <QIcon>
#include <QObject>
#include <QString>

class QSystemTrayIcon;

namespace qel::ui {

class Tray : public QObject {
  Q_OBJECT
 public:
  using QObject::QObject;
  virtual bool available() const = 0;
  virtual void show(const QIcon& icon, const QString& tip) = 0;
  virtual void hide() = 0;
  virtual bool visible() const = 0;
  virtual void setTip(const QString& tip) = 0;
 signals:
  // A left click on the icon.
  void clicked();
};

// The desktop's notification area (QSystemTrayIcon).
class SystemTray final : public Tray {
  Q_OBJECT
 public:
  explicit SystemTray(QObject* parent = nullptr);
  bool available() const override;
  void show(const QIcon& icon, const QString& tip) override;
  void hide() override;
  bool visible() const override;
  void setTip(const QString& tip) override;

 private:
  QSystemTrayIcon* icon_ = nullptr;
};

// The program's icon, drawn: a knife over a cut outline.
QIcon programIcon();

}  // namespace qel::ui
