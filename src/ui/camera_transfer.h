#pragma once
// cameraTransfer: the CCD cut window. It shows the plot file of the current plate in the pattern
// view and the live camera picture, jogs the head, and runs the jobs of the CCD workflow (marking
// run, centring, camera adjust, ratio correction). The window only binds: the states, the run's
// steps and the design marks live in ccd::CcdWorkflow and ccd::PatternModel; the workflow
// reports through an operator that posts to this window.
#include <QDialog>
#include <QStringList>

#include <functional>
#include <map>
#include <memory>
#include <vector>

#include "ccd/ccd_state.h"
#include "ccd/ccd_texts.h"
#include "ccd/ccd_workflow.h"
#include "camera/frame_handler.h"
#include "camera/measurement.h"
#include "ccd/pattern_model.h"
#include "links/mc_command.h"
#include "ui/post_channel.h"

class QComboBox;
class QGroupBox;
class QLabel;
class QPushButton;
class QThreadPool;

namespace qel::links {
class LinkFactory;
class TransferOwner;
}  // namespace qel::links

namespace qel::ui {

class CMyView;
class Prompter;
class captureVideo;
class DisplayCopy;

class cameraTransfer : public QDialog {
  Q_OBJECT
 public:
  struct Services {
    links::TransferOwner* linkOwner = nullptr;   // required, not owned: the send queue
    const links::LinkFactory* links = nullptr;   // not owned; null takes the standard links
    // The camera; null takes the home's configured frame source.
    std::function<std::unique_ptr<camera::FrameSource>()> frameSource;
    platform::Clock* clock = nullptr;  // not owned; null is the system clock
    int commandPort = 0;               // the controller's command line; 0 is its standard port
    // The main window's file list for the plate buttons and the index of the file shown.
    QStringList files;
    int current = 0;
    bool openCamera = true;  // open the camera when the window opens
  };

  cameraTransfer(QString home, QString plotPath, Services services, QWidget* parent = nullptr);
  ~cameraTransfer() override;

  ccd::CcdWorkflow& workflow() { return *workflow_; }
  ccd::PatternModel& pattern() { return pattern_; }
  CMyView* view() const { return view_; }
  captureVideo* video() const { return video_; }
  ccd::CcdState state() const { return state_; }
  bool loading() const { return loading_; }
  // The button of a control (the first one for the jog group).
  QPushButton* button(ccd::CcdControl c) const;
  QPushButton* jogButton(int output) const;
  QPushButton* wheelZoomButton() const { return zoomBtn_; }
  QComboBox* cutTypeBox() const { return cutType_; }
  QComboBox* calibrationSetBox() const { return setBox_; }
  // The three status panes: 0 operation, 1 file, 2 camera.
  QString paneText(int pane) const;

  // Loads a plot file into the pattern view on a worker.
  void loadFile(const QString& path);
  // "Exit": asks, then closes; false when the operator declined.
  bool requestExit();

 signals:
  void patternLoaded(bool ok);
  void stateEntered(int state);

 protected:
  void closeEvent(QCloseEvent* e) override;
  void reject() override;

 private:
  class Operator;
  void buildWindow();
  void retranslate();
  void onState(ccd::CcdState s);
  void applyControls();
  void onLoaded(std::shared_ptr<ccd::PatternModel> model, ccd::PatternLoad result);
  void refreshView();
  void onViewSelection(bool selected, QPointF at);
  void setFile(const QString& text);
  void setOutputAsync(int output, int value);
  void onFastSlow();
  void onManualAuto();
  void onMarkConfirm();
  void onPlate(bool next);
  void onSettings();
  void onCalibrationCorrection();
  void onCalibrationSet(int index);
  void onCameraState(bool grabbing, bool failed);
  void tellOnWindow(ccd::CcdMessage m, const QString& detail);
  // The residual of each mark after the fitted correction (registration report).
  void onResiduals(const std::vector<double>& mm);
  void onMarkReport(const ccd::MarkReport& r);
  void onJob(int sheet, const QString& job, const QString& path);
  void onSheetEnded(int sheet, ccd::SheetEnd end);
  void startRun();
  QString operationWords(ccd::CcdState s) const;
  QString fileWords(ccd::CcdFileStatus f) const;
  void shutDown();

  QString home_;
  Services services_;
  std::shared_ptr<PostChannel> channel_;
  std::shared_ptr<Prompter> prompter_;
  ccd::PatternModel pattern_;
  std::shared_ptr<const DisplayCopy> copy_;
  camera::MarkMeasurement measurement_;
  std::unique_ptr<camera::FrameHandler> handler_;
  std::unique_ptr<links::CMC_Command> command_;
  std::unique_ptr<Operator> op_;
  std::unique_ptr<ccd::CcdWorkflow> workflow_;
  std::unique_ptr<QThreadPool> io_;  // the jog and I/O commands, one at a time in order
  std::shared_ptr<std::atomic<bool>> closing_;
  ccd::CcdState state_ = ccd::CcdState::Ready;
  ccd::CcdControls controls_;
  ccd::PlateFiles plates_;
  bool loading_ = false;
  bool fast_ = false;
  bool manualShown_ = true;   // the Manual/Auto button shows "Manual"
  bool closed_ = false;
  // Pane texts kept as what they say, so a language change words them anew.
  const char* operationKey_ = ccd::kOperateReadyText;
  QString fileText_;
  bool cameraGrabbing_ = false;

  CMyView* view_ = nullptr;
  captureVideo* video_ = nullptr;
  std::map<ccd::CcdControl, std::vector<QPushButton*>> buttons_;
  std::map<int, QPushButton*> jog_;
  QPushButton *fastBtn_, *manualBtn_, *startBtn_, *stopBtn_, *autoAdjBtn_, *manualAdjBtn_, *centerBtn_;
  QPushButton *markOkBtn_, *adjustOkBtn_, *selAllBtn_, *reverseBtn_, *prevBtn_, *nextBtn_, *settingsBtn_;
  QPushButton *saveImageBtn_, *loadParaBtn_, *correctBtn_, *exitBtn_;
  QPushButton* zoomBtn_ = nullptr;
  QComboBox* cutType_;
  QComboBox* setBox_;
  QLabel *cutTypeLabel_, *setLabel_;
  QGroupBox *moveBox_, *markBox_, *adjustBox_, *runBox_, *patternBox_, *cameraBox_;
  QLabel* panes_[3];
  QLabel* residualLabel_ = nullptr;
  QLabel* markQualityLabel_ = nullptr;  // the confidence of the last mark measured
  bool sheetRun_ = false;                // a run by job code: the view shows each sheet's job
  std::vector<double> residuals_;
};

}  // namespace qel::ui
