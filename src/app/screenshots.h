#pragma once
// The window pictures of `qelcut screenshots`: each window registers a function that opens the
// window in its main states and saves one picture per state through the context. A file
// cmd_ui_shots_<window>.cpp holds one window's registration.
#include <QString>
#include <QStringList>

#include <functional>

class QWidget;

namespace qel::app {

class ShotContext {
 public:
  ShotContext(QString outDir, QString lang, QString home) : outDir_(std::move(outDir)), lang_(std::move(lang)), home_(std::move(home)) {}
  // The home folder the windows run over (a scratch copy unless --home was given).
  const QString& home() const { return home_; }
  // "en" or "zh".
  const QString& lang() const { return lang_; }
  // Lets pending events and paints run, then saves WINDOW-STATE-LANG.png; false on failure.
  bool save(QWidget* window, const QString& windowName, const QString& state);
  // The pretend screen with every shown window where it stands (a thin line for each frame):
  // SCREEN-LANG.png.
  bool saveScreen(const QString& name);
  // A real plot file for the windows that show one (copied into the home folder).
  QString samplePlot() const;
  const QStringList& written() const { return written_; }
  int failures() const { return failures_; }

 private:
  QString outDir_, lang_, home_;
  QStringList written_;
  int failures_ = 0;
};

using ShotFunction = std::function<void(ShotContext&)>;

struct ShotRegistration {
  ShotRegistration(const char* window, ShotFunction fn);
};

struct RegisteredShot {
  QString window;
  ShotFunction fn;
};
const std::vector<RegisteredShot>& registeredShots();

}  // namespace qel::app
