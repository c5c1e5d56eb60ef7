// The home page and the cutters' pages. Texts go through tr() with their English as the key;
// the Chinese ones are in web_zh.strings.
#include "app/printer/web_pages.h"

#include <QCoreApplication>
#include <QMetaObject>

#include <sys/socket.h>

#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>

#include "app/printer/cutter.h"
#include "app/printer/job_text.h"
#include "intake/queued_call.h"

namespace qel::app::printer {

namespace {

const char* tr(pappl_client_t* client, const char* english) { return papplClientGetLocString(client, english); }

struct HomeData {
  std::vector<Cutter*> cutters;
};

// Administration (pause, continue, cancel) from the web page, as the framework decides for its
// own: this computer may, unless a password (or PAM) is set; other computers need one, over TLS.
bool adminAllowed(pappl_client_t* client) {
  const http_status_t code = papplClientIsAuthorized(client);
  if (code == HTTP_STATUS_CONTINUE) return true;
  papplClientRespond(client, code, nullptr, nullptr, 0, 0);
  return false;
}

// Where a page's form posts: the cutter's page; with https:// for a client on another computer
// that came without TLS.
std::string formTarget(pappl_client_t* client, const char* path) {
  http_t* http = papplClientGetHTTP(client);
  http_addr_t* addr = httpGetAddress(http);
  const bool local = addr && (httpAddrFamily(addr) == AF_LOCAL || httpAddrLocalhost(addr));
  if (local || papplClientIsEncrypted(client)) return std::string(path) + "/";
  char url[1024];
  httpAssembleURIf(HTTP_URI_CODING_ALL, url, sizeof url, "https", nullptr, papplClientGetHostName(client),
                   papplClientGetHostPort(client), "%s/", path);
  return url;
}

// Runs on the Qt thread and waits for it (the queue lives there); from a framework client thread.
template <class F>
void onQueueThread(Cutter* cutter, F f) {
  QMetaObject::invokeMethod(
      cutter, [box = intake::QueuedHandoff<F>(std::move(f))] { box.get()(); }, Qt::BlockingQueuedConnection);
}

const char* stateWord(pappl_client_t* client, ipp_pstate_t state) {
  switch (state) {
    case IPP_PSTATE_IDLE: return tr(client, "Idle");
    case IPP_PSTATE_PROCESSING: return tr(client, "Cutting");
    default: return tr(client, "Stopped");
  }
}

const char* jobStateWord(pappl_client_t* client, ipp_jstate_t state) {
  switch (state) {
    case IPP_JSTATE_PENDING: return tr(client, "Pending");
    case IPP_JSTATE_HELD: return tr(client, "Held");
    case IPP_JSTATE_PROCESSING: return tr(client, "Processing");
    case IPP_JSTATE_STOPPED: return tr(client, "Stopped");
    case IPP_JSTATE_CANCELED: return tr(client, "Cancelled");
    case IPP_JSTATE_ABORTED: return tr(client, "Failed");
    case IPP_JSTATE_COMPLETED: return tr(client, "Completed");
  }
  return "";
}

std::string timeOf(time_t t) {
  if (!t) return {};
  char buf[32];
  std::tm tm{};
  localtime_r(&t, &tm);
  std::strftime(buf, sizeof buf, "%Y-%m-%d %H:%M:%S", &tm);
  return buf;
}

// The state line of a cutter: its state, its queued jobs, why it stopped.
void putStatus(pappl_client_t* client, Cutter& cutter, bool linkName) {
  pappl_printer_t* p = cutter.printer();
  const ipp_pstate_t state = papplPrinterGetState(p);
  const pappl_preason_t reasons = papplPrinterGetReasons(p);
  char path[256];
  papplPrinterGetPath(p, nullptr, path, sizeof path);
  if (linkName)
    papplClientHTMLPrintf(client, "          <h2 class=\"title\"><a href=\"%s/\">%s</a></h2>\n", path, papplPrinterGetName(p));
  papplClientHTMLPrintf(client, "          <p class=\"cutter-state\"><img class=\"%s\" src=\"%s/icon-md.png\">%s",
                        ippEnumString("printer-state", static_cast<int>(state)), path, stateWord(client, state));
  // The list's punctuation is the language's own.
  const char* comma = tr(client, ", ");
  char jobs[128];
  std::snprintf(jobs, sizeof jobs, tr(client, "%d job(s) queued"), papplPrinterGetNumberOfActiveJobs(p));
  papplClientHTMLPrintf(client, "%s%s", comma, jobs);
  if (reasons & PAPPL_PREASON_OFFLINE) papplClientHTMLPrintf(client, "%s%s", comma, tr(client, "the machine cannot be reached"));
  if (state == IPP_PSTATE_STOPPED) papplClientHTMLPrintf(client, "%s%s", comma, tr(client, "paused"));
  papplClientHTMLPuts(client, tr(client, "."));
  const std::string why = cutter.pauseReason().toStdString();
  if (!why.empty()) papplClientHTMLPrintf(client, "<br>%s %s", tr(client, "The link said:"), why.c_str());
  papplClientHTMLPuts(client, "</p>\n");
  // The buttons post to the cutter's own page, over TLS from other computers (administration
  // asks for it there).
  papplClientHTMLPuts(client, "          <div class=\"btn\">");
  const std::string action = formTarget(client, path);
  papplClientHTMLStartForm(client, action.c_str(), false);
  if (state == IPP_PSTATE_STOPPED || cutter.queuePaused())
    papplClientHTMLPrintf(client, "<input type=\"hidden\" name=\"action\" value=\"resume-printer\"><input type=\"submit\" value=\"%s\"></form>",
                          tr(client, "Continue"));
  else
    papplClientHTMLPrintf(client, "<input type=\"hidden\" name=\"action\" value=\"pause-printer\"><input type=\"submit\" value=\"%s\"></form>",
                          tr(client, "Pause"));
  papplClientHTMLPuts(client, "</div>\n");
}

struct JobRows {
  pappl_client_t* client;
  Cutter* cutter;
  bool cancel;  // a Cancel button per job
};

void putJobRow(pappl_job_t* job, void* data) {
  auto* rows = static_cast<JobRows*>(data);
  pappl_client_t* client = rows->client;
  const int id = papplJobGetID(job);
  const ipp_jstate_t state = papplJobGetState(job);
  std::string message;
  if (auto report = rows->cutter->lastReport(id))
    message = jobMessage(*report, rows->cutter->stopping(), [client](const char* s) { return tr(client, s); });
  else if (const char* m = papplJobGetMessage(job))
    message = m;
  const time_t when = state >= IPP_JSTATE_CANCELED ? papplJobGetTimeCompleted(job)
                      : state == IPP_JSTATE_PROCESSING ? papplJobGetTimeProcessed(job)
                                                       : papplJobGetTimeCreated(job);
  papplClientHTMLPrintf(client,
                        "              <tr class=\"job-%s\"><td>%d</td><td>%s</td><td>%s</td><td>%d/%d</td><td>%s<br><small>%s</small></td><td>%s</td><td>",
                        ippEnumString("job-state", static_cast<int>(state)), id, papplJobGetName(job) ? papplJobGetName(job) : "",
                        papplJobGetUsername(job) ? papplJobGetUsername(job) : "", papplJobGetImpressionsCompleted(job),
                        papplJobGetImpressions(job), jobStateWord(client, state), timeOf(when).c_str(), message.c_str());
  if (rows->cancel && !papplJobIsCanceled(job)) {
    char path[256];
    papplPrinterGetPath(rows->cutter->printer(), nullptr, path, sizeof path);
    papplClientHTMLStartForm(client, formTarget(client, path).c_str(), false);
    papplClientHTMLPrintf(client,
                          "<input type=\"hidden\" name=\"action\" value=\"cancel-job\"><input type=\"hidden\" name=\"job-id\" value=\"%d\"><input type=\"submit\" value=\"%s\"></form>",
                          id, tr(client, "Cancel"));
  }
  papplClientHTMLPuts(client, "</td></tr>\n");
}

void putJobTable(pappl_client_t* client, Cutter& cutter, bool active) {
  pappl_printer_t* p = cutter.printer();
  const int count = active ? papplPrinterGetNumberOfActiveJobs(p) : papplPrinterGetNumberOfCompletedJobs(p);
  papplClientHTMLPrintf(client, "          <h2 class=\"title\">%s</h2>\n", tr(client, active ? "Queued jobs" : "History"));
  if (count == 0) {
    papplClientHTMLPrintf(client, "          <p>%s</p>\n", tr(client, active ? "No job is queued." : "No job in the history."));
    return;
  }
  papplClientHTMLPrintf(client,
                        "          <table class=\"list\" id=\"%s\">\n            <thead><tr><th>%s</th><th>%s</th><th>%s</th><th>%s</th><th>%s</th><th>%s</th><th></th></tr></thead>\n            <tbody>\n",
                        active ? "queued" : "history", tr(client, "Job #"), tr(client, "Name"), tr(client, "Owner"),
                        tr(client, "Pages"), tr(client, "State"), tr(client, "Message"));
  JobRows rows{client, &cutter, active};
  if (active) papplPrinterIterateActiveJobs(p, putJobRow, &rows, 1, 100);
  else papplPrinterIterateCompletedJobs(p, putJobRow, &rows, 1, 50);
  papplClientHTMLPuts(client, "            </tbody>\n          </table>\n");
}

// POST of the cutter's page by an administrator: pause, continue, cancel. The banner text.
const char* doAction(pappl_client_t* client, Cutter& cutter) {
  cups_option_t* form = nullptr;
  const int n = papplClientGetForm(client, &form);
  const char* banner = nullptr;
  if (n == 0 || !papplClientIsValidForm(client, n, form)) {
    banner = "The form was not valid: reload the page and try again.";
  } else {
    const char* action = cupsGetOption("action", n, form);
    const std::string act = action ? action : "";
    if (act == "pause-printer") {
      onQueueThread(&cutter, [&] { cutter.pause(); });
      banner = "The cutter is paused.";
    } else if (act == "resume-printer") {
      onQueueThread(&cutter, [&] { cutter.resume(); });
      banner = "The cutter continues.";
    } else if (act == "cancel-job") {
      const char* idText = cupsGetOption("job-id", n, form);
      char* end = nullptr;
      const long id = idText ? std::strtol(idText, &end, 10) : 0;
      pappl_job_t* job = (idText && end && !*end && id > 0 && id < 1000000000) ? papplPrinterFindJob(cutter.printer(), static_cast<int>(id)) : nullptr;
      if (!job) {
        banner = "There is no such job.";
      } else {
        papplJobCancel(job);
        banner = "The job is being cancelled.";
      }
    } else {
      banner = "Unknown action.";
    }
  }
  cupsFreeOptions(n, form);
  return banner;
}

bool cutterPage(pappl_client_t* client, void* data) {
  Cutter& cutter = *static_cast<Cutter*>(data);
  const char* banner = nullptr;
  if (papplClientGetMethod(client) == HTTP_STATE_POST) {
    // Asked first: a login form posted here makes the request a plain view of the page.
    if (!adminAllowed(client)) return true;
    if (papplClientGetMethod(client) == HTTP_STATE_POST) banner = doAction(client, cutter);
  }
  const bool busy = papplPrinterGetState(cutter.printer()) == IPP_PSTATE_PROCESSING || papplPrinterGetNumberOfActiveJobs(cutter.printer()) > 0;
  papplClientHTMLPrinterHeader(client, cutter.printer(), nullptr, busy ? 5 : 0, nullptr, nullptr);
  papplClientHTMLPuts(client, "      <div class=\"row\">\n        <div class=\"col-12\">\n");
  if (banner) papplClientHTMLPrintf(client, "          <div class=\"banner\">%s</div>\n", tr(client, banner));
  papplClientHTMLPrintf(client, "          <h1 class=\"title\">%s</h1>\n", tr(client, "Cutter"));
  putStatus(client, cutter, false);
  putJobTable(client, cutter, true);
  putJobTable(client, cutter, false);
  papplClientHTMLPuts(client, "        </div>\n      </div>\n");
  papplClientHTMLPrinterFooter(client);
  return true;
}

bool homePage(pappl_client_t* client, void* data) {
  const HomeData& home = *static_cast<HomeData*>(data);
  if (!papplClientRespond(client, HTTP_STATUS_OK, nullptr, "text/html", 0, 0)) return false;
  bool busy = false;
  for (Cutter* c : home.cutters) busy = busy || papplPrinterGetNumberOfActiveJobs(c->printer()) > 0;
  papplClientHTMLHeader(client, "Cutters", busy ? 5 : 0);
  papplClientHTMLPrintf(client, "      <div class=\"row\">\n        <div class=\"col-12\">\n          <h1 class=\"title\">%s</h1>\n",
                        tr(client, "Cutters"));
  papplClientHTMLPrintf(client, "          <p>%s</p>\n",
                        tr(client, "Each cutter is a network printer: add it by its address, or print to it with \"lp -h HOST:PORT -d NAME FILE\"."));
  for (Cutter* c : home.cutters) putStatus(client, *c, true);
  papplClientHTMLPuts(client, "        </div>\n      </div>\n");
  papplClientHTMLFooter(client);
  return true;
}

// Printers come and go with the homes given on the command line, not from the web page.
bool notHere(pappl_client_t* client, void*) {
  if (!papplClientRespond(client, HTTP_STATUS_OK, nullptr, "text/html", 0, 0)) return false;
  papplClientHTMLHeader(client, "Cutters", 0);
  papplClientHTMLPrintf(client, "      <div class=\"row\">\n        <div class=\"col-12\">\n          <p>%s</p>\n        </div>\n      </div>\n",
                        tr(client, "Cutters are the home folders given to \"qelcut printer-app --home DIR\": add or remove them there."));
  papplClientHTMLFooter(client);
  return true;
}

}  // namespace

void registerWebPages(pappl_system_t* system, const std::vector<std::unique_ptr<Cutter>>& cutters) {
  static HomeData home;
  home.cutters.clear();
  for (const auto& c : cutters)
    if (c->printer()) home.cutters.push_back(c.get());
  papplSystemAddResourceCallback(system, "/", "text/html", homePage, &home);
  papplSystemAddResourceCallback(system, "/addprinter", "text/html", notHere, nullptr);
  for (Cutter* c : home.cutters) {
    char path[256];
    papplPrinterGetPath(c->printer(), nullptr, path, sizeof path);
    const std::string page = std::string(path) + "/", remove = std::string(path) + "/delete";
    papplSystemRemoveResource(system, page.c_str());
    papplSystemAddResourceCallback(system, page.c_str(), "text/html", cutterPage, c);
    papplSystemRemoveResource(system, remove.c_str());
    papplSystemAddResourceCallback(system, remove.c_str(), "text/html", notHere, nullptr);
  }
  papplSystemAddStringsData(system, "/zh.strings", "zh", kWebStringsZh);
}

}  // namespace qel::app::printer
