#pragma once
// The web pages of the printer application, in the framework's web interface: every cutter with
// its state and why, its queued jobs and its history with each job's outcome, and for an
// administrator pause, continue and cancel. English, and Chinese for browsers that ask for it.
#include <memory>
#include <vector>

#include <pappl/pappl.h>

namespace qel::app::printer {

class Cutter;

// Puts the home page and each cutter's page in place of the framework's (before the system
// runs, after the printers exist) and adds the pages' Chinese texts.
void registerWebPages(pappl_system_t* system, const std::vector<std::unique_ptr<Cutter>>& cutters);

// The Chinese texts of the pages, in the framework's strings format.
extern const char* const kWebStringsZh;

}  // namespace qel::app::printer
