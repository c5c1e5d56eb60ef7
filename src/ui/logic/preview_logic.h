#pragma once
// The rules of the interactive print preview, without widgets: the four control states, the
// start line ("Start:" is 1-based, the start index 0-based), the range check, the contour page
// mode's correction to the start of a contour group, and the send from the start line.
#include <QString>

#include <string>
#include <vector>

#include "links/transfer_link.h"
#include "links/transfer_owner.h"

namespace qel::plot {
class CDisposeFile;
}

namespace qel::ui {

enum class PreviewState { StartSet = 0, Editing = 1, Sending = 2, AfterSend = 3 };

struct PreviewControls {
  bool print, cancel, exit, set, mod, startField, marking;
};

class PreviewLogic {
 public:
  // lineCount: selectable lines (strokes) of the file; groupMarks: per line, whether it carries
  // the group mark (an outer contour); contourMode: the file was split by contours, so a start
  // on a marked line moves back to the start of its group.
  PreviewLogic(int lineCount, std::vector<bool> groupMarks, bool contourMode);

  static PreviewControls controlsFor(PreviewState s);
  PreviewState state() const { return state_; }
  PreviewControls controls() const { return controlsFor(state_); }
  // The preview-transfer flag of the queue is set in the sending state only.
  bool previewTransfer() const { return state_ == PreviewState::Sending; }

  int lineCount() const { return lines_; }
  int startIndex() const { return start_; }
  // The text "Start:" shows.
  QString startText() const { return QString::number(start_ + 1); }

  // "Set": false (nothing changed, "illegal number!") for a text that is no whole number or
  // lies outside 1 .. lineCount + 1; otherwise the start (corrected in the contour mode) and
  // the state "start set".
  bool set(const QString& text);
  // "Mod": editing the start.
  void mod();
  // A click on a line: fills the field (returned) and, unless editing, sets the start.
  QString pick(int index);
  void sendStarted() { state_ = PreviewState::Sending; }
  void sendFinished() { state_ = PreviewState::AfterSend; }

 private:
  int lines_;
  std::vector<bool> marks_;
  bool contourMode_;
  int start_ = 0;
  PreviewState state_ = PreviewState::StartSet;
};

// The send of a preview: the lines from `start` to the end written into the temporary folder
// under the source's name, sent over the link of `linkType`, the temporary file deleted.
struct PreviewSendResult {
  bool written = false;  // the temporary file existed ("The file isn't Exist!" otherwise)
  links::SendResult send;
  bool stopped = false;  // Cancel was in force when the send ended
};
PreviewSendResult runPreviewSend(const plot::CDisposeFile& document, int start, const std::string& tempFolder,
                                 const std::string& sourcePath, const links::LinkFactory& links, int linkType,
                                 links::TransferOwner& owner);

}  // namespace qel::ui
