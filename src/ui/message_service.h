#pragma once
// Message boxes of the windows go through one replaceable service, so that tests (and the
// process tests of the desktop program) never wait on a modal box: a test installs a recorder
// that answers at once; QELCUT_MESSAGES=stdout makes the program print each box and answer it
// with its default button.
#include <QString>
#include <QStringList>

class QWidget;

namespace qel::ui {

class MessageService {
 public:
  enum class Kind { Information, Warning, Critical, Question };
  virtual ~MessageService() = default;
  // Shows a box; for a question, true means Yes / OK.
  virtual bool show(QWidget* parent, Kind kind, const QString& title, const QString& text, bool defaultYes) = 0;

  // The service in force (a modal QMessageBox unless replaced).
  static MessageService& instance();
  // Replaces the service; nullptr restores the default. Not owned.
  static void install(MessageService* service);
};

// Shorthands that go through the service.
void information(QWidget* parent, const QString& title, const QString& text);
void warning(QWidget* parent, const QString& title, const QString& text);
bool question(QWidget* parent, const QString& title, const QString& text, bool defaultYes = false);

// A service for tests: records every box and answers questions with `answer`.
class RecordingMessages final : public MessageService {
 public:
  RecordingMessages() { install(this); }
  ~RecordingMessages() override { install(nullptr); }
  bool show(QWidget*, Kind kind, const QString& title, const QString& text, bool) override {
    kinds.push_back(kind);
    titles << title;
    texts << text;
    return answer;
  }
  bool answer = true;
  std::vector<Kind> kinds;
  QStringList titles;
  QStringList texts;
};

}  // namespace qel::ui
