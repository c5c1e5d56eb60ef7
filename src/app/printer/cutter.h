#pragma once
// One cutter of the printer application: a home folder, its send queue and its network printer.
// Network jobs go into the queue like the watch folder's files; the printer's job and printer
// states follow what the queue reports.
//
// Threads: the object lives on the application's Qt thread, which owns the queue. runJob is
// called on the framework's job threads and blocks there until the queue is done with the job;
// the framework's event callback calls noteEvent on any thread. Everything else runs on the Qt
// thread.
#include <QObject>
#include <QString>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include <pappl/pappl.h>

#include "intake/send_queue.h"

namespace qel::app::printer {

struct CutterSettings {
  std::string home;
  std::string name;         // the printer name
  std::string deviceUri;    // identifies the cutter's printer across restarts
  double pageWidthMm = 0;   // Page_Width
  double pageHeightMm = 0;  // Page_Height
};

// Reads a home's settings (creating Config.ini with its first-run values when missing).
CutterSettings cutterSettingsOf(const std::string& home);

class Cutter : public QObject {
  Q_OBJECT
 public:
  // `maxJobBytes`: larger documents are refused.
  Cutter(CutterSettings settings, intake::CSendQueue::Services services, std::int64_t maxJobBytes);
  ~Cutter() override;

  const CutterSettings& settings() const { return settings_; }
  intake::CSendQueue& queue() { return *queue_; }

  // The driver data of the cutter's printer: the accepted formats, its media (one size, from
  // Page_Width and Page_Height), the callbacks that refuse raster documents.
  void fillDriverData(pappl_pr_driver_data_t& data) const;

  // Binds the printer (created or loaded) and starts the queue; its media follow the settings.
  void attach(pappl_printer_t* printer);
  pappl_printer_t* printer() const { return printer_; }
  // Once the system runs: the jobs the state kept from the last run start.
  void startKeptJobs();

  // Framework job thread: hands the job's document to the queue and follows it to its end.
  // True when the machine took every page.
  bool runJob(pappl_job_t* job);

  // Any thread: a framework event about this cutter's printer (only noted; acted on later on
  // the Qt thread, since the framework holds its locks while it reports).
  void noteEvent(pappl_event_t event);

  // Qt thread, on the operator's request (the web page): pauses or continues queue and printer.
  void pause();
  void resume();

  // Any thread: Identify-Printer; the request goes to the cutter's log.
  void noteIdentify(const QString& message);

  // What the web page shows beside the framework's state: why the cutter stopped, and the last
  // report of each recent job. Any thread.
  QString pauseReason() const;
  std::optional<intake::JobReport> lastReport(int jobId) const;
  bool stopping() const { return stopping_; }
  // Whether the queue is paused (kept for the web page's threads).
  bool queuePaused() const { return queuePaused_; }

  // Qt thread, when the application stops: no new job starts, the queue stops (a send under way
  // is stopped), the jobs it held end. Returns once no job thread is inside runJob any more, or
  // after `waitMs`.
  void stop(int waitMs);

 signals:
  // A line for the log beside the queue's own (Qt thread).
  void logLine(const QString& line);

 private:
  struct Slot;
  void onJobChanged(quint64 id, const intake::JobReport& queueReport);
  void onPausedChanged(bool paused);
  void onPausedFor(intake::PauseCause cause, const intake::QueueFailure& failure);
  void applyEvents();
  // Calls into the framework that raise events of our own making, which noteEvent then ignores.
  template <class F>
  void ownAction(F&& f);
  void enqueue(int id, const QString& file);

  CutterSettings settings_;
  std::int64_t maxJobBytes_;
  std::unique_ptr<intake::CSendQueue> queue_;
  std::string mediaName_;               // the working area as a PWG media name
  pappl_printer_t* printer_ = nullptr;  // not owned: the framework's
  bool papplPaused_ = false;            // we hold the printer paused (Qt thread)
  std::atomic<bool> stopping_{false};
  std::atomic<bool> queuePaused_{false};

  mutable std::mutex m_;  // guards what follows
  std::condition_variable changed_;
  std::map<int, std::shared_ptr<Slot>> slots_;       // jobs inside runJob
  std::map<int, intake::JobReport> recent_;          // last reports, for the web page
  QString pauseReason_;
  std::uint64_t ownEventSeq_ = 0;                    // the last event we caused
  std::map<std::uint64_t, pappl_event_t> events_;    // noted, not yet applied
  bool applyPosted_ = false;
  int inside_ = 0;                                   // job threads inside runJob
};

}  // namespace qel::app::printer
