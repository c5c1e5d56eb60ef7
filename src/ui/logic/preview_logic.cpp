#include "ui/logic/preview_logic.h"

#include <QRegularExpression>

#include <filesystem>

#include "platform/files.h"
#include "plot/dispose_file.h"

namespace qel::ui {

PreviewLogic::PreviewLogic(int lineCount, std::vector<bool> groupMarks, bool contourMode)
    : lines_(lineCount), marks_(std::move(groupMarks)), contourMode_(contourMode) {
  marks_.resize(std::size_t(std::max(0, lineCount)), false);
}

PreviewControls PreviewLogic::controlsFor(PreviewState s) {
  switch (s) {
    case PreviewState::StartSet: return {true, false, true, false, true, false, true};
    case PreviewState::Editing: return {false, false, true, true, false, true, false};
    case PreviewState::Sending: return {false, true, false, false, false, false, true};
    case PreviewState::AfterSend: return {true, false, true, false, true, false, true};
  }
  return {};
}

bool PreviewLogic::set(const QString& text) {
  static const QRegularExpression whole(QStringLiteral("^\\s*[+-]?\\d{1,9}\\s*$"));
  if (!whole.match(text).hasMatch()) return false;
  const int index = text.trimmed().toInt() - 1;
  if (index < 0 || index > lines_) return false;
  int start = index;
  if (contourMode_ && start < lines_ && marks_[std::size_t(start)]) {
    // A contour is cut after everything inside it: start with the first line of its group,
    // the line after the previous contour.
    int previous = start - 1;
    while (previous >= 0 && !marks_[std::size_t(previous)]) --previous;
    start = previous + 1;
  }
  start_ = start;
  state_ = PreviewState::StartSet;
  return true;
}

void PreviewLogic::mod() { state_ = PreviewState::Editing; }

QString PreviewLogic::pick(int index) {
  const QString text = QString::number(index + 1);
  if (state_ != PreviewState::Editing) set(text);
  return state_ == PreviewState::Editing ? text : startText();
}

PreviewSendResult runPreviewSend(const plot::CDisposeFile& document, int start, const std::string& tempFolder,
                                 const std::string& sourcePath, const links::LinkFactory& links, int linkType,
                                 links::TransferOwner& owner) {
  PreviewSendResult r;
  platform::makeDirectories(tempFolder);
  const std::string temp = (std::filesystem::path(tempFolder) / std::filesystem::path(sourcePath).filename()).string();
  std::string error;
  document.writeStrokesFrom(temp, std::size_t(std::max(0, start)), &error);
  std::error_code ec;
  if (!std::filesystem::is_regular_file(temp, ec)) return r;
  r.written = true;
  const auto size = std::filesystem::file_size(temp, ec);
  r.send = links::sendWithLink(links, linkType, owner, temp, static_cast<std::int32_t>(ec ? 0 : size));
  r.stopped = owner.stopInForce();
  std::filesystem::remove(temp, ec);
  return r;
}

}  // namespace qel::ui
