// The printer system: the framework's system object, one printer per cutter, the state file.
#include "app/printer/printer_app.h"

#include <QCoreApplication>
#include <QString>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <cstdio>
#include <mutex>
#include <set>

#include "app/printer/admin_password.h"
#include "app/printer/job_formats.h"
#include "app/printer/web_pages.h"
#include "intake/dispose_translator.h"
#include "platform/files.h"

namespace qel::app::printer {

namespace {

constexpr const char* kDriverName = "qelcut-cutter";
constexpr const char* kDeviceId = "MFG:QEL;MDL:Cutter;CMD:HPGL;";
constexpr const char* kSystemName = "QEL Cutting System";

// The cutters' printers need no device of their own: the queue reaches the machine over the
// link its settings choose. The framework opens a device before every job; this one is a no-op.
bool deviceList(pappl_device_cb_t, void*, pappl_deverror_cb_t, void*) { return false; }
bool deviceOpen(pappl_device_t*, const char*, const char*) { return true; }
void deviceClose(pappl_device_t*) {}
ssize_t deviceRead(pappl_device_t*, void*, size_t) { return 0; }
ssize_t deviceWrite(pappl_device_t*, const void*, size_t bytes) { return static_cast<ssize_t>(bytes); }
pappl_preason_t deviceStatus(pappl_device_t*) { return PAPPL_PREASON_NONE; }

bool onDriver(pappl_system_t*, const char* driverName, const char* deviceUri, const char*, pappl_pr_driver_data_t* data,
              ipp_t** attrs, void* app) {
  Cutter* cutter = static_cast<PrinterApp*>(app)->cutterForUri(deviceUri);
  // A printer of a home no longer given is dropped with its history when the state is loaded.
  if (!cutter || std::string(driverName) != kDriverName) return false;
  cutter->fillDriverData(*data);
  *attrs = nullptr;
  return true;
}

const char* onRecognise(const unsigned char* header, size_t size, void*) {
  const JobFormat* f = formatForContent(std::string_view(reinterpret_cast<const char*>(header), size));
  return f ? f->mime : nullptr;
}

bool onJobFile(pappl_job_t* job, pappl_device_t*, void* app) {
  Cutter* cutter = static_cast<PrinterApp*>(app)->cutterForUri(papplPrinterGetDeviceURI(papplJobGetPrinter(job)));
  return cutter && cutter->runJob(job);
}

// Formats that reach a printer without a plot source behind them: content that was not
// recognised ("application/octet-stream" after the framework's own typing) and the images the
// framework would render to raster. Each job ends at once with the reason.
bool onRefusedFormat(pappl_job_t* job, pappl_device_t*, void*) {
  const std::string format = papplJobGetFormat(job) ? papplJobGetFormat(job) : "";
  papplJobSetReasons(job, PAPPL_JREASON_DOCUMENT_FORMAT_ERROR | PAPPL_JREASON_ABORTED_BY_SYSTEM, PAPPL_JREASON_NONE);
  if (format == "application/octet-stream")
    papplJobSetMessage(job, "The document was not recognised as a plot file: a cutter takes HPGL plot files and PDF or SVG drawings.");
  else
    papplJobSetMessage(job, "A cutter cuts outlines: %s documents cannot be cut. Send an HPGL plot file or a PDF or SVG drawing.", format.c_str());
  return false;
}

// Administration with the kept password: HTTP Basic (the framework asks for TLS from other
// computers before it calls this). Any user name; the password decides.
http_status_t onAuthorize(pappl_client_t* client, const char*, gid_t, void* data) {
  const std::string& kept = *static_cast<const std::string*>(data);
  const char* header = httpGetField(papplClientGetHTTP(client), HTTP_FIELD_AUTHORIZATION);
  if (!header || std::strncmp(header, "Basic ", 6) != 0) return HTTP_STATUS_UNAUTHORIZED;
  char decoded[512];
  int size = sizeof decoded;
  httpDecode64_2(decoded, &size, header + 6);
  const std::string pair(decoded, static_cast<std::size_t>(std::max(0, std::min(size, static_cast<int>(sizeof decoded) - 1))));
  const auto colon = pair.find(':');
  if (colon == std::string::npos || !matchesAdminPassword(kept, pair.substr(colon + 1))) return HTTP_STATUS_UNAUTHORIZED;
  papplClientSetUsername(client, pair.substr(0, colon).c_str());
  return HTTP_STATUS_CONTINUE;
}

void onEvent(pappl_system_t*, pappl_printer_t* printer, pappl_job_t*, pappl_event_t event, void* app) {
  if (!printer) return;
  if (Cutter* c = static_cast<PrinterApp*>(app)->cutterForUri(papplPrinterGetDeviceURI(printer))) c->noteEvent(event);
}

// The framework's loop sleeps until its next timer: a timer every second keeps a stop request
// from waiting up to half a minute, and looks after jobs the framework leaves without a word:
// - created (Create-Job) without a document for ten minutes: the client went away, and the job
//   would hold its place for ever; it is cancelled;
// - aborted because no filter reads their declared format (the framework accepts any format a
//   client names): they get the reason.
// Jobs are changed outside the iterations, which hold the printer's lock.
bool onSecond(pappl_system_t* system, void*) {
  papplSystemIteratePrinters(
      system,
      [](pappl_printer_t* printer, void*) {
        struct Found {
          std::vector<int> abandoned, unreadable;
        } found;
        papplPrinterIterateActiveJobs(
            printer,
            [](pappl_job_t* job, void* f) {
              if (papplJobGetState(job) == IPP_JSTATE_HELD && !papplJobGetFilename(job) &&
                  papplJobGetTimeCreated(job) + 600 < time(nullptr) && !papplJobIsCanceled(job))
                static_cast<Found*>(f)->abandoned.push_back(papplJobGetID(job));
            },
            &found, 1, 1000);
        papplPrinterIterateCompletedJobs(
            printer,
            [](pappl_job_t* job, void* f) {
              const char* format = papplJobGetFormat(job);
              if (papplJobGetState(job) == IPP_JSTATE_ABORTED && !papplJobGetMessage(job) && format &&
                  !formatForMime(format) && papplJobGetTimeCompleted(job) + 60 > time(nullptr))
                static_cast<Found*>(f)->unreadable.push_back(papplJobGetID(job));
            },
            &found, 1, 50);
        for (int id : found.abandoned)
          if (pappl_job_t* job = papplPrinterFindJob(printer, id)) {
            papplJobSetMessage(job, "The document never arrived.");
            papplJobCancel(job);
          }
        for (int id : found.unreadable)
          if (pappl_job_t* job = papplPrinterFindJob(printer, id)) {
            papplJobSetReasons(job, PAPPL_JREASON_DOCUMENT_FORMAT_ERROR | PAPPL_JREASON_ABORTED_BY_SYSTEM, PAPPL_JREASON_NONE);
            papplJobSetMessage(job, "A cutter takes no documents of the format %s: send an HPGL plot file or a PDF or SVG drawing.", papplJobGetFormat(job));
          }
      },
      nullptr);
  return true;
}

std::mutex& saveLock() {
  static std::mutex m;
  return m;
}

// Writes the state through a temporary file, so that a stop at any moment leaves the last
// complete state.
bool saveStateFile(pappl_system_t* system, const std::string& file) {
  std::lock_guard<std::mutex> l(saveLock());
  const std::string part = file + ".part";
  if (!papplSystemSaveState(system, part.c_str())) return false;
  return ::rename(part.c_str(), file.c_str()) == 0;
}

}  // namespace

PrinterApp::PrinterApp(PrinterAppOptions options) : options_(std::move(options)) {}

PrinterApp::~PrinterApp() {
  // A system still serving (jobs kept for the next start) is left to the end of the process.
  if (stop() && system_) papplSystemDelete(system_);
  else if (runner_.joinable()) runner_.detach();
}

std::string PrinterApp::stateFileOf(const std::string& stateDir) { return stateDir + "/printer-app.state"; }

Cutter* PrinterApp::cutterForUri(const char* deviceUri) const {
  if (!deviceUri) return nullptr;
  for (const auto& c : cutters_)
    if (c->settings().deviceUri == deviceUri) return c.get();
  return nullptr;
}

bool PrinterApp::takeHomes(std::string* error) {
  std::set<std::string> names, uris;
  for (const std::string& home : options_.homes) {
    if (!platform::makeDirectories(home)) {
      *error = "cannot create the home folder " + home;
      return false;
    }
    // One queue per home: a window, `qelcut watch` or another printer application on the same
    // home would take the same files.
    auto lock = std::make_unique<QLockFile>(QString::fromStdString(home + "/qelcut.lock"));
    lock->setStaleLockTime(0);
    if (!lock->tryLock(0)) {
      qint64 pid = 0;
      QString host, app;
      lock->getLockInfo(&pid, &host, &app);
      *error = "the queue of " + home + " is already run by " + (app.isEmpty() ? std::string("another qelcut") : app.toStdString()) +
               (pid ? " (process " + std::to_string(pid) + ")" : std::string()) +
               ": stop it first, or leave this home out";
      return false;
    }
    CutterSettings s = cutterSettingsOf(home);
    if (!uris.insert(s.deviceUri).second) {
      *error = "the home " + home + " is given twice";
      return false;
    }
    // Two homes with one name: the later ones are numbered.
    const std::string base = s.name;
    for (int n = 2; !names.insert(s.name).second; ++n) s.name = printerNameOf(base + "-" + std::to_string(n));
    auto translator = std::make_unique<intake::DisposeTranslator>();
    intake::CSendQueue::Services services;
    services.translator = translator.get();
    services.links = links::LinkFactory::standard(options_.links);
    services.clock = options_.clock;
    services.tickMs = options_.tickMs;
    // Unattended, as `qelcut watch`: after the machine was out of reach the queue (and with it
    // the printer) resumes by itself, with growing waits.
    services.autoResume = true;
    cutters_.push_back(std::make_unique<Cutter>(std::move(s), std::move(services), options_.maxJobBytes));
    translators_.push_back(std::move(translator));
    locks_.push_back(std::move(lock));
  }
  return true;
}

bool PrinterApp::start(std::string* error) {
  if (!platform::makeDirectories(options_.stateDir + "/spool")) {
    *error = "cannot create the state folder " + options_.stateDir;
    return false;
  }
  if (!takeHomes(error)) return false;

  papplDeviceAddScheme("qelcut", PAPPL_DEVTYPE_CUSTOM_LOCAL, deviceList, deviceOpen, deviceClose, deviceRead, deviceWrite,
                       deviceStatus, nullptr);
  pappl_soptions_t soptions = PAPPL_SOPTIONS_MULTI_QUEUE | PAPPL_SOPTIONS_WEB_INTERFACE;
  if (options_.logFile != "-" && options_.logFile != "syslog") soptions |= PAPPL_SOPTIONS_WEB_LOG;
  const std::string spool = options_.stateDir + "/spool";
  system_ = papplSystemCreate(soptions, kSystemName, options_.listen.port, "_print", spool.c_str(), options_.logFile.c_str(),
                              options_.logLevel, options_.authService.empty() ? nullptr : options_.authService.c_str(), false);
  if (!system_) {
    *error = "the printer system cannot be created";
    return false;
  }
  papplSystemSetFooterHTML(system_, "QEL Cutting System");
  // Every format of the table goes to the same job handler as the cutter's own.
  for (const JobFormat& f : jobFormats()) papplSystemAddMIMEFilter(system_, f.mime, kCutterFormat, onJobFile, this);
  // Found before the framework's own image filters, which go to raster.
  for (const char* refused : {"application/octet-stream", "image/jpeg", "image/png"})
    if (!formatForMime(refused)) papplSystemAddMIMEFilter(system_, refused, kCutterFormat, onRefusedFormat, nullptr);
  papplSystemSetMIMECallback(system_, onRecognise, this);
  static pappl_pr_driver_t drivers[] = {{kDriverName, "QEL Cutter (HPGL)", kDeviceId, nullptr}};
  papplSystemSetPrinterDrivers(system_, 1, drivers, nullptr, nullptr, onDriver, this);

  // Printers of the homes given keep their ids, settings and job history across restarts.
  const std::string stateFile = stateFileOf(options_.stateDir);
  struct stat st {};
  if (::stat(stateFile.c_str(), &st) == 0) papplSystemLoadState(system_, stateFile.c_str());
  // The framework's own web password is not used: its check takes any password (PAPPL 1.3.1).
  papplSystemSetPassword(system_, "");
  if (options_.authService.empty())
    if (auto kept = readAdminPassword(options_.stateDir)) {
      adminPassword_ = *kept;
      papplSystemSetAuthCallback(system_, "Basic", onAuthorize, &adminPassword_);
    }
  createPrinters();

  const char* host = options_.listen.host.empty() ? nullptr : options_.listen.host.c_str();
  if (!papplSystemAddListeners(system_, host)) {
    *error = "cannot listen on " + (host ? options_.listen.host : std::string("every address")) + ":" +
             std::to_string(options_.listen.port) + " (in use, or not an address of this computer)";
    return false;
  }
  for (const auto& c : cutters_)
    if (pappl_printer_t* p = papplSystemFindPrinter(system_, nullptr, 0, c->settings().deviceUri.c_str())) c->attach(p);
  registerWebPages(system_, cutters_);
  papplSystemSetSaveCallback(system_, onSave, this);
  papplSystemSetEventCallback(system_, onEvent, this);
  saveState();
  papplSystemAddTimerCallback(system_, 0, 1, onSecond, nullptr);
  runner_ = std::thread([this] { papplSystemRun(system_); });
  // Serving once the framework says it runs.
  for (int i = 0; i < 500 && !papplSystemIsRunning(system_); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  // Jobs kept from the last run wait until something asks the framework to look at its queue.
  for (const auto& c : cutters_) c->startKeptJobs();
  return true;
}

void PrinterApp::createPrinters() {
  for (const auto& c : cutters_) {
    const CutterSettings& s = c->settings();
    pappl_printer_t* p = papplSystemFindPrinter(system_, nullptr, 0, s.deviceUri.c_str());
    // Renamed in its settings: a printer of the new name (clients find it by name).
    if (p && s.name != papplPrinterGetName(p)) {
      papplPrinterDelete(p);
      p = nullptr;
    }
    if (!p) p = papplPrinterCreate(system_, 0, s.name.c_str(), kDriverName, kDeviceId, s.deviceUri.c_str());
    if (!p) continue;
    // History for the web page; the documents of the last jobs stay for "Reprint".
    papplPrinterSetMaxCompletedJobs(p, 100);
    papplPrinterSetMaxPreservedJobs(p, 10);
    if (papplSystemGetDefaultPrinterID(system_) == 0) papplSystemSetDefaultPrinterID(system_, papplPrinterGetID(p));
  }
}

bool PrinterApp::onSave(pappl_system_t* system, void* data) {
  auto* app = static_cast<PrinterApp*>(data);
  return saveStateFile(system, stateFileOf(app->options_.stateDir));
}

bool PrinterApp::saveState() { return system_ && saveStateFile(system_, stateFileOf(options_.stateDir)); }

bool PrinterApp::stop() {
  if (!system_) return true;
  if (stopped_) return !runner_.joinable();
  stopped_ = true;
  for (const auto& c : cutters_) c->stop(5000);
  bool pending = false;
  for (const auto& c : cutters_)
    if (c->printer() && papplPrinterGetNumberOfActiveJobs(c->printer()) > 0) pending = true;
  saveState();
  // The framework would wait up to a minute for jobs that are not to start now: they are in the
  // saved state with their documents, and the caller ends the process instead.
  if (pending) return false;
  papplSystemShutdown(system_);
  if (runner_.joinable()) runner_.join();
  return true;
}

}  // namespace qel::app::printer
