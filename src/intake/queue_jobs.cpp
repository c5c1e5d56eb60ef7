// Jobs of a front end in the send queue: a job's file is disposed of ahead of the watch
// folder's files, its pages are sent like any others, and every step is reported. A job is not
// retried: when it fails or is cancelled its unsent pages go to the recycle bin.
#include <unistd.h>

#include "intake/send_queue_impl.h"
#include "platform/files.h"

namespace qel::intake {

using namespace queue;

namespace {

QString stageWord(JobStage s) {
  switch (s) {
    case JobStage::Queued: return QStringLiteral("queued");
    case JobStage::Disposing: return QStringLiteral("disposing");
    case JobStage::Waiting: return QStringLiteral("waiting to send");
    case JobStage::Sending: return QStringLiteral("sending");
    case JobStage::Completed: return QStringLiteral("completed");
    case JobStage::Failed: return QStringLiteral("failed");
    case JobStage::Cancelled: return QStringLiteral("cancelled");
  }
  return {};
}

JobReport progress(JobStage stage, int page = 0, int pages = 0) {
  JobReport r;
  r.stage = stage;
  r.page = page;
  r.pages = pages;
  return r;
}

}  // namespace

bool CSendQueue::Impl::enqueueJob(quint64 id, const QString& file, QString* error) {
  auto refuse = [&](const QString& why) {
    if (error) *error = why;
    log(QStringLiteral("job %1 refused: %2").arg(id).arg(why));
    return false;
  };
  if (jobs_.count(id)) return refuse(QStringLiteral("a job with this id is already in the queue"));
  if (splitMode_ == config::PageMode::CcdCut)
    return refuse(QStringLiteral("page mode 9 (CCD CUT) cuts through the camera window of the desktop program"));
  // Only a plain file that the front end put into the job folder: never a path from elsewhere.
  const QString prefix = jobDir_ + QLatin1Char('/');
  if (!file.startsWith(prefix) || file.indexOf(QLatin1Char('/'), prefix.size()) >= 0 || file.size() == prefix.size())
    return refuse(QStringLiteral("%1 is not a file of the job folder %2").arg(file, jobDir_));
  if (!platform::fileExists(native(file))) return refuse(QStringLiteral("%1 does not exist").arg(file));
  Job job;
  job.id = id;
  job.file = file;
  jobs_[id] = job;
  jobOrder_.push_back(id);
  log(QStringLiteral("job %1 queued: %2").arg(id).arg(file));
  reportQueued();
  if (started_) translateStep();
  return true;
}

namespace {

QueueFailure failureOf(FailureKind kind, const QString& file, const QString& detail) {
  QueueFailure f;
  f.kind = kind;
  f.file = file;
  f.detail = detail;
  return f;
}

}  // namespace

bool CSendQueue::Impl::startNextJob() {
  while (!jobOrder_.empty()) {
    const quint64 id = jobOrder_.front();
    jobOrder_.pop_front();
    Job& job = jobs_[id];
    if (!exists(job.file)) {
      finishJob(id, JobStage::Failed, failureOf(FailureKind::SourceVanished, job.file, {}));
      continue;
    }
    reportQueued();
    if (splitMode_ == config::PageMode::NoSplit) {
      // Sent as it came, under a stamped name, like the watch folder's files in this mode.
      const QString row = moveToDisposeStamped(job.file, fileNameOf(job.file));
      if (row.isEmpty()) {
        finishJob(id, JobStage::Failed,
                  failureOf(FailureKind::None, job.file, QStringLiteral("the file cannot be moved into the dispose folder")));
        continue;
      }
      job.file.clear();
      job.pages = QStringList{row};
      job.pageCount = 1;
      job.stage = JobStage::Waiting;
      report(job, progress(JobStage::Waiting, 1, 1));
      if (started_) transferStep();
      continue;
    }
    job.stage = JobStage::Disposing;
    report(job, progress(JobStage::Disposing));
    startTranslate(job.file, std::nullopt);
    if (translating_) return true;
    finishJob(id, JobStage::Failed, failureOf(FailureKind::None, job.file, QStringLiteral("the translate worker could not be started")));
  }
  return false;
}

CSendQueue::Impl::Job* CSendQueue::Impl::jobOfFile(const QString& file) {
  for (auto& [id, job] : jobs_)
    if (!job.file.isEmpty() && job.file == file) return &job;
  return nullptr;
}

CSendQueue::Impl::Job* CSendQueue::Impl::jobOfRow(const QString& row) {
  for (auto& [id, job] : jobs_)
    if (job.pages.contains(row)) return &job;
  return nullptr;
}

void CSendQueue::Impl::report(const Job& job, JobReport r) {
  const QString why = r.failure.detail.isEmpty() ? englishText(r.failure.kind) : r.failure.detail;
  log(QStringLiteral("job %1: %2%3").arg(job.id).arg(stageWord(r.stage), why.isEmpty() ? QString() : QStringLiteral(": ") + why));
  emit q.jobChanged(job.id, r);
}

void CSendQueue::Impl::reportQueued() {
  int ahead = 0;
  for (quint64 id : jobOrder_) {
    JobReport r;
    r.ahead = ahead++;
    emit q.jobChanged(id, r);
  }
}

bool CSendQueue::Impl::jobTranslateFailed(const QueueFailure& failure) {
  Job* job = jobOfFile(failure.file);
  if (!job) return false;
  const quint64 id = job->id;
  // A rejected file is moved to the undisposed folder by the worker; one the conversion could
  // not read goes there too instead of staying in the job folder.
  if (failure.kind == FailureKind::ConversionFailed && (dirExists(undisposedDir_) || makeDirs(undisposedDir_)))
    moveFile(failure.file, freePath(undisposedDir_ + QLatin1Char('/') + fileNameOf(failure.file)));
  job->file.clear();
  if (job->cancelled) finishJob(id, JobStage::Cancelled);
  else finishJob(id, JobStage::Failed, failure);
  return true;
}

void CSendQueue::Impl::jobTranslated(const QString& source, const QStringList& rows, const QString& backup) {
  Job* job = jobOfFile(source);
  if (!job) return;
  const quint64 id = job->id;
  job->file.clear();
  job->pages = rows;
  job->pageCount = static_cast<int>(rows.size());
  job->backup = backup;
  if (job->cancelled) {
    finishJob(id, JobStage::Cancelled);
  } else if (rows.isEmpty()) {
    finishJob(id, JobStage::Failed, failureOf(FailureKind::NoPlotCommand, source, QStringLiteral("the file gave no page to cut")));
  } else {
    job->stage = JobStage::Waiting;
    report(*job, progress(JobStage::Waiting, 1, job->pageCount));
    if (started_) transferStep();
  }
}

void CSendQueue::Impl::jobSendStarting(const QString& row) {
  rowOnLink_ = row;
  Job* job = jobOfRow(row);
  if (!job) return;
  // Cancelled while nothing of it was on the link: the link stops at once.
  if (job->cancelled) cancelSend_ = true;
  job->stage = JobStage::Sending;
  report(*job, progress(JobStage::Sending, job->nextPage(), job->pageCount));
}

void CSendQueue::Impl::jobSent(const QString& path) {
  const QString row = path.mid(disposeDir_.size() + 1);
  Job* job = jobOfRow(row);
  if (!job) return;
  const quint64 id = job->id;
  cancelSend_ = false;
  job->pages.removeOne(row);
  if (job->pages.isEmpty()) {
    finishJob(id, JobStage::Completed);
  } else if (job->cancelled) {
    finishJob(id, JobStage::Cancelled);
  } else {
    job->stage = JobStage::Waiting;
    report(*job, progress(JobStage::Waiting, job->nextPage(), job->pageCount));
  }
}

void CSendQueue::Impl::jobSendFailed(const QueueFailure& failure) {
  Job* job = jobOfRow(failure.file.mid(disposeDir_.size() + 1));
  if (!job) return;
  const quint64 id = job->id;
  cancelSend_ = false;
  if (job->cancelled) {
    finishJob(id, JobStage::Cancelled);
  } else if (failure.kind == FailureKind::SendStopped && !shuttingDown_) {
    // The pause stopped it: the page stays first and goes again on continue.
    job->stage = JobStage::Waiting;
    report(*job, progress(JobStage::Waiting, job->nextPage(), job->pageCount));
  } else {
    QueueFailure f = failure;
    if (f.kind == FailureKind::SendStopped) f.detail = QStringLiteral("the queue stopped before the job was cut");
    finishJob(id, JobStage::Failed, f);
  }
}

void CSendQueue::Impl::finishJob(quint64 id, JobStage stage, const QueueFailure& failure) {
  auto it = jobs_.find(id);
  if (it == jobs_.end()) return;
  Job& job = it->second;
  const bool unsent = !job.pages.isEmpty();
  for (const QString& row : job.pages) {
    const int at = sendQueue_.find(row);
    const QString name = fileNameOf(row);
    if (at >= 0 && (dirExists(cancelledDir_) || makeDirs(cancelledDir_)) &&
        moveFile(disposeDir_ + QLatin1Char('/') + row, cancelledDir_ + QLatin1Char('/') + name)) {
      sendQueue_.remove(at);
      pageSource_.remove(row);
      bin_.append(name);
      log(QStringLiteral("job %1: %2 to the recycle bin").arg(id).arg(name));
    }
  }
  // As with the leftovers of an earlier run: the source of pages that were not all cut lies
  // beside them in the recycle bin, not among what was cut.
  if (unsent && !job.backup.isEmpty() && exists(job.backup) &&
      moveFile(job.backup, cancelledDir_ + QLatin1Char('/') + fileNameOf(job.backup)))
    bin_.append(fileNameOf(job.backup));
  // A job taken out before it was disposed of leaves nothing behind.
  if (stage == JobStage::Cancelled && !job.file.isEmpty()) ::unlink(native(job.file).c_str());
  JobReport r;
  r.stage = stage;
  r.failure = failure;
  r.pages = job.pageCount;
  r.page = job.pageCount - static_cast<int>(job.pages.size());
  report(job, r);
  jobs_.erase(it);
  refreshSendQueueStatus();
}

void CSendQueue::Impl::cancelJob(quint64 id) {
  auto it = jobs_.find(id);
  if (it == jobs_.end()) return;
  Job& job = it->second;
  job.cancelled = true;
  switch (job.stage) {
    case JobStage::Queued:
      jobOrder_.erase(std::remove(jobOrder_.begin(), jobOrder_.end(), id), jobOrder_.end());
      finishJob(id, JobStage::Cancelled);
      reportQueued();
      return;
    case JobStage::Disposing:
      return;  // reported when the translate worker is done
    default: break;
  }
  if (!rowOnLink_.isEmpty() && job.pages.contains(rowOnLink_)) {
    // The link sees the stop at its next test; the report follows with its result.
    cancelSend_ = true;
    log(QStringLiteral("job %1: stopping the send under way").arg(id));
  } else {
    finishJob(id, JobStage::Cancelled);
  }
}

}  // namespace qel::intake
