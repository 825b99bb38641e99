// The controls of the real window that need more than a stock widget: the
// drawing surface, the buttons that report mouse-ups, the settings line that
// reports key presses, the list boxes and the legend squares.
#pragma once

#include <QFrame>
#include <QImage>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QWidget>
#include <array>

#include "ui/controls.h"
#include "ui/toolkit.h"

namespace peakfold {

// Button code of a mouse button (1 left, 2 right, 4 middle; 0 for others)
// and the key mask of the modifiers (1 Shift + 2 Ctrl + 4 Alt).
int buttonCode(Qt::MouseButton button);
int shiftMask(Qt::KeyboardModifiers modifiers);

// The drawing surface: plot coordinates over the inner area inside a sunken
// two-pixel border, painted into a backing picture that is shown as each
// call draws and survives being covered.
class GraphSurface : public QFrame {
  public:
    GraphSurface(Toolkit& ui, QWidget* parent);

    void clear();
    void line(double x1, double y1, double x2, double y2, LineStyle style, int colour);
    void point(double x, double y, int colour);

    // Continuous pixel position inside the inner area of a plot point; the
    // point lies in the pixel whose index is the floor of it.
    QPointF pixelOf(double x, double y) const;
    // The plot point a mouse position of the widget stands for: the centre
    // of the pixel under the pointer.
    QPointF plotOf(QPointF widgetPosition) const;

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

  private:
    void fitPicture();
    void damage(const QRect& pixels);

    Toolkit& ui_;
    QImage picture_;  // the inner area, one pixel per logical pixel
    QRect dirty_;     // picture pixels drawn since the last paint
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

// The main window: every control at its place from the layout table. Its
// close control ends the program as "Exit" does.
class MainWindow : public QWidget {
  public:
    explicit MainWindow(Toolkit& ui);
    QWidget* control(Control c) const { return controls_[static_cast<size_t>(c)]; }

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    std::array<QWidget*, kControls.size()> controls_{};
};

// The colour of a palette index; anything else is the default colour.
QColor paletteColour(int colour);

}  // namespace peakfold
