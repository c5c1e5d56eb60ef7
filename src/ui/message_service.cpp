#include "ui/message_service.h"

#include <QMessageBox>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace qel::ui {
namespace {

class BoxMessages final : public MessageService {
 public:
  bool show(QWidget* parent, Kind kind, const QString& title, const QString& text, bool defaultYes) override {
    switch (kind) {
      case Kind::Question:
        return QMessageBox::question(parent, title, text, QMessageBox::Yes | QMessageBox::No,
                                     defaultYes ? QMessageBox::Yes : QMessageBox::No) == QMessageBox::Yes;
      case Kind::Warning: QMessageBox::warning(parent, title, text); return true;
      case Kind::Critical: QMessageBox::critical(parent, title, text); return true;
      case Kind::Information: QMessageBox::information(parent, title, text); return true;
    }
    return true;
  }
};

// QELCUT_MESSAGES=stdout: each box becomes a line on standard output, answered by its default.
class PrintedMessages final : public MessageService {
 public:
  bool show(QWidget*, Kind, const QString& title, const QString& text, bool defaultYes) override {
    std::printf("message: %s%s%s\n", title.toUtf8().constData(), title.isEmpty() ? "" : ": ",
                QString(text).replace(QLatin1Char('\n'), QLatin1Char(' ')).toUtf8().constData());
    std::fflush(stdout);
    return defaultYes;
  }
};

MessageService* g_installed = nullptr;

MessageService& defaultService() {
  static BoxMessages boxes;
  static PrintedMessages printed;
  const char* mode = std::getenv("QELCUT_MESSAGES");
  if (mode && std::strcmp(mode, "stdout") == 0) return printed;
  return boxes;
}

}  // namespace

MessageService& MessageService::instance() { return g_installed ? *g_installed : defaultService(); }
void MessageService::install(MessageService* service) { g_installed = service; }

void information(QWidget* parent, const QString& title, const QString& text) {
  MessageService::instance().show(parent, MessageService::Kind::Information, title, text, true);
}
void warning(QWidget* parent, const QString& title, const QString& text) {
  MessageService::instance().show(parent, MessageService::Kind::Warning, title, text, true);
}
bool question(QWidget* parent, const QString& title, const QString& text, bool defaultYes) {
  return MessageService::instance().show(parent, MessageService::Kind::Question, title, text, defaultYes);
}

}  // namespace qel::ui
