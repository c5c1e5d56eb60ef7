// A cutter as a network printer: network jobs into its send queue, the queue's reports back to
// the job and the printer.
#include "app/printer/cutter.h"

#include <QCoreApplication>

#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>

#include "app/printer/job_formats.h"
#include "app/printer/job_text.h"
#include "app/printer/printer_names.h"
#include "config/ini_config.h"
#include "intake/queued_call.h"
#include "platform/files.h"

namespace qel::app::printer {

namespace {

using intake::JobReport;
using intake::JobStage;

// The events of every cutter in the order the framework raised them.
std::atomic<std::uint64_t> g_eventSeq{0};
// The cutter whose own call into the framework is raising events on this thread.
thread_local const Cutter* t_acting = nullptr;

// Reasons the cutter sets on a job; the framework keeps its own beside them.
constexpr pappl_jreason_t kOwnJobReasons =
    PAPPL_JREASON_JOB_QUEUED | PAPPL_JREASON_JOB_PRINTING | PAPPL_JREASON_JOB_COMPLETED_SUCCESSFULLY |
    PAPPL_JREASON_ABORTED_BY_SYSTEM | PAPPL_JREASON_DOCUMENT_UNPRINTABLE_ERROR | PAPPL_JREASON_ERRORS_DETECTED;

std::uint64_t fnv1a(const std::string& s) {
  std::uint64_t h = 1469598103934665603ull;
  for (unsigned char c : s) h = (h ^ c) * 1099511628211ull;
  return h;
}

Cutter* cutterOf(pappl_job_t* job) {
  pappl_pr_driver_data_t data;
  if (!papplPrinterGetDriverData(papplJobGetPrinter(job), &data)) return nullptr;
  return static_cast<Cutter*>(data.extension);
}

bool printRaw(pappl_job_t* job, pappl_pr_options_t*, pappl_device_t*) {
  Cutter* c = cutterOf(job);
  return c && c->runJob(job);
}

// A cutter cuts outlines: raster documents (the framework takes PWG and Apple raster, JPEG and
// PNG itself) end here, refused with a reason.
bool refuseRaster(pappl_job_t* job, pappl_pr_options_t*, pappl_device_t*) {
  papplJobSetReasons(job, PAPPL_JREASON_DOCUMENT_FORMAT_ERROR | PAPPL_JREASON_ABORTED_BY_SYSTEM, PAPPL_JREASON_NONE);
  papplJobSetMessage(job, "A cutter cuts outlines: raster documents (%s) cannot be cut. Send an HPGL plot file.",
                     papplJobGetFormat(job));
  return false;
}
bool refuseRasterPage(pappl_job_t*, pappl_pr_options_t*, pappl_device_t*, unsigned) { return false; }
bool refuseRasterLine(pappl_job_t*, pappl_pr_options_t*, pappl_device_t*, unsigned, const unsigned char*) { return false; }

void identify(pappl_printer_t* printer, pappl_identify_actions_t, const char* message) {
  pappl_pr_driver_data_t data;
  if (!papplPrinterGetDriverData(printer, &data) || !data.extension) return;
  static_cast<Cutter*>(data.extension)->noteIdentify(QString::fromUtf8(message ? message : ""));
}

std::string mediaName(double widthMm, double heightMm) {
  char name[128];
  pwgFormatSizeName(name, sizeof name, "custom", "cutter", static_cast<int>(widthMm * 100), static_cast<int>(heightMm * 100), "mm");
  return name;
}

}  // namespace

struct Cutter::Slot {
  JobReport report;
  bool changed = false;
  bool finished = false;
};

CutterSettings cutterSettingsOf(const std::string& home) {
  config::CIniConfig cfg(home);
  CutterSettings s;
  std::error_code ec;
  s.home = std::filesystem::weakly_canonical(home, ec).string();
  if (s.home.empty()) s.home = home;
  s.name = printerNameFor(cfg);
  char uri[64];
  std::snprintf(uri, sizeof uri, "qelcut://cutter/%016llx", static_cast<unsigned long long>(fnv1a(s.home)));
  s.deviceUri = uri;
  // One media size: the working area. Out-of-range settings fall back to the first-run values.
  s.pageWidthMm = cfg.read(config::keys::Page_Width);
  s.pageHeightMm = cfg.read(config::keys::Page_Height);
  if (!(s.pageWidthMm >= 10 && s.pageWidthMm <= 100000)) s.pageWidthMm = 1500;
  if (!(s.pageHeightMm >= 10 && s.pageHeightMm <= 100000)) s.pageHeightMm = 1200;
  return s;
}

Cutter::Cutter(CutterSettings settings, intake::CSendQueue::Services services, std::int64_t maxJobBytes)
    : settings_(std::move(settings)),
      maxJobBytes_(maxJobBytes),
      queue_(std::make_unique<intake::CSendQueue>(QString::fromStdString(settings_.home), std::move(services))),
      mediaName_(mediaName(settings_.pageWidthMm, settings_.pageHeightMm)) {
  qRegisterMetaType<intake::JobReport>();
  connect(queue_.get(), &intake::CSendQueue::jobChanged, this, &Cutter::onJobChanged);
  connect(queue_.get(), &intake::CSendQueue::pausedChanged, this, [this](bool paused, bool) { onPausedChanged(paused); });
  connect(queue_.get(), &intake::CSendQueue::pausedFor, this, &Cutter::onPausedFor);
}

Cutter::~Cutter() { queue_->stop(); }

void Cutter::fillDriverData(pappl_pr_driver_data_t& d) const {
  d.extension = const_cast<Cutter*>(this);
  d.printfile_cb = printRaw;
  d.rstartjob_cb = refuseRaster;
  d.rendjob_cb = refuseRaster;
  d.rstartpage_cb = refuseRasterPage;
  d.rendpage_cb = refuseRasterPage;
  d.rwriteline_cb = refuseRasterLine;
  d.format = kCutterFormat;
  std::snprintf(d.make_and_model, sizeof d.make_and_model, "QEL Cutter (HPGL)");
  d.ppm = 1;
  d.kind = PAPPL_KIND_LARGE_FORMAT | PAPPL_KIND_ROLL;
  // Plotter units are 40 to the millimetre: 1016 to the inch.
  d.num_resolution = 1;
  d.x_resolution[0] = d.y_resolution[0] = 1016;
  d.x_default = d.y_default = 1016;
  d.color_supported = d.color_default = PAPPL_COLOR_MODE_MONOCHROME;
  d.raster_types = PAPPL_PWG_RASTER_TYPE_BLACK_1;
  d.sides_supported = d.sides_default = PAPPL_SIDES_ONE_SIDED;
  d.orient_default = IPP_ORIENT_PORTRAIT;
  // Identify-Printer: the operator reads the request in the cutter's log and on its page.
  d.identify_cb = identify;
  d.identify_default = d.identify_supported = PAPPL_IDENTIFY_ACTIONS_DISPLAY;
  d.left_right = d.bottom_top = 0;
  d.num_media = 1;
  d.media[0] = mediaName_.c_str();
  d.num_source = 1;
  d.source[0] = "main-roll";
  d.num_type = 1;
  d.type[0] = "other";
  pappl_media_col_t& m = d.media_default;
  m = pappl_media_col_t{};
  std::snprintf(m.size_name, sizeof m.size_name, "%s", mediaName_.c_str());
  m.size_width = static_cast<int>(settings_.pageWidthMm * 100);
  m.size_length = static_cast<int>(settings_.pageHeightMm * 100);
  std::snprintf(m.source, sizeof m.source, "main-roll");
  std::snprintf(m.type, sizeof m.type, "other");
  d.media_ready[0] = m;
}

void Cutter::attach(pappl_printer_t* printer) {
  printer_ = printer;
  // A loaded printer keeps the media it was saved with; the settings decide them.
  pappl_pr_driver_data_t data;
  if (papplPrinterGetDriverData(printer, &data)) {
    fillDriverData(data);
    papplPrinterSetDriverDefaults(printer, &data, 0, nullptr);
    papplPrinterSetReadyMedia(printer, 1, data.media_ready);
  }
  queue_->start();
}

void Cutter::startKeptJobs() {
  if (printer_ && papplPrinterGetNumberOfActiveJobs(printer_) > 0) ownAction([&] { papplPrinterResume(printer_); });
}

template <class F>
void Cutter::ownAction(F&& f) {
  const Cutter* before = t_acting;
  t_acting = this;
  f();
  t_acting = before;
}

// ---- jobs ----

bool Cutter::runJob(pappl_job_t* job) {
  const int id = papplJobGetID(job);
  {
    std::lock_guard<std::mutex> l(m_);
    ++inside_;
  }
  struct Leave {
    Cutter& c;
    ~Leave() {
      std::lock_guard<std::mutex> l(c.m_);
      --c.inside_;
      c.changed_.notify_all();
    }
  } leave{*this};
  auto refuse = [&](pappl_jreason_t reason, const std::string& message) {
    papplJobSetReasons(job, reason | PAPPL_JREASON_ABORTED_BY_SYSTEM, PAPPL_JREASON_NONE);
    papplJobSetMessage(job, "%s", message.c_str());
    return false;
  };
  if (stopping_) return refuse(PAPPL_JREASON_NONE, "The printer application is stopping: send the job again once it runs.");
  const char* mime = papplJobGetFormat(job);
  const JobFormat* format = formatForMime(mime ? mime : "");
  if (!format)
    return refuse(PAPPL_JREASON_DOCUMENT_FORMAT_ERROR, std::string("A cutter takes no documents of the format ") + (mime ? mime : "?") + ".");
  const char* spool = papplJobGetFilename(job);
  struct stat st {};
  if (!spool || ::stat(spool, &st) != 0 || !S_ISREG(st.st_mode))
    return refuse(PAPPL_JREASON_JOB_DATA_INSUFFICIENT, "The job's document did not arrive.");
  if (st.st_size == 0) return refuse(PAPPL_JREASON_JOB_DATA_INSUFFICIENT, "The document is empty: there is nothing to cut.");
  if (st.st_size > maxJobBytes_)
    return refuse(PAPPL_JREASON_DOCUMENT_UNPRINTABLE_ERROR,
                  "The document is larger than the cutter takes (" + std::to_string(maxJobBytes_ / (1024 * 1024)) + " MB).");
  // The queue gets its own copy under a plain name (the spool file belongs to the framework).
  const std::string dir = queue_->jobDir().toStdString();
  const std::string name = jobFileName(id, papplJobGetName(job) ? papplJobGetName(job) : "", format->extension);
  const std::string target = dir + "/" + name, part = dir + "/." + name + ".part";
  if (!platform::makeDirectories(dir) || !platform::copyFile(spool, part) || !platform::moveFileReplacing(part, target)) {
    ::unlink(part.c_str());
    // The folder is named in the log of this computer, not to the network.
    papplLogJob(job, PAPPL_LOGLEVEL_ERROR, "Cannot copy the document into %s.", dir.c_str());
    return refuse(PAPPL_JREASON_NONE, "The document cannot be copied into the cutter's job folder.");
  }
  auto slot = std::make_shared<Slot>();
  {
    std::lock_guard<std::mutex> l(m_);
    slots_[id] = slot;
  }
  intake::postQueued(this, [this, id, file = QString::fromStdString(target)] { enqueue(id, file); });

  JobReport last;
  int pagesDone = 0;
  bool cancelAsked = false;
  for (;;) {
    std::unique_lock<std::mutex> l(m_);
    changed_.wait_for(l, std::chrono::milliseconds(200), [&] { return slot->changed; });
    const bool changed = slot->changed, finished = slot->finished;
    slot->changed = false;
    last = slot->report;
    l.unlock();
    if (changed) {
      papplJobSetMessage(job, "%s", jobMessage(last, stopping_).c_str());
      papplJobSetReasons(job, jobReasons(last), kOwnJobReasons & ~jobReasons(last));
      if (last.pages > 0) {
        papplJobSetImpressions(job, last.pages);
        const int done = last.stage == JobStage::Completed ? last.pages
                         : (last.stage == JobStage::Waiting || last.stage == JobStage::Sending) ? last.page - 1
                                                                                                 : last.page;
        if (done > pagesDone) papplJobSetImpressionsCompleted(job, done - pagesDone), pagesDone = done;
      }
    }
    if (finished) break;
    if (!cancelAsked && papplJobIsCanceled(job)) {
      cancelAsked = true;
      intake::postQueued(this, [this, id] { queue_->cancelJob(static_cast<quint64>(id)); });
    }
  }
  std::lock_guard<std::mutex> l(m_);
  slots_.erase(id);
  return last.stage == JobStage::Completed;
}

void Cutter::enqueue(int id, const QString& file) {
  QString why;
  if (!stopping_ && queue_->enqueueJob(static_cast<quint64>(id), file, &why)) return;
  ::unlink(file.toLocal8Bit().constData());
  JobReport r;
  r.stage = JobStage::Failed;
  r.failure.kind = stopping_ ? intake::FailureKind::SendStopped : intake::FailureKind::None;
  r.failure.file = file;
  r.failure.detail = why;
  onJobChanged(static_cast<quint64>(id), r);
}

void Cutter::onJobChanged(quint64 id, const JobReport& queueReport) {
  // The reasons go to the network: without the folders of this computer.
  JobReport report = queueReport;
  report.failure.detail.replace(queue_->jobDir() + QLatin1Char('/'), QString());
  report.failure.detail.replace(QString::fromStdString(settings_.home) + QLatin1Char('/'), QString());
  std::lock_guard<std::mutex> l(m_);
  const int jobId = static_cast<int>(id);
  recent_[jobId] = report;
  while (recent_.size() > 500) recent_.erase(recent_.begin());
  if (auto it = slots_.find(jobId); it != slots_.end()) {
    it->second->report = report;
    it->second->changed = true;
    it->second->finished = report.finished();
    changed_.notify_all();
  }
}

std::optional<JobReport> Cutter::lastReport(int jobId) const {
  std::lock_guard<std::mutex> l(m_);
  auto it = recent_.find(jobId);
  if (it == recent_.end()) return std::nullopt;
  return it->second;
}

// ---- the printer's state ----

void Cutter::onPausedChanged(bool paused) {
  queuePaused_ = paused;
  if (!printer_) return;
  if (paused && !papplPaused_) {
    papplPaused_ = true;
    ownAction([&] { papplPrinterPause(printer_); });
  } else if (!paused && papplPaused_) {
    papplPaused_ = false;
    ownAction([&] {
      papplPrinterSetReasons(printer_, PAPPL_PREASON_NONE, PAPPL_PREASON_OFFLINE);
      papplPrinterResume(printer_);
    });
    std::lock_guard<std::mutex> l(m_);
    pauseReason_.clear();
  }
}

void Cutter::onPausedFor(intake::PauseCause cause, const intake::QueueFailure& failure) {
  // The operator's pause needs no reason; the queue's own pauses keep the link's text for the
  // web page, and the machine out of reach makes the printer offline besides paused.
  if (cause == intake::PauseCause::Operator) return;
  if (printer_ && failure.kind == intake::FailureKind::MachineUnreachable)
    ownAction([&] { papplPrinterSetReasons(printer_, PAPPL_PREASON_OFFLINE, PAPPL_PREASON_NONE); });
  std::lock_guard<std::mutex> l(m_);
  pauseReason_ = failure.detail.isEmpty() ? intake::englishText(failure.kind) : failure.detail;
}

void Cutter::noteIdentify(const QString& message) {
  intake::postQueued(this, [this, message = intake::ownCopy(message)] {
    emit logLine(QStringLiteral("identify requested%1").arg(message.isEmpty() ? QString() : QStringLiteral(": ") + message));
  });
}

QString Cutter::pauseReason() const {
  std::lock_guard<std::mutex> l(m_);
  return pauseReason_;
}

void Cutter::noteEvent(pappl_event_t event) {
  if (!(event & (PAPPL_EVENT_PRINTER_STATE_CHANGED | PAPPL_EVENT_PRINTER_STOPPED))) return;
  const std::uint64_t seq = ++g_eventSeq;
  std::lock_guard<std::mutex> l(m_);
  if (t_acting == this) {
    ownEventSeq_ = seq;
    return;
  }
  events_[seq] = event;
  if (!applyPosted_) {
    applyPosted_ = true;
    intake::postQueued(this, [this] { applyEvents(); });
  }
}

// Pause and resume by others (IPP Pause-Printer and Resume-Printer, the framework's pages): the
// queue follows. Events raised before our own last call are stale: the state they reported is
// gone. A resume is the one plain state change after which the printer is no longer stopped
// while we hold it paused (a finished job leaves it stopped).
void Cutter::applyEvents() {
  std::map<std::uint64_t, pappl_event_t> events;
  std::uint64_t own;
  {
    std::lock_guard<std::mutex> l(m_);
    events.swap(events_);
    applyPosted_ = false;
    own = ownEventSeq_;
  }
  for (const auto& [seq, event] : events) {
    if (seq < own || !printer_ || stopping_) continue;
    if (event & PAPPL_EVENT_PRINTER_STOPPED) {
      papplPaused_ = true;
      if (!queue_->translatePaused()) queue_->TogglePause();
    } else if (papplPaused_ && papplPrinterGetState(printer_) != IPP_PSTATE_STOPPED) {
      papplPaused_ = false;
      ownAction([&] { papplPrinterSetReasons(printer_, PAPPL_PREASON_NONE, PAPPL_PREASON_OFFLINE); });
      {
        std::lock_guard<std::mutex> l(m_);
        pauseReason_.clear();
      }
      if (queue_->translatePaused()) queue_->TogglePause();
    }
  }
}

void Cutter::pause() {
  if (!queue_->translatePaused()) queue_->TogglePause();
}

void Cutter::resume() {
  if (queue_->translatePaused()) queue_->TogglePause();
  else if (papplPaused_) onPausedChanged(false);
}

// ---- stopping ----

void Cutter::stop(int waitMs) {
  stopping_ = true;
  if (printer_) ownAction([&] { papplPrinterPause(printer_); });
  queue_->stop();
  // Jobs handed over but not yet taken by the queue, then every job the queue still holds.
  QCoreApplication::sendPostedEvents(this);
  std::vector<int> open;
  {
    std::lock_guard<std::mutex> l(m_);
    for (const auto& [id, slot] : slots_) open.push_back(id);
  }
  for (int id : open) queue_->cancelJob(static_cast<quint64>(id));
  std::unique_lock<std::mutex> l(m_);
  changed_.wait_for(l, std::chrono::milliseconds(waitMs), [&] { return inside_ == 0; });
}

}  // namespace qel::app::printer
