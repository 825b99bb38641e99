#include "ui/qt/qt_toolkit.h"

#include <QApplication>
#include <QInputDialog>
#include <QLabel>
#include <QMessageBox>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "graph/picking.h"
#include "model/numbers.h"
#include "search/coarse_clock.h"
#include "ui/dispatch.h"
#include "ui/main_window.h"
#include "ui/qt/file_opening.h"
#include "ui/qt/qt_widgets.h"
#include "ui/qt/report_window.h"

namespace peakfold {

namespace {

QString toQString(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

std::string toStdString(const QString& text) {
    return text.toUtf8().toStdString();
}

// Numbers are written with a blank in place of a plus sign; a tooltip
// needs none.
std::string withoutLeadingBlank(std::string text) {
    if (!text.empty() && text.front() == ' ') text.erase(0, 1);
    return text;
}

}  // namespace

int twipsToPixels(int twips) {
    return static_cast<int>(std::lround(static_cast<double>(twips) / kTwipsPerPixel));
}

QtToolkit::QtToolkit() : window_(std::make_unique<MainWindow>(*this)) {}

QtToolkit::~QtToolkit() = default;

QWidget* QtToolkit::window() const {
    return window_.get();
}

QWidget* QtToolkit::client() const {
    return window_->client();
}

QWidget* QtToolkit::widget(Control control) const {
    return window_->control(control);
}

void QtToolkit::endProcess() {
    std::fflush(nullptr);
    std::_Exit(0);
}

// ---- drawing surface ----

namespace {
GraphSurface& graphOf(const QtToolkit& ui) {
    return *static_cast<GraphSurface*>(ui.widget(Control::Graph));
}
ClickList* listOf(const QtToolkit& ui, Control list) {
    return layoutOf(list).kind == ControlKind::ListBox ? static_cast<ClickList*>(ui.widget(list))
                                                       : nullptr;
}
}  // namespace

void QtToolkit::graphClear() {
    graphOf(*this).clear();
}

void QtToolkit::graphLine(float x1, float y1, float x2, float y2, LineStyle style, int colour) {
    graphOf(*this).line(x1, y1, x2, y2, style, colour);
}

void QtToolkit::graphPoint(float x, float y, int colour) {
    graphOf(*this).point(x, y, colour);
}

std::vector<PlotCall> QtToolkit::plotCalls() const {
    std::vector<PlotCall> calls;
    for (const GraphSurface::Call& c : graphOf(*this).drawnCalls()) {
        PlotCall::Kind kind = PlotCall::Kind::Line;
        switch (c.shape) {
            case GraphSurface::Shape::Line:
                kind = PlotCall::Kind::Line;
                break;
            case GraphSurface::Shape::Box:
                kind = PlotCall::Kind::Box;
                break;
            case GraphSurface::Shape::FilledBox:
                kind = PlotCall::Kind::FilledBox;
                break;
            case GraphSurface::Shape::Point:
                kind = PlotCall::Kind::Point;
                break;
            case GraphSurface::Shape::Dropped:
                continue;  // painted over by a later call
        }
        calls.push_back({kind, c.x1, c.y1, c.x2, c.y2, c.colour});
    }
    return calls;
}

// ---- captions and texts ----

std::string QtToolkit::text(Control control) const {
    QWidget* w = widget(control);
    switch (layoutOf(control).kind) {
        case ControlKind::Button:
            return toStdString(static_cast<QPushButton*>(w)->text());
        case ControlKind::Label:
            return toStdString(static_cast<QLabel*>(w)->text());
        case ControlKind::TextBox:
            return toStdString(static_cast<QLineEdit*>(w)->text());
        default:
            return {};
    }
}

void QtToolkit::setText(Control control, std::string_view text) {
    QWidget* w = widget(control);
    switch (layoutOf(control).kind) {
        case ControlKind::Button:
            static_cast<QPushButton*>(w)->setText(toQString(text));
            break;
        case ControlKind::Label:
            static_cast<QLabel*>(w)->setText(toQString(text));
            break;
        case ControlKind::TextBox: {
            auto* box = static_cast<QLineEdit*>(w);
            box->setText(toQString(text));
            box->setCursorPosition(0);  // a long settings line shows its start
            break;
        }
        default:
            break;
    }
}

void QtToolkit::repaintNow(Control control) {
    widget(control)->repaint();
}

// ---- list boxes ----

void QtToolkit::listAppend(Control list, std::string_view line) {
    if (ClickList* l = listOf(*this, list)) l->addItem(toQString(line));
}

void QtToolkit::listClear(Control list) {
    if (ClickList* l = listOf(*this, list)) l->clear();
}

int QtToolkit::listCount(Control list) const {
    const ClickList* l = listOf(*this, list);
    return l ? l->count() : 0;
}

int QtToolkit::listIndex(Control list) const {
    const ClickList* l = listOf(*this, list);
    return l ? l->selectedRow() : -1;
}

void QtToolkit::setListIndex(Control list, int index) {
    if (ClickList* l = listOf(*this, list)) l->selectRow(index);
}

void QtToolkit::selectQuietly(Control list, int index) {
    if (ClickList* l = listOf(*this, list)) l->selectRowQuietly(index);
}

std::string QtToolkit::listSelectedText(Control list) const {
    const ClickList* l = listOf(*this, list);
    const int row = l ? l->selectedRow() : -1;
    return row < 0 ? std::string() : toStdString(l->item(row)->text());
}

std::string QtToolkit::listLine(Control list, int index) const {
    const ClickList* l = listOf(*this, list);
    return l && index >= 0 && index < l->count() ? toStdString(l->item(index)->text())
                                                 : std::string();
}

void QtToolkit::setListLine(Control list, int index, std::string_view line) {
    ClickList* l = listOf(*this, list);
    if (l && index >= 0 && index < l->count()) l->item(index)->setText(toQString(line));
}

void QtToolkit::setVisible(Control control, bool visible) {
    QWidget* w = widget(control);
    w->setVisible(visible);
    if (visible) w->raise();
}

void QtToolkit::setHeight(Control control, int twips) {
    window_->setControlHeight(control, twips);
}

void QtToolkit::setFillColour(Control shape, int colour) {
    if (layoutOf(shape).kind == ControlKind::Square) {
        static_cast<Square*>(widget(shape))->setFillColour(colour);
    }
}

// ---- main window, dialogs, pump ----

void QtToolkit::setWindowCaption(std::string_view caption) {
    window_->setWindowTitle(toQString(caption));
}

std::string QtToolkit::currentCaption() const {
    return toStdString(window_->windowTitle());
}

void QtToolkit::endProgram() {
    endProcess();
}

void QtToolkit::messageBox(std::string_view text) {
    QMessageBox box(QMessageBox::NoIcon, QString(), toQString(text), QMessageBox::Ok,
                    window_.get());
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

std::string QtToolkit::inputBox(std::string_view prompt) {
    QInputDialog box(window_.get());
    box.setWindowTitle(QString());
    box.setInputMode(QInputDialog::TextInput);
    box.setLabelText(toQString(prompt));
    // The prompt is one long sentence: wrap it rather than widen the box.
    for (QLabel* label : box.findChildren<QLabel*>()) label->setWordWrap(true);
    box.setTextValue(QString());
    if (box.exec() != QDialog::Accepted) return {};
    return toStdString(box.textValue());
}

void QtToolkit::pumpEvents() {
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    eventsRanAt_ = coarseMilliseconds();
}

void QtToolkit::pumpEventsIfDue() {
    if (eventsRanAt_ < 0 || coarseMilliseconds() - eventsRanAt_ >= kEventWaitMs) pumpEvents();
}

void QtToolkit::beep() {
    QApplication::beep();
}

// ---- the program ----

std::string pointerText(const State& s, float x) {
    const int nm = static_cast<int>(pickOf(x));
    std::string text = withoutLeadingBlank(NumText(nm)) + " nm";
    // The state keeps no extent of the loaded data, and entries never loaded
    // hold 0: the data runs from the first to the last wavelength whose
    // value is not 0.
    const auto isData = [](double v) { return v != 0; };
    const auto first = std::find_if(s.Spectrum.begin(), s.Spectrum.end(), isData);
    const auto last = std::find_if(s.Spectrum.rbegin(), s.Spectrum.rend(), isData);
    const long from = first - s.Spectrum.begin(), to = s.Spectrum.rend() - last - 1;
    if (nm >= from && nm <= to) {
        // One decimal is finer than a pixel of the plot; adding 0 turns a
        // rounded -0 into 0.
        const double value = std::round(s.Spectrum[static_cast<size_t>(nm)] * 10) / 10 + 0.0;
        text += ", " + withoutLeadingBlank(NumText(value));
    }
    return text;
}

QtApp::QtApp() {
    history = connect(s, ui);
    // A dropped file opens as one step, which Undo takes back.
    acceptFileDrops(*ui.window(), ui, [this](const std::string& path) {
        Event open{Control::Graph, Event::Kind::Open};
        open.path = path;
        ui.raise(open);
    });
    static_cast<GraphSurface*>(ui.widget(Control::Graph))->setPointerText([this](float x) {
        return pointerText(s, x);
    });
}

void QtApp::start() {
    Form_Load(s, ui);
    ui.window()->show();
    Form_Activate(s, ui);
    history->refresh(s, ui);
}

void QtToolkit::showReport(const Refinement& report) {
    if (!report_) report_ = new ReportWindow(*this, window_.get());
    report_->showReport(report);
}

void QtToolkit::showFitChoices(BaselineKind baseline, Weighting weights) {
    window_->showFitChoices(baseline, weights);
}

void QtToolkit::showPeakShape(PeakShape shape) {
    window_->showPeakShape(shape);
}

void QtToolkit::showHistory(const std::string& undo, const std::string& redo) {
    window_->showHistory(undo, redo);
}

}  // namespace peakfold
