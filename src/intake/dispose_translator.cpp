#include "intake/dispose_translator.h"

#include "config/ini_config.h"
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
  for (const plot::ReadNotice& n : file.notices())
    if (n.kind == plot::ReadNotice::Kind::ScaleWithoutScalingPoints)
      r.notices.push_back({TranslateNotice::Kind::ScaleWithoutScalingPoints, n.widthMm, n.heightMm});
  return r;
}

}  // namespace qel::intake
