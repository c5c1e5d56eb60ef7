#pragma once
// A whole print-and-cut bench in one process: the simulated coordinator on a loopback address
// (file download on 3241, its command line on a free port), a printed sheet on the simulated
// table whose camera renders the frame at the coordinator's head position, the camera feeding
// the mark measurement, a home folder set up for the default link, and the CCD workflow with
// an operator that answers as a test tells it.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "camera/calibration.h"
#include "ccd/ccd_workflow.h"
#include "camera/frame_handler.h"
#include "camera/frame_service.h"
#include "camera/measurement.h"
#include "ccd/pattern_model.h"
#include "camera/sim_table.h"
#include "config/ini_config.h"
#include "coordinator_services.h"
#include "links/fake_owner.h"
#include "links/mc_command.h"
#include "support/skip_clock.h"
#include "support/temp_home.h"

namespace qel::test {

// Records what the workflow tells its operator; unanswered questions are declined, so that a
// run never waits for an operator who is not there.
struct RecordingOperator : ccd::CcdOperator {
  template <class T, class V>
  void add(std::vector<T>& to, V&& v) {
    std::lock_guard l(m);
    to.push_back(std::forward<V>(v));
  }
  void markMeasured(const ccd::MarkReport& r) override { add(marks, r), lastMark = std::chrono::steady_clock::now(); }
  void jobRecognised(int, const std::string& job, const std::string&) override { add(jobs, job); }
  void recordWritten(const std::string& path) override { add(records, path); }
  bool ask(ccd::CcdQuestion q) override { return add(questions, q), answer(q); }
  void tell(ccd::CcdMessage msg, const std::string& detail) override { add(told, std::pair{msg, detail}); }
  void stateChanged(ccd::CcdState s) override { add(states, s); }
  void fileStatus(ccd::CcdFileStatus f, const std::string&) override { add(files, f); }
  void betweenPieces(int n) override {
    if (onBetweenPieces) onBetweenPieces(n);
    ++waits;
  }
  void residuals(const std::vector<double>& mm) override { add(residualRuns, mm); }
  void sent(const std::string&, const std::string&) override { lastSent = std::chrono::steady_clock::now(); }
  template <class T>
  std::vector<T> copy(const std::vector<T>& v) {
    std::lock_guard l(m);
    return v;
  }
  std::function<bool(ccd::CcdQuestion)> answer = [](ccd::CcdQuestion) { return false; };
  std::function<void(int)> onBetweenPieces;
  std::mutex m;
  std::vector<ccd::MarkReport> marks;
  std::vector<std::string> jobs, records;
  std::vector<ccd::CcdQuestion> questions;
  std::vector<std::pair<ccd::CcdMessage, std::string>> told;
  std::vector<ccd::CcdState> states;
  std::vector<ccd::CcdFileStatus> files;
  std::vector<std::vector<double>> residualRuns;  // the residuals of each piece, in mark order
  std::atomic<int> waits{0};
  std::chrono::steady_clock::time_point lastMark, lastSent;  // for the benchmark's timings
};

// The first message the operator was told, for a failure's explanation.
inline std::string firstTold(RecordingOperator& op) {
  const auto told = op.copy(op.told);
  return told.empty() ? std::string() : told[0].second;
}

// A plot file: circle marks ("SP8;PU x,y;CI r;") or crosses (a three-point stroke across, then
// one from the centre along), and pen 1 shapes. Each stroke ends with "PU;", since a stroke
// takes the pen that is current when it ends. mm coordinates.
std::string printAndCutPlot(const std::vector<cv::Point2d>& marksMm, bool crosses,
                            const std::vector<std::vector<cv::Point2d>>& shapesMm);

// The marks and every point of the shapes: where the cut must land.
inline std::vector<cv::Point2d> designOf(std::vector<cv::Point2d> marks, const std::vector<std::vector<cv::Point2d>>& shapes) {
  for (const auto& s : shapes) marks.insert(marks.end(), s.begin(), s.end());
  return marks;
}

struct CcdBench {
  // When the coordinator cannot start, ready() is false and `error` says why; nothing else of
  // the bench is set up, so a test checks ready() before anything else.
  // mpeOnStandardPort false leaves the standard file port to another simulated machine on the
  // same address (the network link's controller).
  CcdBench(const std::string& address, sim::SheetSpec sheet, sim::CameraSpec cam, bool mpeOnStandardPort = true);
  ~CcdBench();
  bool ready() const { return coordinator && table && cameraFeed; }
  std::string error;

  // Writes the plot, loads it into the pattern and selects it.
  void loadPattern(const std::string& plot, const std::string& name = "job.plt");
  // The usual start of a run: a failure when the bench is not ready, else the plot loaded and the
  // head over table point `head` (by default the sheet's first mark); false after a fatal failure.
  bool start(const std::string& plot, std::optional<cv::Point2d> head = std::nullopt);
  // A stack of sheets for runs by job code: the first lies on the table, each feed of the
  // coordinator brings the next; after the last the table is bare.
  void stackSheets(std::vector<sim::SheetSpec> sheets);
  // Runs sheet after sheet by job code and waits for the end (real time, bounded).
  ccd::RunEnd runSheets(int sheets, int timeoutMs = 120000);
  // Puts the head where the camera sees table point `table` (the operator jogging there).
  void headOver(const cv::Point2d& table);
  void makeWorkflow();
  // Runs the marking run and waits for its end (real time, bounded).
  ccd::RunEnd run(int timeoutMs = 60000);
  ccd::RunEnd waitForEnd(int timeoutMs);
  // The frame the table's camera sees where the coordinator's head stands (the sheet on the
  // table, of the stack when there is one, moved by the plates fed).
  cv::Mat renderHere();
  // Points of every stroke the coordinator received in download `i`, in machine mm.
  std::vector<std::vector<cv::Point2d>> received(std::size_t i);
  // Largest distance from a received point to where the print put the nearest design point, on
  // a sheet fed by feedMm since it was printed (`sheet`: one of the stack instead of the table's).
  double worstLanding(std::size_t download, const std::vector<cv::Point2d>& designMm, double feedMm = 0.0,
                      const sim::SimTable* sheet = nullptr);

  TempHome home;
  std::unique_ptr<sim::CoordinatorServices> coordinator;
  // The workflow's waits: each sleep takes at most 30 ms of real time (so that frames rendered
  // after a wait really come after it) while the clock moves on by the whole wait.
  SkipClock fakeClock{30};
  bool realTime = false;  // the workflow waits on the system clock instead (benchmarks)
  std::unique_ptr<platform::FakeClock> renderClock;  // the table's own (unused) motion model
  std::unique_ptr<sim::SimTable> table;
  std::atomic<int> sheetShift{0};  // plates fed so far (x shift of the sheet by one page each)
  std::vector<std::unique_ptr<sim::SimTable>> stack;  // sheets fed by code, when set
  std::atomic<int> stackIndex{0};
  std::unique_ptr<sim::SimTable> bare;
  double pageWidthMm = 400.0;
  FakeTransferOwner owner;
  links::CMC_Command command;
  camera::MarkMeasurement measurement;
  camera::FrameHandler handler;
  std::unique_ptr<sim::SimFrameSource> source;
  std::unique_ptr<camera::HeadlessCamera> cameraFeed;
  ccd::PatternModel pattern;
  RecordingOperator op;
  std::unique_ptr<ccd::CcdWorkflow> workflow;
  std::string plotPath;
};

}  // namespace qel::test
