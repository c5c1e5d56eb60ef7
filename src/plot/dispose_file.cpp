// CDisposeFile: the owner-facing handle of a dispose run.
#include "plot/dispose_file.h"

#include "config/ini_config.h"
#include "plot/dispose_run.h"

namespace qel::plot {

CDisposeFile::CDisposeFile(DisposeOwner* owner, std::string inputPath, std::string outputFolder, std::string tag,
                           const config::CIniConfig& config)
    : CDisposeFile(owner, std::move(inputPath), std::move(outputFolder), std::move(tag), DisposeOptions::read(config)) {}

CDisposeFile::CDisposeFile(DisposeOwner* owner, std::string inputPath, std::string outputFolder, std::string tag,
                           DisposeOptions options)
    : run_(std::make_unique<DisposeRun>(owner, std::move(inputPath), std::move(outputFolder), std::move(tag),
                                        std::move(options))) {}

CDisposeFile::CDisposeFile(DisposeOwner* owner, std::unique_ptr<PlotSource> source, std::string inputPath,
                           std::string outputFolder, std::string tag, DisposeOptions options)
    : run_(std::make_unique<DisposeRun>(owner, std::move(inputPath), std::move(outputFolder), std::move(tag),
                                        std::move(options), std::move(source))) {}

CDisposeFile::~CDisposeFile() = default;

bool CDisposeFile::dispose() { return run_->dispose(); }
bool CDisposeFile::loadOnly() { return run_->loadOnly(); }
std::string CDisposeFile::outputName(int pageIndex) const { return run_->outputName(pageIndex); }
bool CDisposeFile::writeStrokesFrom(const std::string& path, size_t from, std::string* error) const {
  return run_->writeStrokesFrom(path, from, error);
}
const PlotModel& CDisposeFile::model() const { return run_->model(); }
const DisposeOptions& CDisposeFile::options() const { return run_->options(); }
const std::string& CDisposeFile::errorText() const { return run_->errorText(); }
int CDisposeFile::outputCount() const { return run_->outputCount(); }

}  // namespace qel::plot
