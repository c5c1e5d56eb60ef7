#include "ui/tray.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QSystemTrayIcon>

namespace qel::ui {

SystemTray::SystemTray(QObject* parent) : Tray(parent) {}

bool SystemTray::available() const { return QSystemTrayIcon::isSystemTrayAvailable(); }

void SystemTray::show(const QIcon& icon, const QString& tip) {
  if (!icon_) {
    icon_ = new QSystemTrayIcon(this);
    connect(icon_, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason r) {
      if (r == QSystemTrayIcon::Trigger || r == QSystemTrayIcon::DoubleClick) emit clicked();
    });
  }
  icon_->setIcon(icon);
  icon_->setToolTip(tip);
  icon_->show();
}

void SystemTray::hide() {
  if (icon_) icon_->hide();
}

bool SystemTray::visible() const { return icon_ && icon_->isVisible(); }

void SystemTray::setTip(const QString& tip) {
  if (icon_) icon_->setToolTip(tip);
}

QIcon programIcon() {
  QIcon icon;
  for (int size : {16, 24, 32, 48, 64, 128}) {
    QPixmap pm(size, size);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    const double s = size / 64.0;
    p.scale(s, s);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(32, 86, 160));
    p.drawRoundedRect(QRectF(2, 2, 60, 60), 12, 12);
    // A cut outline (dashed) and the blade cutting it.
    QPen outline(QColor(255, 255, 255), 3.5, Qt::DashLine, Qt::RoundCap);
    p.setPen(outline);
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(QRectF(12, 22, 30, 30));
    QPainterPath blade;
    blade.moveTo(38, 40);
    blade.lineTo(56, 12);
    blade.lineTo(60, 16);
    blade.lineTo(42, 44);
    blade.closeSubpath();
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(242, 101, 34));
    p.drawPath(blade);
    icon.addPixmap(pm);
  }
  return icon;
}

}  // namespace qel::ui
