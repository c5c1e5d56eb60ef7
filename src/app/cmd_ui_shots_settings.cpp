// Pictures of the settings window (each page) and of the mark-choice dialog.
#include <QImage>
#include <QPainter>

#include "app/screenshots.h"
#include "ui/marks_choose.h"
#include "ui/settings_dlg.h"

namespace {

// A camera frame of a printed sheet with three round marks, one of them smudged.
QImage sampleFrame(const QVector<QPointF>& marks) {
  QImage frame(640, 480, QImage::Format_RGB888);
  frame.fill(QColor(188, 188, 184));
  QPainter p(&frame);
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(30, 30, 30));
  for (const QPointF& m : marks) p.drawEllipse(m, 18, 18);
  p.setBrush(QColor(120, 120, 118));
  p.drawEllipse(QPointF(470, 350), 40, 12);
  return frame;
}

const qel::app::ShotRegistration kSettingsShots{"settings", [](qel::app::ShotContext& ctx) {
  using Page = qel::ui::CSettingDlg::Page;
  qel::ui::CSettingDlg dlg(ctx.home());
  dlg.showPage(Page::Process);
  ctx.save(&dlg, QStringLiteral("settings"), QStringLiteral("process"));
  dlg.showPage(Page::CameraMachine);
  ctx.save(&dlg, QStringLiteral("settings"), QStringLiteral("camera"));
  dlg.showPage(Page::Display);
  ctx.save(&dlg, QStringLiteral("settings"), QStringLiteral("display"));
  dlg.hide();
}};

const qel::app::ShotRegistration kMarksShots{"marks", [](qel::app::ShotContext& ctx) {
  const QVector<QPointF> marks{{180, 150}, {330, 250}, {470, 350}};
  qel::ui::MarksChoose dlg(sampleFrame(marks), marks, 30);
  ctx.save(&dlg, QStringLiteral("marks"), QStringLiteral("open"));
  dlg.view()->clickAt(marks[1]);
  dlg.view()->hoverAt(marks[0] + QPointF(10, 5));
  ctx.save(&dlg, QStringLiteral("marks"), QStringLiteral("chosen"));
  dlg.hide();
}};

}  // namespace
