#pragma once
// Jobs that a front end hands to the send queue (the printer application's network jobs): what
// the queue reports about each one while it disposes of it and sends its pages. The front end
// words the reports in its own way (IPP job states, a web page).
#include <QMetaType>
#include <QString>

namespace qel::intake {

enum class JobStage {
  Queued,     // waiting for the translate step (`ahead` jobs before it)
  Disposing,  // on the translate worker
  Waiting,    // its pages are in the send queue; `page` of `pages` goes next
  Sending,    // page `page` of `pages` is on the link
  Completed,  // every page reached the machine
  Failed,     // see `failure` and `reason`; its pages (if any) went to the recycle bin
  Cancelled,  // taken out on request; its pages (if any) went to the recycle bin
};

enum class JobFailure {
  None,
  Refused,      // the queue cannot take it (page mode CCD CUT, a file outside the job folder)
  Conversion,   // the character conversion failed
  Dispose,      // the dispose pipeline rejected it (reason: the pipeline's text)
  Send,         // the link failed (reason: the link's text)
  Unreachable,  // the link could not reach the machine (reason: the link's text); the queue paused
  Vanished,     // a page file disappeared before it was sent
  Stopped,      // the queue stopped before the job was done
};

struct JobReport {
  JobStage stage = JobStage::Queued;
  int page = 0;   // 1-based page being sent or next, Waiting/Sending
  int pages = 0;  // page files of the job, from Waiting on
  int ahead = 0;  // Queued: jobs before this one
  JobFailure failure = JobFailure::None;
  QString reason;  // the pipeline's or the link's text (English, as the log has it)

  bool finished() const {
    return stage == JobStage::Completed || stage == JobStage::Failed || stage == JobStage::Cancelled;
  }
};

}  // namespace qel::intake

Q_DECLARE_METATYPE(qel::intake::JobReport)
