#pragma once
// The queue's reasons in the interface language: why a file failed, what happens to a row, why
// the queue paused. The queue reports kinds (intake/queue_failure.h); these are their words in
// the windows, shared by the main window, its lists and the print preview.
#include <QCoreApplication>
#include <QString>

#include "intake/queue_failure.h"
#include "links/send_outcome.h"

namespace qel::ui {

class QueueWords {
  Q_DECLARE_TR_FUNCTIONS(QueueWords)

 public:
  // "wrong CRC", "it holds no plot command", ...
  static QString failure(intake::FailureKind kind);
  // The status column of a row: "Sending...", "Failed: wrong CRC (2 of 5)", ...
  static QString rowNote(const intake::RowNote& note);
  // The last-event pane and the pause box: "Paused: the machine cannot be reached (job_001.PLT)".
  static QString paused(intake::PauseCause cause, const intake::QueueFailure& failure);
  static QString failed(const intake::QueueFailure& failure);
  static QString running() { return tr("Running"); }
  // A rejected source, for its message box.
  static QString rejected(const intake::QueueFailure& failure);
  // What became of a send of the print preview.
  static QString sendOutcome(links::SendOutcome outcome);
};

}  // namespace qel::ui
