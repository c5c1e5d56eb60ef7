#pragma once
// CMyView: the drawing of a plot file. It paints a display copy in the pen colours, fits it to
// the widget when a file is shown, zooms about the cursor with the wheel (1.2 forward, 0.8
// back), drags the drawing with the left button and reports a click on a stroke. Large files
// are drawn on a worker: a repaint shows the last finished picture moved and scaled to the
// current mapping at once, and the exact one replaces it when it is ready.
#include <QImage>
#include <QWidget>

#include <memory>

#include <optional>

#include "ui/logic/display_copy.h"
#include "ui/logic/pattern_view_rules.h"
#include "ui/logic/stroke_render.h"
#include "ui/logic/view_transform.h"
#include "ui/post_channel.h"

namespace qel::ui {

class CMyView : public QWidget {
  Q_OBJECT
 public:
  explicit CMyView(QWidget* parent = nullptr);
  ~CMyView() override;

  // Shows a file's display copy (null: nothing) and fits it to the widget.
  void setDisplay(std::shared_ptr<const DisplayCopy> copy);
  const DisplayCopy* display() const { return copy_.get(); }
  void setRenderOptions(const RenderOptions& options);
  const RenderOptions& renderOptions() const { return options_; }
  // Without input the view only shows (the follow preview).
  void setInteractive(bool on) { interactive_ = on; }
  // CCD mode (the CCD cut window): the cursor over the pattern's outline shows the hand and the
  // outline, the left button selects the pattern and drags the drawing, the right one
  // unselects, and the wheel zooms only while wheel zoom is enabled (otherwise it scrolls).
  void setCcdMode(bool on, bool wheelZoom) {
    ccdMode_ = on;
    rules_.setCcdMode(on);
    rules_.setZoomEnabled(wheelZoom);
  }
  void setWheelZoom(bool on) { rules_.setZoomEnabled(on); }
  bool wheelZoom() const { return rules_.zoomEnabled(); }
  // The pattern's outline (plot units, nullopt: no pattern) and its selection, as the pattern
  // holds them; setting the outline clears the selection.
  void setOutline(std::optional<QRectF> outline);
  void setSelected(bool on);
  const PatternViewRules& rules() const { return rules_; }
  // The back of the sheet: the drawing turned over about its middle.
  void setReverse(bool on);
  bool reverse() const { return view_.mirrored; }
  void fitToWindow();
  const ViewTransform& transform() const { return view_; }
  void setTransform(const ViewTransform& t);
  // Pick distance in pixels.
  static constexpr double kPickPixels = 6.0;
  // Files up to this many segments are drawn on the interface thread directly.
  static constexpr std::size_t kDirectSegments = 20000;
  // True while a worker draws a picture that is not shown yet.
  bool renderPending() const { return pending_; }
  // The stroke within reach of a pixel, -1 when none.
  int pickAt(const QPointF& pixel) const;

 signals:
  // A click (not a drag) on or near a stroke; index -1 when no stroke lies within reach.
  void strokeClicked(int index, Qt::MouseButton button);
  // The same click in plot units (CCD mode only).
  void plotClicked(QPointF plot, Qt::MouseButton button);
  // A picture drawn on a worker was shown.
  void rendered();
  // CCD mode: the pattern became selected by a press at `plot`, or unselected.
  void patternSelected(QPointF plot);
  void patternUnselected();
  // CCD mode: the file text of a selection or a drag.
  void statusChanged(ui::ViewStatus status);

 protected:
  void paintEvent(QPaintEvent*) override;
  void resizeEvent(QResizeEvent*) override;
  void mousePressEvent(QMouseEvent*) override;
  void mouseMoveEvent(QMouseEvent*) override;
  void mouseReleaseEvent(QMouseEvent*) override;
  void wheelEvent(QWheelEvent*) override;

 private:
  void requestRender();
  void apply(const PatternViewRules::Step& step);
  RenderOptions drawOptions() const;
  void onRendered(quint64 generation, const QImage& image, const ViewTransform& view);

  std::shared_ptr<const DisplayCopy> copy_;
  RenderOptions options_;
  ViewTransform view_;
  bool fitPending_ = true;
  bool interactive_ = true;
  bool ccdMode_ = false;
  PatternViewRules rules_;
  std::optional<QRectF> outline_;
  // The picture last drawn on a worker, with the mapping it was drawn for.
  QImage picture_;
  ViewTransform pictureView_;
  quint64 generation_ = 0;
  bool pending_ = false;
  bool dragging_ = false;
  bool moved_ = false;
  QPointF pressAt_, lastAt_;
  std::shared_ptr<PostChannel> channel_;
};

}  // namespace qel::ui
