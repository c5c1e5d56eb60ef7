#include "intake/queue_failure.h"

namespace qel::intake {

bool isConnectionKind(FailureKind k) {
  return k == FailureKind::MachineUnreachable || k == FailureKind::ConnectionLost || k == FailureKind::TransferBroken ||
         k == FailureKind::NoCrcReply;
}

bool isTranslateKind(FailureKind k) { return k >= FailureKind::SourceVanished && k <= FailureKind::DisposeFailed; }

QString englishText(FailureKind k) {
  switch (k) {
    case FailureKind::None: return {};
    case FailureKind::SourceVanished: return QStringLiteral("the file is gone");
    case FailureKind::ConversionFailed: return QStringLiteral("its characters cannot be converted");
    case FailureKind::ChangedWhileRead: return QStringLiteral("it changed while it was read");
    case FailureKind::Unreadable: return QStringLiteral("it cannot be read");
    case FailureKind::EmptyFile: return QStringLiteral("it is empty");
    case FailureKind::NotPlotFile: return QStringLiteral("it is not a plot file");
    case FailureKind::NoPlotCommand: return QStringLiteral("it holds no plot command");
    case FailureKind::WiderThanPage: return QStringLiteral("its width is out of range");
    case FailureKind::TooManyPages: return QStringLiteral("it needs too many pages");
    case FailureKind::NoLabelFont: return QStringLiteral("its labels need the label font, which is missing");
    case FailureKind::PageNotWritten: return QStringLiteral("a page file cannot be written");
    case FailureKind::NoCutLine: return QStringLiteral("it has no cut line: no path in a cut colour ([Input] CutColours, CutRGB, CutAll)");
    case FailureKind::DrawingLocked: return QStringLiteral("the PDF is protected by a password; save it without one");
    case FailureKind::DrawingDamaged: return QStringLiteral("the drawing is damaged, empty or not a PDF or SVG drawing");
    case FailureKind::DisposeFailed: return QStringLiteral("it cannot be processed");
    case FailureKind::MachineUnreachable: return QStringLiteral("the machine cannot be reached");
    case FailureKind::ConnectionLost: return QStringLiteral("the connection to the machine broke");
    case FailureKind::SendStopped: return QStringLiteral("stopped part-way; the machine keeps nothing of it, it is sent again from its start");
    case FailureKind::MachineAborted: return QStringLiteral("the machine refused the file");
    case FailureKind::NoCrcReply: return QStringLiteral("the machine gave no CRC answer");
    case FailureKind::WrongCrc: return QStringLiteral("wrong CRC");
    case FailureKind::TransferBroken: return QStringLiteral("the transfer broke off");
    case FailureKind::PageVanished: return QStringLiteral("the page file is gone");
    case FailureKind::PageUnreadable: return QStringLiteral("the page file cannot be read");
    case FailureKind::NoLink: return QStringLiteral("the transfer type has no link in this build");
    case FailureKind::SendFailed: return QStringLiteral("the send failed");
  }
  return {};
}

QString englishText(const RowNote& n) {
  switch (n.state) {
    case RowState::None: return {};
    case RowState::Waiting: return QStringLiteral("waiting...");
    case RowState::Sending: return QStringLiteral("Sending...");
    case RowState::Sent: return QStringLiteral("Sent");
    case RowState::Stopped: return QStringLiteral("Stopped: sent again from its start");
    case RowState::Failed:
      if (n.paused) return QStringLiteral("Failed: %1 (queue paused)").arg(englishText(n.failure));
      return QStringLiteral("Failed: %1 (%2 of %3)").arg(englishText(n.failure)).arg(n.inARow).arg(kRepeatsBeforePause);
  }
  return {};
}

}  // namespace qel::intake
