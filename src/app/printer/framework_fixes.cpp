// Three corrections of the printing framework (PAPPL 1.3 over CUPS 2.4), made where the framework
// calls exported functions: these definitions in the program are found before the libraries'
// own, do their part and hand on to them.
//
// 1. Print-server addresses. CUPS clients address a server's queue as "/printers/NAME" ("lp -h
//    HOST:PORT -d NAME") and a job as "/jobs/ID" ("cancel -h"); the framework knows only
//    "/ipp/print/NAME". Its printer lookup answers these forms too.
// 2. A document cut off by a client that went away. The framework reads a job's document until
//    the read gives nothing and takes what came as the whole document, so a connection lost half
//    way through an upload would be cut as far as it got. A read that ends while the request's
//    body is still unfinished is reported as the error it is: the framework then drops the job
//    and its file.
//    The same read ends a document that grows beyond the size the cutter takes, so that no
//    client can fill the disk with one upload (limitDocuments).
// 3. A job started twice. The framework starts a thread for the first pending job whenever it
//    looks at a printer's queue while no job is being processed, and marks the job as processing
//    only once that thread runs: two looks in quick succession (a job ending while another
//    arrives) start two threads for one job, which would both cut it and both finish it. Only
//    the first thread for a pending job processes it; a second one ends without touching it.
#include "app/printer/framework_fixes.h"

#include <dlfcn.h>

#include <atomic>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <set>
#include <string>

#include <pappl/pappl.h>

namespace {

template <class F>
F next(const char* name) {
  return reinterpret_cast<F>(::dlsym(RTLD_NEXT, name));
}

}  // namespace

extern "C" pappl_printer_t* papplSystemFindPrinter(pappl_system_t* system, const char* resource, int printerId,
                                                   const char* deviceUri) {
  using Find = pappl_printer_t* (*)(pappl_system_t*, const char*, int, const char*);
  static const Find library = next<Find>("papplSystemFindPrinter");
  if (!library) return nullptr;
  std::string mapped;
  if (resource && std::strncmp(resource, "/printers/", 10) == 0 && resource[10]) {
    // The printers' names are plain (printerNameOf): their resource is "/ipp/print/" + name.
    mapped = std::string("/ipp/print/") + (resource + 10);
    resource = mapped.c_str();
  } else if (resource && std::strncmp(resource, "/jobs/", 6) == 0) {
    // Job ids count per printer: the printer holding an unfinished job of that id.
    char* end = nullptr;
    const long id = std::strtol(resource + 6, &end, 10);
    struct Search {
      int id;
      pappl_printer_t* found;
    } search{static_cast<int>(id), nullptr};
    if (end && !*end && id > 0 && id < 1000000000) {
      papplSystemIteratePrinters(
          system,
          [](pappl_printer_t* printer, void* data) {
            auto* s = static_cast<Search*>(data);
            pappl_job_t* job = s->found ? nullptr : papplPrinterFindJob(printer, s->id);
            if (job && papplJobGetState(job) < IPP_JSTATE_STOPPED) s->found = printer;
          },
          &search);
    }
    if (search.found) return search.found;
  }
  return library(system, resource, printerId, deviceUri);
}

namespace {

std::atomic<std::int64_t> g_documentLimit{-1};

// What the reads of this client thread have taken of the request body it reads now.
struct BodyRead {
  http_t* http = nullptr;
  std::int64_t bytes = 0;
};
thread_local BodyRead t_body;

}  // namespace

namespace qel::app::printer {
void limitDocuments(std::int64_t bytes) { g_documentLimit = bytes; }
}  // namespace qel::app::printer

extern "C" ssize_t httpRead2(http_t* http, char* buffer, size_t length) {
  using Read = ssize_t (*)(http_t*, char*, size_t);
  static const Read library = next<Read>("httpRead2");
  if (!library) return -1;
  const ssize_t n = library(http, buffer, length);
  if (n <= 0) {
    t_body = {};
    return n == 0 && http && httpGetState(http) == HTTP_STATE_POST_RECV ? -1 : n;
  }
  if (t_body.http != http) t_body = {http, 0};
  t_body.bytes += n;
  const std::int64_t limit = g_documentLimit;
  if (limit >= 0 && t_body.bytes > limit) {
    t_body = {};
    return -1;
  }
  return n;
}

extern "C" void* _papplJobProcess(pappl_job_t* job) {
  using Process = void* (*)(pappl_job_t*);
  static const Process library = next<Process>("_papplJobProcess");
  // Never destroyed: the framework's job threads are detached and may outlive main().
  static std::mutex& m = *new std::mutex;
  static std::set<pappl_job_t*>& running = *new std::set<pappl_job_t*>;
  {
    std::lock_guard<std::mutex> l(m);
    if (!library || papplJobGetState(job) != IPP_JSTATE_PENDING || !running.insert(job).second) return nullptr;
  }
  void* result = library(job);
  std::lock_guard<std::mutex> l(m);
  running.erase(job);
  return result;
}
