#include "ui/qt/qt_widgets.h"

#include <QActionGroup>
#include <QCloseEvent>
#include <QFont>
#include <QIcon>
#include <QKeyEvent>
#include <QKeySequence>
#include <QLabel>
#include <QList>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QToolTip>
#include <algorithm>
#include <bit>
#include <cmath>
#include <vector>

#include "ui/qt/qt_toolkit.h"

namespace peakfold {

namespace {

constexpr unsigned kBackground = 0x000000;  // the surface is cleared to black

// Cuts the segment to the rectangle lo..hi on both axes, so that far-away
// end points neither overflow a pixel index nor change the slope of the
// part that shows. Each end outside is moved onto the edge it lies beyond,
// measured from the other end, so a line with one end near the picture
// keeps that end's precision however far the other lies. False when
// nothing of it lies inside.
bool clipSegment(double& x1, double& y1, double& x2, double& y2, double lo_x, double lo_y,
                 double hi_x, double hi_y) {
    auto outside = [&](double x, double y) {
        return (x < lo_x ? 1 : x > hi_x ? 2 : 0) | (y < lo_y ? 4 : y > hi_y ? 8 : 0);
    };
    int c1 = outside(x1, y1), c2 = outside(x2, y2);
    // Every step settles one edge of one end: eight steps at most.
    for (int step = 0; step < 8 && (c1 | c2) != 0; ++step) {
        if ((c1 & c2) != 0) return false;
        const bool first = c1 != 0;
        const int c = first ? c1 : c2;
        double& x = first ? x1 : x2;
        double& y = first ? y1 : y2;
        const double ox = first ? x2 : x1, oy = first ? y2 : y1;
        if (c & (4 | 8)) {
            const double edge = c & 4 ? lo_y : hi_y;
            x = ox + (edge - oy) * (x - ox) / (y - oy);
            y = edge;
        } else {
            const double edge = c & 1 ? lo_x : hi_x;
            y = oy + (edge - ox) * (y - oy) / (x - ox);
            x = edge;
        }
        (first ? c1 : c2) = outside(x, y);
    }
    // What rounding left a hair beyond an edge is held on it.
    x1 = std::clamp(x1, lo_x, hi_x);
    x2 = std::clamp(x2, lo_x, hi_x);
    y1 = std::clamp(y1, lo_y, hi_y);
    y2 = std::clamp(y2, lo_y, hi_y);
    return true;
}

bool finite(double a, double b) {
    return std::isfinite(a) && std::isfinite(b);
}

// The pixel a continuous position lies in, for positions already brought
// within a few pixels of the picture.
int pixelIndex(double position) {
    return static_cast<int>(std::floor(position));
}

}  // namespace

int buttonCode(Qt::MouseButton button) {
    switch (button) {
        case Qt::LeftButton:
            return 1;
        case Qt::RightButton:
            return 2;
        case Qt::MiddleButton:
            return 4;
        default:
            return 0;
    }
}

int shiftMask(Qt::KeyboardModifiers modifiers) {
    return (modifiers & Qt::ShiftModifier ? 1 : 0) + (modifiers & Qt::ControlModifier ? 2 : 0) +
           (modifiers & Qt::AltModifier ? 4 : 0);
}

QColor paletteColour(int colour) {
    const unsigned rgb = colour >= 0 && colour < static_cast<int>(kPalette.size())
                             ? kPalette[static_cast<size_t>(colour)]
                             : 0x000000;  // the default drawing colour
    return QColor::fromRgb(static_cast<QRgb>(rgb));
}

// ---- drawing surface ----

namespace {

// Live calls kept for drawing again. A full plot with nine curves, the raw
// data and the pick strip is about ten thousand; the search's progress
// points repeat a few thousand places.
constexpr size_t kMaxCalls = size_t{1} << 16;
// Holes left by dropped calls are removed once there are this many and they
// outnumber the live calls, so compaction costs little per call.
constexpr size_t kMinHolesToCompact = 4096;

// Every colour that is not a palette index draws in the default colour.
int paletteIndexOrDefault(int colour) {
    return colour >= 0 && colour < static_cast<int>(kPalette.size()) ? colour : kDefaultColour;
}

}  // namespace

GraphSurface::GraphSurface(Toolkit& ui, QWidget* parent) : QFrame(parent), ui_(ui) {
    setFrameStyle(QFrame::Panel | QFrame::Sunken);
    setLineWidth(2);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMouseTracking(true);  // for the pointer's tooltip
}

QSize GraphSurface::deviceSize() const {
    const QSize inner = contentsRect().size();
    const double ratio = devicePixelRatioF();
    return QSize(static_cast<int>(std::lround(inner.width() * ratio)),
                 static_cast<int>(std::lround(inner.height() * ratio)))
        .expandedTo(QSize(1, 1));
}

// A new size or device pixel ratio draws everything since the last clear
// again, on a picture of the new device pixels.
void GraphSurface::fitPicture() {
    const QSize size = deviceSize();
    if (picture_.size() == size) return;
    picture_ = QImage(size, QImage::Format_RGB32);
    picture_.fill(static_cast<QRgb>(kBackground));
    if (!base_.isNull()) {
        QPainter painter(&picture_);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.drawImage(QRect(QPoint(0, 0), size), base_);
    }
    for (const Call& call : calls_) paintCall(call);
    dirty_ = picture_.rect();
    update();
}

size_t GraphSurface::KeyHash::operator()(const CallKey& key) const {
    size_t h = 1469598103934665603ull;
    for (uint32_t word : key) h = (h ^ word) * 1099511628211ull;
    return h;
}

GraphSurface::CallKey GraphSurface::keyOf(const Call& call) {
    auto bits = [](float v) { return std::bit_cast<uint32_t>(v); };
    if (call.shape == Shape::Point) {
        return {bits(call.x1), bits(call.y1), 0, 0, static_cast<uint32_t>(Shape::Point) << 8};
    }
    return {bits(call.x1), bits(call.y1), bits(call.x2), bits(call.y2),
            static_cast<uint32_t>(call.shape) << 8 | static_cast<uint32_t>(call.colour + 1)};
}

void GraphSurface::record(const Call& call) {
    const auto [at, added] = callIndex_.try_emplace(keyOf(call), calls_.size());
    if (!added) {
        calls_[at->second].shape = Shape::Dropped;
        ++holes_;
        at->second = calls_.size();
    }
    calls_.push_back(call);
    if (calls_.size() - holes_ > kMaxCalls) {
        // The picture already shows every call: it becomes the base, and a
        // new size scales it under the calls that follow.
        base_ = picture_;
        std::erase_if(calls_, [](const Call& c) { return c.shape == Shape::Dropped; });
        baseCalls_.insert(baseCalls_.end(), calls_.begin(), calls_.end());
        calls_.clear();
        callIndex_.clear();
        holes_ = 0;
    } else if (holes_ >= kMinHolesToCompact && 2 * holes_ > calls_.size()) {
        compact();
    }
}

void GraphSurface::compact() {
    std::erase_if(calls_, [](const Call& call) { return call.shape == Shape::Dropped; });
    callIndex_.clear();
    for (size_t i = 0; i < calls_.size(); ++i) callIndex_[keyOf(calls_[i])] = i;
    holes_ = 0;
}

std::vector<GraphSurface::Call> GraphSurface::drawnCalls() const {
    std::vector<Call> all = baseCalls_;
    for (const Call& call : calls_) {
        if (call.shape != Shape::Dropped) all.push_back(call);
    }
    return all;
}

QPointF GraphSurface::pixelOf(double x, double y) const {
    const QRect inner = contentsRect();
    return {(x - kPlotLeft) * inner.width() / kPlotWidth,
            (y - kPlotTop) * inner.height() / kPlotHeight};
}

QPointF GraphSurface::plotOf(QPointF widgetPosition) const {
    const QRect inner = contentsRect();
    const QSize device = deviceSize();
    const double ratio = devicePixelRatioF();
    const double px = std::floor((widgetPosition.x() - inner.left()) * ratio) + 0.5;
    const double py = std::floor((widgetPosition.y() - inner.top()) * ratio) + 0.5;
    return {kPlotLeft + px * kPlotWidth / device.width(),
            kPlotTop + py * kPlotHeight / device.height()};
}

QString GraphSurface::pointerTextAt(QPointF widgetPosition) const {
    if (!pointerText_ || !QRectF(contentsRect()).contains(widgetPosition)) return {};
    // The same position, down to the float, that a mouse-up reports.
    return QString::fromStdString(pointerText_(static_cast<float>(plotOf(widgetPosition).x())));
}

void GraphSurface::damage(const QRect& pixels) {
    const QRect shown = pixels.intersected(picture_.rect());
    if (shown.isEmpty()) return;
    // One growing rectangle: thousands of progress points stay one cheap
    // repaint at the next turn of the event pump.
    dirty_ = dirty_.united(shown);
    const double ratio = devicePixelRatioF();
    const QRect widgetPixels =
        ratio == 1 ? dirty_
                   : QRectF(QPointF(dirty_.topLeft()) / ratio, QSizeF(dirty_.size()) / ratio)
                         .toAlignedRect();
    update(widgetPixels.translated(contentsRect().topLeft()));
}

void GraphSurface::clear() {
    calls_.clear();
    callIndex_.clear();
    holes_ = 0;
    base_ = QImage();
    baseCalls_.clear();
    fitPicture();
    picture_.fill(static_cast<QRgb>(kBackground));
    damage(picture_.rect());
}

void GraphSurface::line(float x1, float y1, float x2, float y2, LineStyle style, int colour) {
    fitPicture();
    if (!finite(x1, y1) || !finite(x2, y2)) return;
    const Shape shape = style == LineStyle::Line  ? Shape::Line
                        : style == LineStyle::Box ? Shape::Box
                                                  : Shape::FilledBox;
    const Call call{x1, y1, x2, y2, shape, paletteIndexOrDefault(colour)};
    damage(paintCall(call));
    record(call);
}

void GraphSurface::point(float x, float y, int colour) {
    fitPicture();
    if (!finite(x, y)) return;
    const Call call{x, y, x, y, Shape::Point, paletteIndexOrDefault(colour)};
    damage(paintCall(call));
    record(call);
}

QRect GraphSurface::paintCall(const Call& call) {
    const double w = picture_.width(), h = picture_.height();
    auto devicePixelOf = [&](float x, float y) {
        return QPointF((x - kPlotLeft) * w / kPlotWidth, (y - kPlotTop) * h / kPlotHeight);
    };
    const QColor ink = paletteColour(call.colour);
    const QPointF a = devicePixelOf(call.x1, call.y1), b = devicePixelOf(call.x2, call.y2);
    if (!finite(a.x(), a.y()) || !finite(b.x(), b.y())) return {};

    switch (call.shape) {
        case Shape::Dropped:
            return {};
        case Shape::Point: {
            if (!(a.x() >= 0 && a.x() < w && a.y() >= 0 && a.y() < h)) return {};
            const QPoint pixel(pixelIndex(a.x()), pixelIndex(a.y()));
            picture_.setPixel(pixel, ink.rgb());
            return QRect(pixel, QSize(1, 1));
        }
        case Shape::Line: {
            double ax = a.x(), ay = a.y(), bx = b.x(), by = b.y();
            if (!clipSegment(ax, ay, bx, by, -2, -2, w + 2, h + 2)) return {};
            const QPoint from(pixelIndex(ax), pixelIndex(ay)), to(pixelIndex(bx), pixelIndex(by));
            QPainter painter(&picture_);
            painter.setPen(QPen(ink, 1, Qt::SolidLine, Qt::SquareCap));
            if (from == to) {
                painter.drawPoint(from);
            } else {
                painter.drawLine(from, to);
            }
            return QRect(from, to).normalized();
        }
        case Shape::Box:
        case Shape::FilledBox:
            break;
    }

    // A box edge beyond the picture is held just outside it, so the part
    // that lies inside is drawn as it would be on an endless surface.
    auto edge = [](double v, double size) { return pixelIndex(std::clamp(v, -1.0, size)); };
    const int left = edge(std::min(a.x(), b.x()), w), right = edge(std::max(a.x(), b.x()), w);
    const int top = edge(std::min(a.y(), b.y()), h), bottom = edge(std::max(a.y(), b.y()), h);
    const QRect box(QPoint(left, top), QPoint(right, bottom));
    QPainter painter(&picture_);
    if (call.shape == Shape::FilledBox) {
        painter.fillRect(box, ink);
    } else {
        painter.setPen(QPen(ink, 1, Qt::SolidLine, Qt::SquareCap));
        const QPoint corners[5] = {box.topLeft(), box.topRight(), box.bottomRight(),
                                   box.bottomLeft(), box.topLeft()};
        painter.drawPolyline(corners, 5);
    }
    return box;
}

void GraphSurface::paintEvent(QPaintEvent* event) {
    fitPicture();
    QFrame::paintEvent(event);
    QPainter painter(this);
    // The picture holds device pixels: shown over the inner area it maps
    // one to one onto the screen's pixels.
    if (devicePixelRatioF() == 1) {
        painter.drawImage(contentsRect().topLeft(), picture_);
    } else {
        painter.drawImage(QRectF(contentsRect()), picture_);
    }
    dirty_ = QRect();
}

void GraphSurface::mousePressEvent(QMouseEvent* event) {
    // Taking the press makes the release come here, wherever it happens.
    if (buttonCode(event->button()) != 0) {
        event->accept();
    } else {
        event->ignore();
    }
}

void GraphSurface::mouseReleaseEvent(QMouseEvent* event) {
    const int button = buttonCode(event->button());
    if (button == 0) return event->ignore();
    const QPointF at = plotOf(event->position());
    Event e{Control::Graph, Event::Kind::MouseUp, button, shiftMask(event->modifiers())};
    e.x = static_cast<float>(at.x());
    e.y = static_cast<float>(at.y());
    ui_.raise(e);
}

// Only the tooltip follows the pointer: no event is raised.
void GraphSurface::mouseMoveEvent(QMouseEvent* event) {
    const QString text = pointerTextAt(event->position());
    if (text.isEmpty()) {
        QToolTip::hideText();
    } else {
        QToolTip::showText(event->globalPosition().toPoint(), text, this);
    }
    QFrame::mouseMoveEvent(event);
}

void GraphSurface::leaveEvent(QEvent* event) {
    QToolTip::hideText();
    QFrame::leaveEvent(event);
}

// ---- buttons with mouse-ups ----

MouseUpButton::MouseUpButton(Toolkit& ui, Control control, QWidget* parent)
    : QPushButton(parent), ui_(ui), control_(control) {}

void MouseUpButton::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) return QPushButton::mousePressEvent(event);
    if (buttonCode(event->button()) != 0) return event->accept();
    event->ignore();
}

void MouseUpButton::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) QPushButton::mouseReleaseEvent(event);
    const int button = buttonCode(event->button());
    if (button == 0) return;
    // Positions of a button are given in twips from its top left corner.
    Event e{control_, Event::Kind::MouseUp, button, shiftMask(event->modifiers())};
    e.x = static_cast<float>(event->position().x() * kTwipsPerPixel);
    e.y = static_cast<float>(event->position().y() * kTwipsPerPixel);
    ui_.raise(e);
}

// ---- settings line ----

KeyPressBox::KeyPressBox(Toolkit& ui, Control control, QWidget* parent)
    : QLineEdit(parent), ui_(ui), control_(control) {}

void KeyPressBox::keyPressEvent(QKeyEvent* event) {
    int key = 0;
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        key = 13;
    } else if (!event->text().isEmpty()) {
        key = event->text().at(0).unicode();
    }
    if (key != 0) {
        Event e{control_, Event::Kind::KeyPress};
        e.key = key;
        ui_.raise(e);
    }
    QLineEdit::keyPressEvent(event);
}

// ---- list boxes ----

ClickList::ClickList(Toolkit& ui, Control control, QWidget* parent)
    : QListWidget(parent), ui_(ui), control_(control) {
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSortingEnabled(false);
    setDragEnabled(false);
}

int ClickList::selectedRow() const {
    const QModelIndexList rows = selectionModel()->selectedRows();
    return rows.isEmpty() ? -1 : rows.first().row();
}

void ClickList::raiseClick() {
    ui_.raise({control_, Event::Kind::Click});
}

void ClickList::selectRow(int row) {
    if (row < -1 || row >= count()) return;
    selectRowQuietly(row);
    if (row >= 0) raiseClick();
}

void ClickList::selectRowQuietly(int row) {
    if (row < -1 || row >= count()) return;
    if (row == -1) {
        clearSelection();
        setCurrentIndex(QModelIndex());
        return;
    }
    setCurrentRow(row, QItemSelectionModel::ClearAndSelect);
}

QItemSelectionModel::SelectionFlags ClickList::selectionCommand(const QModelIndex& index,
                                                                const QEvent* event) const {
    // A line once selected stays selected until another is: no Ctrl-click
    // or click beside the lines takes the selection away, and only the left
    // button selects.
    if (!index.isValid()) return QItemSelectionModel::NoUpdate;
    if (event != nullptr) {
        switch (event->type()) {
            case QEvent::MouseButtonPress:
            case QEvent::MouseButtonRelease:
            case QEvent::MouseButtonDblClick:
            case QEvent::MouseMove: {
                const auto* mouse = static_cast<const QMouseEvent*>(event);
                const bool left =
                    mouse->button() == Qt::LeftButton || (mouse->buttons() & Qt::LeftButton);
                if (!left) return QItemSelectionModel::NoUpdate;
                break;
            }
            default:
                break;
        }
    }
    return QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows;
}

template <typename Action>
void ClickList::userAction(bool pressOnLine, Action action) {
    const int before = selectedRow();
    action();
    const int after = selectedRow();
    if (after >= 0 && (pressOnLine || after != before)) raiseClick();
}

void ClickList::mousePressEvent(QMouseEvent* event) {
    const bool onLine =
        event->button() == Qt::LeftButton && indexAt(event->position().toPoint()).isValid();
    userAction(onLine, [&] { QListWidget::mousePressEvent(event); });
}

void ClickList::mouseMoveEvent(QMouseEvent* event) {
    userAction(false, [&] { QListWidget::mouseMoveEvent(event); });
}

void ClickList::keyPressEvent(QKeyEvent* event) {
    userAction(false, [&] { QListWidget::keyPressEvent(event); });
}

// ---- legend squares ----

Square::Square(QWidget* parent) : QWidget(parent) {}

void Square::setFillColour(int colour) {
    colour_ = colour;
    update();
}

void Square::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QRect box = rect().adjusted(0, 0, -1, -1);
    if (colour_ != kDefaultColour) painter.fillRect(box, paletteColour(colour_));
    painter.setPen(QPen(Qt::black, 1));
    painter.drawRect(box);
}

// ---- main window ----

namespace {

const QSize& startSize() {
    static const QSize size(twipsToPixels(kClientWidth), twipsToPixels(kClientHeight));
    return size;
}

// The program's icon, from the pictures built into the program.
QIcon programIcon() {
    QIcon icon;
    for (int size : {48, 256}) {
        icon.addFile(QString(":/peakfold/peakfold-%1.png").arg(size), QSize(size, size));
    }
    return icon;
}

}  // namespace

MainWindow::MainWindow(Toolkit& ui) {
    setWindowTitle("Form1");
    setWindowIcon(programIcon());
    buildMenuBar(ui);
    client_ = new QWidget(this);
    client_->setObjectName("client");
    const QSize withBar = startSize() + QSize(0, barHeight());
    setMinimumSize(withBar);
    resize(withBar);
    client_->setGeometry(0, barHeight(), startSize().width(), startSize().height());

    QFont listFont("Arial");
    listFont.setPointSizeF(9.75);
    QFont boldListFont = listFont;
    boldListFont.setBold(true);

    for (const ControlLayout& layout : kControls) {
        const QString initial = QString::fromUtf8(
            layout.initialText.data(), static_cast<qsizetype>(layout.initialText.size()));
        QWidget* w = nullptr;
        switch (layout.kind) {
            case ControlKind::Surface:
                w = new GraphSurface(ui, client_);
                break;
            case ControlKind::Button: {
                const bool mouseUps = layout.control == Control::Io ||
                                      layout.control == Control::wl ||
                                      layout.control == Control::PulseWidth;
                QPushButton* button = nullptr;
                if (mouseUps) {
                    button = new MouseUpButton(ui, layout.control, client_);
                } else {
                    button = new QPushButton(client_);
                    const Control c = layout.control;
                    QObject::connect(button, &QPushButton::clicked, button, [&ui, c] {
                        ui.raise({c, Event::Kind::Click});
                    });
                }
                button->setText(initial);
                button->setAutoDefault(false);
                w = button;
                break;
            }
            case ControlKind::Label: {
                auto* label = new QLabel(initial, client_);
                label->setTextFormat(Qt::PlainText);
                label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
                w = label;
                break;
            }
            case ControlKind::TextBox: {
                QLineEdit* box = layout.control == Control::Help
                                     ? new KeyPressBox(ui, layout.control, client_)
                                     : new QLineEdit(client_);
                box->setText(initial);
                box->setCursorPosition(0);
                if (layout.control == Control::Quality) {
                    // A finished edit of the quality is one step for Undo.
                    QObject::connect(box, &QLineEdit::editingFinished, box, [&ui] {
                        ui.raise({Control::Quality, Event::Kind::Edited});
                    });
                }
                w = box;
                break;
            }
            case ControlKind::Square:
                w = new Square(client_);
                break;
            case ControlKind::ListBox: {
                auto* list = new ClickList(ui, layout.control, client_);
                list->setFont(layout.control == Control::List ? boldListFont : listFont);
                w = list;
                break;
            }
        }
        w->setObjectName(
            QString::fromUtf8(layout.name.data(), static_cast<qsizetype>(layout.name.size())));
        const auto i = static_cast<size_t>(layout.control);
        controls_[i] = w;
        twips_[i] = QRect(layout.left, layout.top, layout.width, layout.height);
        fonts_[i] = w->font();
        place(layout.control);
    }
    // "Fit Quality" stands against its box, wrapped rather than clipped.
    auto* fitQuality = static_cast<QLabel*>(control(Control::Label1));
    fitQuality->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    fitQuality->setWordWrap(true);
    // The help screen lies over everything else once shown.
    control(Control::HelpList)->hide();
    control(Control::HelpList)->raise();
}

namespace {

void raiseWhenTriggered(QAction* action, Toolkit& ui, MenuItem chosen) {
    QObject::connect(action, &QAction::triggered, action, [&ui, chosen] {
        Event event;
        event.kind = Event::Kind::Menu;
        event.item = chosen;
        ui.raise(event);
    });
}

}  // namespace

// Menu items that stand for a button run that button's handler; the others
// reach theirs through the same dispatch.
void MainWindow::buildMenuBar(Toolkit& ui) {
    menuBar_ = new QMenuBar(this);
    // In the window on every desktop, so the client area lies under it.
    menuBar_->setNativeMenuBar(false);
    struct Item {
        const char* text;
        MenuItem item;
        QList<QKeySequence> keys;
    };
    const struct {
        const char* title;
        std::vector<Item> items;
        bool fitChoices = false;  // the Baseline and Weights submenus follow the items
    } menus[] = {
        {"&File",
         {{"&Open…", MenuItem::Open, {QKeySequence(Qt::CTRL | Qt::Key_O)}},
          {"&Save…", MenuItem::Save, {QKeySequence(Qt::CTRL | Qt::Key_S)}},
          {"&Export Figure…", MenuItem::ExportFigure, {QKeySequence(Qt::CTRL | Qt::Key_E)}},
          {"&Quit", MenuItem::Quit, {QKeySequence(Qt::CTRL | Qt::Key_Q)}}}},
        // The items are named after their steps by showHistory.
        {"&Edit",
         {{"Undo", MenuItem::Undo, {QKeySequence(Qt::CTRL | Qt::Key_Z)}},
          {"Redo",
           MenuItem::Redo,
           {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z), QKeySequence(Qt::CTRL | Qt::Key_Y)}}}},
        {"F&it",
         {{"&Calculate", MenuItem::Calculate, {QKeySequence(Qt::Key_F5)}},
          {"C&ancel", MenuItem::Cancel, {QKeySequence(Qt::Key_Escape)}},
          {"&Refine", MenuItem::Refine, {QKeySequence(Qt::CTRL | Qt::Key_R)}},
          {"Re&port…", MenuItem::Report, {QKeySequence(Qt::CTRL | Qt::Key_I)}}},
         true},
        {"&Help",
         {{"&Help", MenuItem::Help, {QKeySequence(Qt::Key_F1)}},
          {"&About Peakfold", MenuItem::About, {}}}},
    };
    for (const auto& menu : menus) {
        QMenu* m = menuBar_->addMenu(QString::fromUtf8(menu.title));
        for (const Item& item : menu.items) {
            QAction* action = m->addAction(QString::fromUtf8(item.text));
            action->setShortcuts(item.keys);
            // The shortcuts work wherever the focus is in the window, also in
            // the settings line and the lists.
            action->setShortcutContext(Qt::WindowShortcut);
            raiseWhenTriggered(action, ui, item.item);
            if (item.item == MenuItem::Undo) undoItem_ = action;
            if (item.item == MenuItem::Redo) redoItem_ = action;
        }
        if (menu.fitChoices) buildFitChoices(m, ui);
    }
    showHistory({}, {});  // nothing done yet
}

// Fit > Baseline, Weights and Peak Shape: one item of each checked. A
// choice checks its item at once; the handler then checks the item of what
// it kept, which is the old one when it refused the choice. Shape of
// Selected Equation acts once on one line and keeps nothing to check.
void MainWindow::buildFitChoices(QMenu* fit, Toolkit& ui) {
    const auto group = [&](const char* title, const auto& items, auto& actions) {
        QMenu* sub = fit->addMenu(QString::fromUtf8(title));
        auto* exclusive = new QActionGroup(sub);
        for (size_t i = 0; i < items.size(); ++i) {
            QAction* action = sub->addAction(QString::fromUtf8(items[i].first));
            action->setCheckable(true);
            action->setChecked(i == 0);
            exclusive->addAction(action);
            raiseWhenTriggered(action, ui, items[i].second);
            actions[i] = action;
        }
    };
    using Shapes = std::array<std::pair<const char*, MenuItem>, 3>;
    fit->addSeparator();
    group("&Baseline",
          std::array<std::pair<const char*, MenuItem>, 5>{{
              {"&None", MenuItem::BaselineNone},
              {"&Constant", MenuItem::BaselineConstant},
              {"&Linear", MenuItem::BaselineLinear},
              {"&Quadratic", MenuItem::BaselineQuadratic},
              {"&Exponential", MenuItem::BaselineExponential},
          }},
          baselineItems_);
    group("&Weights",
          std::array<std::pair<const char*, MenuItem>, 3>{{
              {"&None", MenuItem::WeightsNone},
              {"&Counting statistics", MenuItem::WeightsCounts},
              {"&From the file", MenuItem::WeightsColumn},
          }},
          weightsItems_);
    group("Peak &Shape",
          Shapes{{
              {"&Gaussian", MenuItem::ShapeGaussian},
              {"&Lorentzian", MenuItem::ShapeLorentzian},
              {"&Pseudo-Voigt", MenuItem::ShapePseudoVoigt},
          }},
          shapeItems_);
    QMenu* selected = fit->addMenu("Shape of Selected &Equation");
    for (const auto& [text, item] : Shapes{{
             {"&Gaussian", MenuItem::SelectedGaussian},
             {"&Lorentzian", MenuItem::SelectedLorentzian},
             {"&Pseudo-Voigt", MenuItem::SelectedPseudoVoigt},
         }}) {
        raiseWhenTriggered(selected->addAction(QString::fromUtf8(text)), ui, item);
    }
}

void MainWindow::showFitChoices(BaselineKind baseline, Weighting weights) {
    baselineItems_[static_cast<size_t>(baseline)]->setChecked(true);
    weightsItems_[static_cast<size_t>(weights)]->setChecked(true);
}

void MainWindow::showPeakShape(PeakShape shape) {
    shapeItems_[static_cast<size_t>(shape)]->setChecked(true);
}

void MainWindow::showHistory(const std::string& undo, const std::string& redo) {
    const auto name = [](QAction* item, const char* verb, const std::string& step) {
        item->setText(step.empty() ? QString::fromUtf8(verb)
                                   : QString::fromUtf8(verb) + ' ' + QString::fromStdString(step));
        item->setEnabled(!step.empty());
    };
    name(undoItem_, "Undo", undo);
    name(redoItem_, "Redo", redo);
}

int MainWindow::barHeight() const {
    return menuBar_->sizeHint().height();
}

void MainWindow::setControlHeight(Control c, int twips) {
    twips_[static_cast<size_t>(c)].setHeight(std::max(0, twips));
    place(c);
}

// Edges, not sizes, are scaled and rounded, so controls that meet in the
// table still meet at every size; at the start size every edge lies on the
// pixel the table gives.
void MainWindow::place(Control c) {
    const QRect& t = twips_[static_cast<size_t>(c)];
    const double fx = static_cast<double>(client_->width()) / startSize().width();
    const double fy = static_cast<double>(client_->height()) / startSize().height();
    auto pixels = [](int twips, double factor) {
        return static_cast<int>(std::lround(twips * factor / kTwipsPerPixel));
    };
    const int left = pixels(t.left(), fx), top = pixels(t.top(), fy);
    control(c)->setGeometry(left, top, pixels(t.left() + t.width(), fx) - left,
                            pixels(t.top() + t.height(), fy) - top);
}

void MainWindow::scaleFonts() {
    const double scale = std::min(static_cast<double>(client_->width()) / startSize().width(),
                                  static_cast<double>(client_->height()) / startSize().height());
    if (scale == fontScale_) return;
    fontScale_ = scale;
    for (size_t i = 0; i < controls_.size(); ++i) {
        QFont font = fonts_[i];
        if (font.pointSizeF() > 0) {
            font.setPointSizeF(font.pointSizeF() * scale);
        } else if (font.pixelSize() > 0) {
            font.setPixelSize(std::max(1, static_cast<int>(std::lround(font.pixelSize() * scale))));
        }
        controls_[i]->setFont(font);
    }
}

void MainWindow::resizeEvent(QResizeEvent* event) {
    const int bar = barHeight();
    menuBar_->setGeometry(0, 0, width(), bar);
    client_->setGeometry(0, bar, width(), height() - bar);
    for (const ControlLayout& layout : kControls) place(layout.control);
    scaleFonts();
    QWidget::resizeEvent(event);
}

void MainWindow::closeEvent(QCloseEvent* event) {
    event->accept();
    QtToolkit::endProcess();
}

}  // namespace peakfold
