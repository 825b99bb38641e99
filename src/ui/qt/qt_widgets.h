// The controls of the real window that need more than a stock widget: the
// drawing surface, the buttons that report mouse-ups, the settings line that
// reports key presses, the list boxes and the legend squares.
#pragma once

#include <QFrame>
#include <QImage>
#include <QLineEdit>
#include <QListWidget>
#include <QMenuBar>
#include <QPushButton>
#include <QWidget>
#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <unordered_map>
#include <vector>

#include "ui/controls.h"
#include "ui/toolkit.h"

namespace peakfold {

// Button code of a mouse button (1 left, 2 right, 4 middle; 0 for others)
// and the key mask of the modifiers (1 Shift + 2 Ctrl + 4 Alt).
int buttonCode(Qt::MouseButton button);
int shiftMask(Qt::KeyboardModifiers modifiers);

// The drawing surface: plot coordinates over the inner area inside a sunken
// two-pixel border, painted into a backing picture of device pixels that is
// shown as each call draws. The surface also keeps the calls drawn since the
// last clear, so that a new size or device pixel ratio draws them again,
// lines one device pixel wide, instead of stretching the old picture.
class GraphSurface : public QFrame {
  public:
    GraphSurface(Toolkit& ui, QWidget* parent);

    void clear();
    void line(float x1, float y1, float x2, float y2, LineStyle style, int colour);
    void point(float x, float y, int colour);

    // Continuous pixel position inside the inner area of a plot point, in
    // widget pixels; the point lies in the pixel whose index is the floor
    // of it.
    QPointF pixelOf(double x, double y) const;
    // The plot point a mouse position of the widget stands for: the centre
    // of the device pixel under the pointer.
    QPointF plotOf(QPointF widgetPosition) const;

    // What the tooltip says for the pointer at plot position x; the surface
    // asks for it on every move over the inner area. Nothing is shown when
    // it is not set.
    void setPointerText(std::function<std::string(float x)> text) {
        pointerText_ = std::move(text);
    }
    QString pointerTextAt(QPointF widgetPosition) const;

    enum class Shape : uint8_t { Line, Box, FilledBox, Point, Dropped };
    struct Call {
        float x1, y1, x2, y2;
        Shape shape;
        int colour;  // a palette index or kDefaultColour
    };
    // Every call drawn since the last clear, in drawing order, also those
    // the picture has taken into its base: what an exported figure draws.
    std::vector<Call> drawnCalls() const;

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;

  private:
    // The bits that decide which pixels a call paints and with what; a
    // point's key leaves out its colour, as any later point there wins.
    using CallKey = std::array<uint32_t, 5>;
    struct KeyHash {
        size_t operator()(const CallKey& key) const;
    };
    static CallKey keyOf(const Call& call);

    QSize deviceSize() const;
    void fitPicture();
    void record(const Call& call);
    void compact();
    // Paints one call on the picture at its size; gives the pixels touched.
    QRect paintCall(const Call& call);
    void damage(const QRect& pixels);

    Toolkit& ui_;
    std::function<std::string(float x)> pointerText_;
    QImage picture_;  // the inner area, one pixel per device pixel
    QRect dirty_;     // picture pixels drawn since the last paint

    // The calls since the last clear, in drawing order. A call that repeats
    // an earlier one, or a point set where an earlier point was, paints over
    // all of it at every size, so the earlier one is dropped (left as a
    // hole until the next compaction). Past kMaxCalls the picture so far
    // becomes the base that a new size scales, and recording starts afresh;
    // the calls the base shows are kept apart, so an exported figure still
    // draws every call.
    std::vector<Call> calls_;
    std::unordered_map<CallKey, size_t, KeyHash> callIndex_;  // place in calls_
    size_t holes_ = 0;
    QImage base_;                  // what was drawn before the recorded calls, if anything
    std::vector<Call> baseCalls_;  // the calls base_ shows, for an exported figure
};

// A push button that reports mouse-ups of the left, right and middle button
// instead of clicks.
class MouseUpButton : public QPushButton {
  public:
    MouseUpButton(Toolkit& ui, Control control, QWidget* parent);

  protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

  private:
    Toolkit& ui_;
    Control control_;
};

// A one-line text box that reports each typed character code (13 for
// Enter) before the typing goes on as usual.
class KeyPressBox : public QLineEdit {
  public:
    KeyPressBox(Toolkit& ui, Control control, QWidget* parent);

  protected:
    void keyPressEvent(QKeyEvent* event) override;

  private:
    Toolkit& ui_;
    Control control_;
};

// A list box whose click event is raised once for each left press on a
// line (also the selected one), for each change of the selection by
// keyboard or by dragging, and for each selection made in code.
class ClickList : public QListWidget {
  public:
    ClickList(Toolkit& ui, Control control, QWidget* parent);

    int selectedRow() const;  // -1 when none
    // Selects a line (or none for -1) as the program does; a line selected
    // raises the click event, also when it was selected already.
    void selectRow(int row);
    // Selects a line (or none for -1) without raising the click event, as
    // undo puts back a selection.
    void selectRowQuietly(int row);

  protected:
    QItemSelectionModel::SelectionFlags selectionCommand(const QModelIndex& index,
                                                         const QEvent* event) const override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

  private:
    template <typename Action>
    void userAction(bool pressOnLine, Action action);
    void raiseClick();

    Toolkit& ui_;
    Control control_;
};

// A legend square: a black outline filled with a palette colour.
class Square : public QWidget {
  public:
    explicit Square(QWidget* parent);
    void setFillColour(int colour);

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    int colour_ = kDefaultColour;  // nothing filled yet
};

// The main window: the menu bar on top, and below it the client area with
// every control at its place from the layout table. The window opens with
// the table's client area under the bar and can grow, not shrink; each
// control then keeps its place and size as a share of the client area, and
// the fonts grow with the smaller of the two factors. Its close control ends
// the program as "Exit" does.
class MainWindow : public QWidget {
  public:
    explicit MainWindow(Toolkit& ui);
    QWidget* control(Control c) const { return controls_[static_cast<size_t>(c)]; }
    QWidget* client() const { return client_; }
    QMenuBar* menuBar() const { return menuBar_; }
    // A new height of a control in twips, kept through later resizes.
    void setControlHeight(Control c, int twips);
    // Checks the Fit menu's Baseline and Weights items of these choices.
    void showFitChoices(BaselineKind baseline, Weighting weights);
    // Checks the Fit menu's Peak Shape item of this shape.
    void showPeakShape(PeakShape shape);
    // Names the steps the Edit menu's Undo and Redo take back or do again;
    // an item with no step to name is disabled.
    void showHistory(const std::string& undo, const std::string& redo);

  protected:
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

  private:
    void buildMenuBar(Toolkit& ui);
    void buildFitChoices(QMenu* fit, Toolkit& ui);
    int barHeight() const;
    void place(Control c);
    void scaleFonts();

    QMenuBar* menuBar_ = nullptr;
    // In the order of BaselineKind, of Weighting and of PeakShape.
    std::array<QAction*, 5> baselineItems_{};
    std::array<QAction*, 3> weightsItems_{};
    std::array<QAction*, 3> shapeItems_{};
    QAction* undoItem_ = nullptr;
    QAction* redoItem_ = nullptr;
    QWidget* client_ = nullptr;
    std::array<QWidget*, kControls.size()> controls_{};
    std::array<QRect, kControls.size()> twips_{};  // left, top, width, height
    std::array<QFont, kControls.size()> fonts_{};  // at the start size
    double fontScale_ = 1;
};

// The colour of a palette index; anything else is the default colour.
QColor paletteColour(int colour);

}  // namespace peakfold
