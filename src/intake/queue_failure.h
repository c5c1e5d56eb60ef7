#pragma once
// Why a file failed or why the queue paused, as data: a kind that every front end words in its
// own way (the window in the interface language, `qelcut watch` in its log, the printer
// application in its job states) and the detail text of the pipeline or the link (English).
#include <QMetaType>
#include <QString>

namespace qel::intake {

enum class FailureKind {
  None,
  // The translate step (the source file).
  SourceVanished,     // gone before it was read
  ConversionFailed,   // the character conversion failed; it stays and is tried again
  ChangedWhileRead,   // written to while it was read; read again once it has settled
  Unreadable,         // cannot be opened or read
  EmptyFile,          // no byte at all
  NotPlotFile,        // binary data, no plot command
  NoPlotCommand,      // text without a plot command
  WiderThanPage,      // the rolling split: a stroke wider than the page
  TooManyPages,       // more pages than Max_Page_Count
  NoLabelFont,        // labels and no font
  PageNotWritten,     // a page file could not be written
  NoCutLine,          // a drawing (PDF, SVG) without a path in a cut colour
  DrawingLocked,      // a PDF that needs a password
  DrawingDamaged,     // a damaged or empty PDF, an SVG that is no drawing
  DisposeFailed,      // any other reason of the pipeline
  // The transfer step (a page file).
  MachineUnreachable, // the port or connection could not be opened: the queue pauses
  ConnectionLost,     // the connection broke
  SendStopped,        // the pause (or shut-down) stopped it part-way: sent again from its start
  MachineAborted,     // the coordinator answered ABORT
  NoCrcReply,         // no CRC answer in time
  WrongCrc,           // the CRC differs
  TransferBroken,     // the transfer broke off
  PageVanished,       // the page file is gone
  PageUnreadable,     // the page file cannot be opened
  NoLink,             // Xitong_TT names no link of this build: the queue pauses
  SendFailed,         // any other failure of the link
};

// The queue's send failures that count as the machine being out of reach: the queue pauses on
// them, and `qelcut watch` resumes by itself after a while.
bool isConnectionKind(FailureKind kind);
bool isTranslateKind(FailureKind kind);

struct QueueFailure {
  FailureKind kind = FailureKind::None;
  QString file;     // the source (translate step) or the page file (transfer step), full path
  QString source;   // the plot file a page was made from, when the queue knows it
  QString detail;   // the pipeline's or the link's own text
  QString movedTo;  // where a rejected source went (the undisposed folder)
  int inARow = 1;   // how often the file has now failed this way in a row
};

// Why the queue paused.
enum class PauseCause {
  Operator,          // the big button
  Failure,           // a failure that no retry mends (machine out of reach, no link)
  RepeatedFailure,   // the same file failed the same way kRepeatsBeforePause times in a row
};

// A file that fails the same way this often in a row pauses the queue.
inline constexpr int kRepeatsBeforePause = 5;

// What is happening to a row of the send queue or the history.
enum class RowState { None, Waiting, Sending, Sent, Failed, Stopped };
struct RowNote {
  RowState state = RowState::None;
  FailureKind failure = FailureKind::None;  // Failed
  int inARow = 0;                           // Failed: the count so far
  bool paused = false;                      // Failed: the queue paused on it
};

// English texts, for logs and `qelcut watch`.
QString englishText(FailureKind kind);
QString englishText(const RowNote& note);

}  // namespace qel::intake

Q_DECLARE_METATYPE(qel::intake::QueueFailure)
Q_DECLARE_METATYPE(qel::intake::RowNote)
