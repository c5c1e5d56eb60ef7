#include "ui/logic/main_rules.h"

#include <QFileInfo>
#include <QStringList>

#include <cmath>
#include <limits>

#include "config/ini_config.h"

namespace qel::ui {

QString wholePart(double value) {
  const double t = std::trunc(value);
  if (!std::isfinite(t) || t > std::numeric_limits<int>::max() || t < std::numeric_limits<int>::min()) return QStringLiteral("0");
  return QString::number(static_cast<int>(t));
}

MachineFields loadMachineFields(const QString& home) {
  config::CIniConfig cfg(home.toStdString());
  namespace k = config::keys;
  return {QString::fromStdString(cfg.read(k::Xitong_IP)), wholePart(cfg.read(k::Page_Width)), wholePart(cfg.read(k::Page_Height))};
}

MachineCheck checkMachineFields(const MachineFields& f) {
  const QStringList parts = f.ip.trimmed().split(QLatin1Char('.'));
  bool address = parts.size() == 4;
  for (const QString& p : parts) {
    bool ok = false;
    const int v = p.toInt(&ok);
    address = address && ok && !p.isEmpty() && p.size() <= 3 && v >= 0 && v <= 255;
  }
  if (!address) return MachineCheck::AddressRefused;
  if (checkNumber(f.width.toStdString(), kPageSizeRule) != FieldProblem::None) return MachineCheck::WidthRefused;
  if (checkNumber(f.length.toStdString(), kPageSizeRule) != FieldProblem::None) return MachineCheck::LengthRefused;
  return MachineCheck::Accepted;
}

void saveMachineFields(const QString& home, const MachineFields& f) {
  config::CIniConfig cfg(home.toStdString());
  namespace k = config::keys;
  cfg.write(k::Xitong_IP, f.ip.trimmed().toStdString());
  cfg.write(k::Page_Width, config::CIniConfig::toReal(f.width.trimmed().toStdString()));
  cfg.write(k::Page_Height, config::CIniConfig::toReal(f.length.trimmed().toStdString()));
}

std::vector<MenuEntry> menuFor(intake::QueueList list) {
  using L = intake::QueueList;
  switch (list) {
    case L::SendQueue: return {{ListAction::ToHistory, L::History}, {ListAction::ToBin, L::RecycleBin}};
    case L::History:
      return {{ListAction::ModifyName, L::History}, {ListAction::ToQueue, L::SendQueue}, {ListAction::ToBin, L::RecycleBin}};
    case L::RecycleBin: return {{ListAction::ToQueue, L::SendQueue}, {ListAction::ToHistory, L::History}};
    case L::Waiting: return {};
  }
  return {};
}

PreviewCheck checkPreviewFile(const QString& path) {
  if (path.isEmpty()) return PreviewCheck::EmptyName;
  if (!QFileInfo(path).isFile()) return PreviewCheck::Missing;
  return PreviewCheck::Ok;
}

QString rowFile(const intake::CSendQueue& queue, intake::QueueList list, const QString& rowText) {
  if (rowText.isEmpty()) return {};
  QString folder;
  switch (list) {
    case intake::QueueList::SendQueue: folder = queue.disposeDir(); break;
    case intake::QueueList::History: folder = queue.printedDir(); break;
    case intake::QueueList::RecycleBin: folder = queue.cancelledDir(); break;
    case intake::QueueList::Waiting: folder = queue.watchDir(); break;
  }
  return folder + QLatin1Char('/') + rowText;
}


}  // namespace qel::ui
