#pragma once
// CDisposeFile: disposes of one plot file. It reads the file into the plot model, runs the
// stages the page mode asks for, writes one HPGL file per page into the output folder and
// reports each written file to its owner, which then sends them in that order.
#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "plot/dispose_options.h"
#include "plot/model.h"
#include "plot/plot_model.h"

namespace qel::config {
class CIniConfig;
}

namespace qel::plot {

class DisposeRun;
class PlotSource;

class CDisposeFile {
 public:
  // Reads the option snapshot from the store of the given home folder.
  CDisposeFile(DisposeOwner* owner, std::string inputPath, std::string outputFolder, std::string tag,
               const config::CIniConfig& config);
  // Uses the given snapshot (tests, and callers that already hold one).
  CDisposeFile(DisposeOwner* owner, std::string inputPath, std::string outputFolder, std::string tag,
               DisposeOptions options);
  // Reads the model from `source` instead of the HPGL file at inputPath, which still names the
  // page files.
  CDisposeFile(DisposeOwner* owner, std::unique_ptr<PlotSource> source, std::string inputPath,
               std::string outputFolder, std::string tag, DisposeOptions options);
  ~CDisposeFile();
  CDisposeFile(const CDisposeFile&) = delete;
  CDisposeFile& operator=(const CDisposeFile&) = delete;

  // Disposes of the file: true on success (reports went to the owner). On failure,
  // errorText() says why; page files already written stay on disk.
  bool dispose();

  // Reads the file into the model without writing or reporting anything (the pattern view).
  bool loadOnly();

  // output-name(page): <folder>/<input base name>_<tag>_<page + 1, 3 digits>.PLT
  std::string outputName(int pageIndex) const;

  // Writes strokes [from, end) of the model into one file (the print preview's send from a
  // line): "IN;", the file's "WD" when it had one, then each stroke with its pen selected by
  // "SP" and its line type when it changes, written as the page writer writes strokes.
  bool writeStrokesFrom(const std::string& path, size_t from, std::string* error = nullptr) const;

  // The model after a run. A dispose() that wrote a large file page by page while reading it
  // (see DisposeOptions::spoolFromBytes) leaves no strokes in it; loadOnly() always does.
  const PlotModel& model() const;
  const std::vector<CStroke>& strokes() const { return model().strokes; }
  const std::vector<int>& strokePages() const { return model().strokePages; }
  const std::vector<LabelRecord>& labels() const { return model().labels; }
  const std::vector<int>& pensUsed() const { return model().pensUsed; }
  const DisposeOptions& options() const;
  const std::string& errorText() const;
  // What reading noticed about the file, to be said to the operator once (the run succeeded).
  const std::vector<ReadNotice>& notices() const { return model().notices; }
  int outputCount() const;

 private:
  std::unique_ptr<DisposeRun> run_;
};

}  // namespace qel::plot
