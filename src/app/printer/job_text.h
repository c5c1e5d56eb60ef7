#pragma once
// What a network job's sender and the web page are told about the job while the cutter's queue
// works on it: the job-state-message and job-state-reasons of each queue report.
#include <functional>
#include <string>
#include <vector>

#include <pappl/pappl.h>

#include "intake/queue_job.h"

namespace qel::app::printer {

// Looks up the text for an English format (the web page's language); the identity for IPP.
using Localize = std::function<const char*(const char* english)>;

// The job-state-message of a report ("Sending page 2 of 3 to the machine", "Sending failed:
// CRC mismatch"). `stopping`: the report came because the printer application stops.
std::string jobMessage(const intake::JobReport& report, bool stopping, const Localize& localize = {});

// The job-state-reasons that go with a report (beside what the framework keeps itself).
pappl_jreason_t jobReasons(const intake::JobReport& report);

// Every English text jobMessage can use, for the translation check.
const std::vector<const char*>& jobMessageTexts();

}  // namespace qel::app::printer
