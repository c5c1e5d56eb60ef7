// Job messages and reasons of the queue's reports.
#include "app/printer/job_text.h"

#include <cstdio>
#include <vector>

namespace qel::app::printer {

namespace {

using intake::FailureKind;
using intake::JobReport;
using intake::JobStage;

// The English texts, as keys of the web page's translations.
constexpr const char* kQueued = "Queued for the cutter.";
constexpr const char* kQueuedBehind = "Queued for the cutter, %d job(s) ahead.";
constexpr const char* kDisposing = "Preparing the plot for cutting.";
constexpr const char* kWaiting = "Waiting to send page %d of %d to the machine.";
constexpr const char* kSending = "Sending page %d of %d to the machine.";
constexpr const char* kCompleted = "Cut: %d page(s) sent to the machine.";
constexpr const char* kCancelled = "Cancelled.";
constexpr const char* kStopped = "The printer application stopped before the job was cut; its pages are in the recycle bin.";
constexpr const char* kDisposeFailed = "The plot cannot be cut: %s";
constexpr const char* kConversionFailed = "The plot's characters cannot be converted: %s";
constexpr const char* kSendFailed = "Sending to the machine failed: %s";
constexpr const char* kUnreachable = "The machine cannot be reached (%s); the cutter is paused.";
constexpr const char* kOtherFailure = "The job failed: %s";

std::string format(const Localize& localize, const char* english, int a = 0, int b = 0) {
  char buf[512];
  std::snprintf(buf, sizeof buf, localize ? localize(english) : english, a, b);
  return buf;
}

std::string formatText(const Localize& localize, const char* english, const std::string& text) {
  char buf[1024];
  std::snprintf(buf, sizeof buf, localize ? localize(english) : english, text.c_str());
  return buf;
}

}  // namespace

std::string jobMessage(const JobReport& r, bool stopping, const Localize& localize) {
  // The pipeline's or the link's own text, else the queue's word for the failure.
  const intake::QueueFailure& f = r.failure;
  const std::string reason = (f.detail.isEmpty() ? intake::englishText(f.kind) : f.detail).toStdString();
  switch (r.stage) {
    case JobStage::Queued: return r.ahead > 0 ? format(localize, kQueuedBehind, r.ahead) : format(localize, kQueued);
    case JobStage::Disposing: return format(localize, kDisposing);
    case JobStage::Waiting: return format(localize, kWaiting, r.page, r.pages);
    case JobStage::Sending: return format(localize, kSending, r.page, r.pages);
    case JobStage::Completed: return format(localize, kCompleted, r.pages);
    case JobStage::Cancelled: return format(localize, stopping ? kStopped : kCancelled);
    case JobStage::Failed: break;
  }
  if (f.kind == FailureKind::ConversionFailed) return formatText(localize, kConversionFailed, reason);
  if (intake::isTranslateKind(f.kind)) return formatText(localize, kDisposeFailed, reason);
  if (f.kind == FailureKind::MachineUnreachable) return formatText(localize, kUnreachable, reason);
  if (f.kind == FailureKind::SendStopped) return format(localize, kStopped);
  if (f.kind == FailureKind::None) return formatText(localize, kOtherFailure, reason);
  return formatText(localize, kSendFailed, reason);
}

pappl_jreason_t jobReasons(const JobReport& r) {
  switch (r.stage) {
    case JobStage::Queued:
    case JobStage::Waiting: return PAPPL_JREASON_JOB_QUEUED;
    case JobStage::Disposing: return PAPPL_JREASON_NONE;
    case JobStage::Sending: return PAPPL_JREASON_JOB_PRINTING;
    case JobStage::Completed: return PAPPL_JREASON_JOB_COMPLETED_SUCCESSFULLY;
    case JobStage::Cancelled: return PAPPL_JREASON_NONE;
    case JobStage::Failed: break;
  }
  if (intake::isTranslateKind(r.failure.kind))
    return PAPPL_JREASON_ABORTED_BY_SYSTEM | PAPPL_JREASON_DOCUMENT_UNPRINTABLE_ERROR;
  return PAPPL_JREASON_ABORTED_BY_SYSTEM | PAPPL_JREASON_ERRORS_DETECTED;
}

const std::vector<const char*>& jobMessageTexts() {
  static const std::vector<const char*> texts = {kQueued,  kQueuedBehind, kDisposing,       kWaiting,
                                                 kSending, kCompleted,    kCancelled,       kStopped,
                                                 kDisposeFailed, kConversionFailed, kSendFailed, kUnreachable,
                                                 kOtherFailure};
  return texts;
}

}  // namespace qel::app::printer
