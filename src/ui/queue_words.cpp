#include "ui/queue_words.h"

#include <QFileInfo>

namespace qel::ui {

using intake::FailureKind;

QString QueueWords::failure(FailureKind k) {
  switch (k) {
    case FailureKind::None: return {};
    case FailureKind::SourceVanished: return tr("the file is gone");
    case FailureKind::ConversionFailed: return tr("its characters cannot be converted");
    case FailureKind::ChangedWhileRead: return tr("it changed while it was read; it is read again");
    case FailureKind::Unreadable: return tr("it cannot be read");
    case FailureKind::EmptyFile: return tr("it is empty");
    case FailureKind::NotPlotFile: return tr("it is not a plot file");
    case FailureKind::NoPlotCommand: return tr("it holds no plot command");
    case FailureKind::WiderThanPage: return tr("its width is out of range");
    case FailureKind::TooManyPages: return tr("it needs more pages than allowed");
    case FailureKind::NoLabelFont: return tr("its labels need the label font, which is missing");
    case FailureKind::PageNotWritten: return tr("a page file cannot be written");
    case FailureKind::NoCutLine: return tr("it has no cut line: no path in a cut colour ([Input] CutColours, CutRGB, CutAll)");
    case FailureKind::DrawingLocked: return tr("the PDF is protected by a password; save it without one");
    case FailureKind::DrawingDamaged: return tr("the drawing is damaged, empty or not a PDF or SVG drawing");
    case FailureKind::DisposeFailed: return tr("it cannot be processed");
    case FailureKind::MachineUnreachable: return tr("the machine cannot be reached");
    case FailureKind::ConnectionLost: return tr("the connection to the machine broke");
    case FailureKind::SendStopped: return tr("stopped part-way; the machine keeps nothing of it");
    case FailureKind::MachineAborted: return tr("the machine refused the file");
    case FailureKind::NoCrcReply: return tr("the machine gave no CRC answer");
    case FailureKind::WrongCrc: return tr("wrong CRC");
    case FailureKind::TransferBroken: return tr("the transfer broke off");
    case FailureKind::PageVanished: return tr("the page file is gone");
    case FailureKind::PageUnreadable: return tr("the page file cannot be read");
    case FailureKind::NoLink: return tr("the transfer type has no link");
    case FailureKind::SendFailed: return tr("the send failed");
  }
  return {};
}

QString QueueWords::rowNote(const intake::RowNote& n) {
  switch (n.state) {
    case intake::RowState::None: return {};
    case intake::RowState::Waiting: return tr("waiting...");
    case intake::RowState::Sending: return tr("Sending...");
    case intake::RowState::Sent: return tr("Sent");
    case intake::RowState::Stopped: return tr("Stopped: sent again from its start");
    case intake::RowState::Failed:
      if (n.paused) return tr("Failed: %1 (queue paused)").arg(failure(n.failure));
      return tr("Failed: %1 (%2 of %3)").arg(failure(n.failure)).arg(n.inARow).arg(intake::kRepeatsBeforePause);
  }
  return {};
}

QString QueueWords::paused(intake::PauseCause cause, const intake::QueueFailure& f) {
  const QString name = QFileInfo(f.file).fileName();
  switch (cause) {
    case intake::PauseCause::Operator: return tr("Paused");
    case intake::PauseCause::Failure: return tr("Paused: %1 (%2)").arg(failure(f.kind), name);
    case intake::PauseCause::RepeatedFailure:
      return tr("Paused: %1 failed %2 times in a row: %3").arg(name).arg(f.inARow).arg(failure(f.kind));
  }
  return {};
}

QString QueueWords::failed(const intake::QueueFailure& f) {
  return tr("%1: %2").arg(QFileInfo(f.file).fileName(), failure(f.kind));
}

QString QueueWords::rejected(const intake::QueueFailure& f) {
  // Deliberate: the width keeps the words operators know.
  if (f.kind == FailureKind::WiderThanPage)
    return tr("the file: %1 's width is out of range, it will be moved to: %2").arg(f.file, f.movedTo);
  if (f.movedTo.isEmpty()) return tr("The file %1 cannot be cut: %2.").arg(f.file, failure(f.kind));
  return tr("The file %1 cannot be cut: %2.\nIt was moved to: %3").arg(f.file, failure(f.kind), f.movedTo);
}

QString QueueWords::sendOutcome(links::SendOutcome o) {
  switch (o) {
    case links::SendOutcome::Delivered: return {};
    case links::SendOutcome::Unreachable: return failure(FailureKind::MachineUnreachable);
    case links::SendOutcome::ConnectionLost: return failure(FailureKind::ConnectionLost);
    case links::SendOutcome::Stopped: return failure(FailureKind::SendStopped);
    case links::SendOutcome::MachineAborted: return failure(FailureKind::MachineAborted);
    case links::SendOutcome::NoReply: return failure(FailureKind::NoCrcReply);
    case links::SendOutcome::WrongCrc: return failure(FailureKind::WrongCrc);
    case links::SendOutcome::TransferBroken: return failure(FailureKind::TransferBroken);
    case links::SendOutcome::FileUnreadable: return failure(FailureKind::PageUnreadable);
    case links::SendOutcome::Failed: break;
  }
  return failure(FailureKind::SendFailed);
}

}  // namespace qel::ui
