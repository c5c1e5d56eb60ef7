#pragma once
// DisposeRun: the working state behind a CDisposeFile. It orders one run: the source fills the
// plot model (through the builder), the stages the page mode asks for rearrange it, and the
// page writer makes the page files and reports them. Only the plot library includes this
// header.
#include <memory>
#include <optional>
#include <string>

#include "plot/dispose_options.h"
#include "plot/model.h"
#include "plot/page_writer.h"
#include "plot/plot_builder.h"
#include "plot/plot_model.h"
#include "plot/plot_source.h"

namespace qel::plot {

class DisposeRun : private ReadListener {
 public:
  // Without a source the input is read by what it holds: a PDF or SVG drawing, else HPGL.
  DisposeRun(DisposeOwner* owner, std::string inputPath, std::string outputFolder, std::string tag,
             DisposeOptions options, std::unique_ptr<PlotSource> source = nullptr);
  ~DisposeRun() override;
  DisposeRun(const DisposeRun&) = delete;
  DisposeRun& operator=(const DisposeRun&) = delete;

  bool dispose();
  bool loadOnly();
  std::string outputName(int pageIndex) const { return writer_.outputName(pageIndex); }
  bool writeStrokesFrom(const std::string& path, size_t from, std::string* error) const {
    return plot::writeStrokesFrom(model_, opt_, path, from, error);
  }
  const PlotModel& model() const { return model_; }
  const DisposeOptions& options() const { return opt_; }
  const std::string& errorText() const { return error_; }
  int outputCount() const { return writer_.pageCount(); }

 private:
  int run(bool loadOnlyRun);
  // The stages of the page mode; false when the run must stop (the reason is set).
  bool runStages();
  int writePages();
  void cutQualityOfPages(std::optional<int> page);
  void flushPage(int page);
  int maxPages() const { return opt_.maxPageCount > 0 ? opt_.maxPageCount : 1; }
  bool fail(std::string message);
  int failRun();

  // While the source reads.
  void passStarted() override;
  void pageNoted(int page) override;
  void headerText(std::string_view text) override;
  void stepDone(int currentPage) override;
  bool writesWhileReading() const override { return pageOrder_; }

  DisposeOwner* owner_;
  std::string inputPath_;
  std::string outputFolder_;
  std::string tag_;
  DisposeOptions opt_;
  std::string error_;
  PlotModel model_;
  std::unique_ptr<PlotSource> source_;
  PageSpool spool_;
  PageWriter writer_;
  LineType lineType_;  // the current line type carries over from run to run
  int lastReadPage_ = 0;
  int pagesFlushed_ = 0;
  bool pageOrder_ = false;
  bool loadOnlyRun_ = false;
  bool copyAllowed_ = true;  // the input may be copied through unread (not a drawing)
};

}  // namespace qel::plot
