// Print-and-cut sheet after sheet: the first sheet lies on the table, the coordinator feeds each
// further one, the camera finds its first
// mark where the last sheet's was (searching around it) and reads the job code printed beside
// it, and the job's own cut file is registered and cut. A sheet with neither mark nor code ends
// the run: the stack is done.
#include <cstdio>
#include <ctime>

#include "camera/job_code.h"
#include "camera/mark_search.h"
#include "ccd/ccd_workflow_impl.h"
#include "config/ini_config.h"
#include "platform/run_stamp.h"

namespace qel::ccd {

using namespace camera;
using namespace detail;

void CcdWorkflow::Impl::feedSheet() {
  writeVr(kVrFeed, 1.0);
  for (int waited = 0;; waited += kFeedPollMs) {
    double v = 1.0;
    if (services.command->getVr(kVrFeed, &v) && v == 0.0) return;
    if (waited >= settings.feedTimeoutMs) throw Failed{CcdMessage::FeedFailed, kFeedFailedText};
    waitMs(kFeedPollMs);
  }
}

std::optional<JobCode> CcdWorkflow::Impl::readCodeNear(const cv::Point2d& at) {
  auto look = [&]() -> std::optional<JobCode> {
    if (services.cameraGrabbing && !services.cameraGrabbing()) return std::nullopt;
    auto code = services.measurement->readCode();
    check();
    return code;
  };
  if (auto code = look()) return code;
  // One step beside the mark, round it: a code printed a little further off.
  double step = 0.0;
  try {
    step = searchStepMm(calibration);
  } catch (const CalibrationError& e) {
    throw Failed{CcdMessage::Procedure, e.what()};
  }
  for (const cv::Point2d o : {cv::Point2d(step, 0), cv::Point2d(0, step), cv::Point2d(-step, 0), cv::Point2d(0, -step)}) {
    moveTo(at + o);
    standing();
    waitMs(settings.waitTime4Capture);
    if (auto code = look()) return code;
  }
  return std::nullopt;
}

RunEnd CcdWorkflow::Impl::sheetRun(int sheets) {
  cut = 0;
  skipped = 0;
  if (stopFlag()) {
    setStopFlag(false);
    setState(CcdState::Ready);
    return RunEnd::Stopped;
  }
  const bool unattended = services.unattended;
  services.unattended = true;  // no operator stands by a stack of sheets
  auto end = [&](RunEnd e) {
    services.unattended = unattended;
    return e;
  };
  int sheet = 0;
  try {
    // The first sheet's mark is looked for where the last job's was, else where the head stands
    // (then nothing says where it should be).
    bool placeKnown = !operatorPlaced && settings.firstMark;
    cv::Point2d place = placeKnown ? *settings.firstMark : standing();
    for (sheet = 1; sheets <= 0 || sheet <= sheets; ++sheet) {
      services.op->sheetStarted(sheet);
      if (sheet > 1) feedSheet();  // the first sheet lies on the table
      moveTo(place);
      std::optional<MarkReport> m0 = findMark(place, false);
      const std::optional<JobCode> code = readCodeNear(m0 ? m0->machine : place);
      if (!m0 && !code) {
        log("sheet " + std::to_string(sheet) + ": no mark and no code: the stack is done");
        break;
      }
      auto skipOrStop = [&](CcdMessage m, const std::string& text, bool skip) {
        log("sheet " + std::to_string(sheet) + ": " + text);
        services.op->sheetEnded(sheet, skip ? SheetEnd::Skipped : SheetEnd::Failed, text);
        if (!skip) throw Failed{m, text};
        ++skipped;
        // A skipped sheet has its record in the history too.
        RunRecord record;
        record.startMs = clock.nowMs();
        record.sheet = sheet;
        record.code = code ? code->text : std::string();
        record.skipped = text;
        if (m0) record.marks.push_back(*m0);
        writeRecord(record, "sheet_" + platform::runStamp(platform::localTimeOf(std::time(nullptr))) + "_" +
                                std::to_string(sheet) + "_skipped");
      };
      if (!code) {
        skipOrStop(CcdMessage::NoCode, kNoCodeText, settings.skipMissingCode);
        continue;
      }
      const auto name = jobNameFromCode(code->text);
      const auto file = name ? jobFileFor(settings.jobDir, *name) : std::nullopt;
      if (!file) {
        char text[400];
        std::snprintf(text, sizeof text, kUnknownJobFormat, code->text.c_str(), settings.jobDir.c_str());
        skipOrStop(CcdMessage::UnknownJob, text, settings.skipUnknownJob);
        continue;
      }
      if (!m0) throw Failed{CcdMessage::CantCaptureMark, kNoMarkText};
      if (placeKnown) checkFirstMark(m0->machine, place);
      PatternModel job;
      if (job.load(*file, config::CIniConfig(services.home)) != PatternLoad::Loaded)
        throw Failed{CcdMessage::Procedure, *file + ": " + kFileFormatErrorText};
      job.toggleSelectAll();
      services.op->jobRecognised(sheet, *name, *file);
      log("sheet " + std::to_string(sheet) + ": job " + *name + " (" + *file + ")");
      RunRecord record;
      record.startMs = clock.nowMs();
      record.sheet = sheet;
      record.code = code->text;
      cv::Point2d reference(0, 0);
      registerAndCut(job, 1, 0, reference, m0, record);
      ++cut;
      services.op->sheetEnded(sheet, SheetEnd::Cut, *name);
      place = m0->machine;  // the next sheet lies as this one did
      placeKnown = true;
    }
  } catch (const Stopped&) {
    setStopFlag(false);
    setState(CcdState::Ready);
    return end(RunEnd::Stopped);
  } catch (const Failed& f) {
    if (f.message != CcdMessage::Procedure || !f.detail.empty()) services.op->tell(f.message, f.detail);
    setStopFlag(false);
    setState(CcdState::Ready);
    return end(RunEnd::Failed);
  }
  setState(CcdState::MarkFinished);
  return end(RunEnd::Completed);
}

}  // namespace qel::ccd
