#pragma once
// Jobs that a front end hands to the send queue (the printer application's network jobs): what
// the queue reports about each one while it disposes of it and sends its pages. The front end
// words the reports in its own way (IPP job states, a web page).
#include <QMetaType>
#include <QString>

#include "intake/queue_failure.h"

namespace qel::intake {

enum class JobStage {
  Queued,     // waiting for the translate step (`ahead` jobs before it)
  Disposing,  // on the translate worker
  Waiting,    // its pages are in the send queue; `page` of `pages` goes next
  Sending,    // page `page` of `pages` is on the link
  Completed,  // every page reached the machine
  Failed,     // see `failure`; its pages (if any) went to the recycle bin
  Cancelled,  // taken out on request; its pages (if any) went to the recycle bin
};

struct JobReport {
  JobStage stage = JobStage::Queued;
  int page = 0;   // 1-based page being sent or next, Waiting/Sending
  int pages = 0;  // page files of the job, from Waiting on
  int ahead = 0;  // Queued: jobs before this one
  // Failed: why, as the queue words every file's failure (its kind and the pipeline's or the
  // link's text). Kind None when the queue refused the job (the text says why); SendStopped
  // when the queue stopped before the job was done.
  QueueFailure failure;

  bool finished() const {
    return stage == JobStage::Completed || stage == JobStage::Failed || stage == JobStage::Cancelled;
  }
};

}  // namespace qel::intake

Q_DECLARE_METATYPE(qel::intake::JobReport)
