#include "intake/dispose_translator.h"

#include "config/ini_config.h"
#include "plot/dispose_failure.h"
#include "plot/dispose_file.h"

namespace qel::intake {

namespace {

class Collector : public plot::DisposeOwner {
 public:
  explicit Collector(std::string folder) : folder_(std::move(folder)) {}
  void addOutputFileReport(const plot::OutputFileReport& r) override {
    outputs.push_back(!r.fileName.empty() && r.fileName[0] == '/' ? r.fileName : folder_ + "/" + r.fileName);
  }
  std::vector<std::string> outputs;

 private:
  std::string folder_;
};

FailureKind failureKindOf(plot::DisposeFailure f) {
  switch (f) {
    case plot::DisposeFailure::Unreadable: return FailureKind::Unreadable;
    case plot::DisposeFailure::EmptyFile: return FailureKind::EmptyFile;
    case plot::DisposeFailure::NotPlotFile: return FailureKind::NotPlotFile;
    case plot::DisposeFailure::NoPlotCommand: return FailureKind::NoPlotCommand;
    case plot::DisposeFailure::WiderThanPage: return FailureKind::WiderThanPage;
    case plot::DisposeFailure::TooManyPages: return FailureKind::TooManyPages;
    case plot::DisposeFailure::NoLabelFont: return FailureKind::NoLabelFont;
    case plot::DisposeFailure::PageNotWritten: return FailureKind::PageNotWritten;
    case plot::DisposeFailure::NoCutLine: return FailureKind::NoCutLine;
    case plot::DisposeFailure::DrawingLocked: return FailureKind::DrawingLocked;
    case plot::DisposeFailure::DrawingDamaged: return FailureKind::DrawingDamaged;
    case plot::DisposeFailure::Other: break;
  }
  return FailureKind::DisposeFailed;
}

}  // namespace

TranslateResult DisposeTranslator::translate(const std::string& homeDir, const std::string& source,
                                             const std::string& disposeDir, const std::string& stamp) {
  config::CIniConfig cfg(homeDir);
  Collector owner(disposeDir);
  plot::CDisposeFile file(&owner, source, disposeDir, stamp, cfg);
  TranslateResult r;
  r.ok = file.dispose();
  r.splitMode = file.options().cutFt;
  r.error = file.errorText();
  r.outputs = std::move(owner.outputs);
  if (!r.ok) r.failure = failureKindOf(plot::classifyDisposeFailure(r.error, source));
  for (const plot::ReadNotice& n : file.notices())
    if (n.kind == plot::ReadNotice::Kind::ScaleWithoutScalingPoints)
      r.notices.push_back({TranslateNotice::Kind::ScaleWithoutScalingPoints, n.widthMm, n.heightMm});
  return r;
}

}  // namespace qel::intake
