// CUPS clients address a queue of a print server as "/printers/NAME" ("lp -h HOST:PORT -d NAME",
// "cancel -h"), the printer framework only as "/ipp/print/NAME". The framework looks printers
// up by resource through its exported papplSystemFindPrinter; this definition in the program
// is found before the library's own, answers the CUPS form with the printer of that name and
// hands everything else to the library.
#include <dlfcn.h>

#include <cstring>
#include <string>

#include <pappl/pappl.h>

extern "C" pappl_printer_t* papplSystemFindPrinter(pappl_system_t* system, const char* resource, int printerId,
                                                   const char* deviceUri) {
  using Find = pappl_printer_t* (*)(pappl_system_t*, const char*, int, const char*);
  static const Find library = reinterpret_cast<Find>(::dlsym(RTLD_NEXT, "papplSystemFindPrinter"));
  if (!library) return nullptr;
  // The printers' names are plain (printerNameOf): their resource is "/ipp/print/" + name.
  std::string mapped;
  if (resource && std::strncmp(resource, "/printers/", 10) == 0 && resource[10]) {
    mapped = std::string("/ipp/print/") + (resource + 10);
    resource = mapped.c_str();
  }
  return library(system, resource, printerId, deviceUri);
}
