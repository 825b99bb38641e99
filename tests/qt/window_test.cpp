// The real window, offscreen: layout, start-up texts, the drawing surface and
// its mouse-ups, the controls' events, the help screen and the dialogs.
#include <QApplication>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QToolTip>
#include <QtTest>
#include <functional>
#include <map>
#include <memory>
#include <vector>

#include "ui/dispatch.h"
#include "ui/main_window.h"
#include "ui/qt/qt_toolkit.h"
#include "ui/qt/qt_widgets.h"

using namespace peakfold;

namespace {

constexpr QRgb kBlack = 0xFF000000;
constexpr QRgb kDarkGrey = 0xFF808080;

QRgb paletteRgb(int colour) {
    return 0xFF000000 | kPalette[static_cast<size_t>(colour)];
}

// Runs answer on the next modal dialog as soon as it is open.
template <typename Dialog>
void whenModalOpens(std::function<void(Dialog*)> answer) {
    auto* poll = new QTimer;
    QObject::connect(poll, &QTimer::timeout, [poll, answer] {
        if (auto* dialog = qobject_cast<Dialog*>(QApplication::activeModalWidget())) {
            poll->stop();
            poll->deleteLater();
            answer(dialog);
        }
    });
    poll->start(10);
}

}  // namespace

class WindowTest : public QObject {
    Q_OBJECT

    std::unique_ptr<QtApp> app;
    std::vector<Event> events;  // every event the window delivered
    bool dispatching = true;    // false: record the events only

    GraphSurface& graph() { return *static_cast<GraphSurface*>(app->ui.widget(Control::Graph)); }
    QImage graphPicture() { return app->ui.widget(Control::Graph)->grab().toImage(); }
    // Widget position of the pixel where a plot point is drawn.
    QPoint graphPixel(double x, double y) {
        const QPointF p = graph().pixelOf(x, y);
        return graph().contentsRect().topLeft() +
               QPoint(static_cast<int>(std::floor(p.x())), static_cast<int>(std::floor(p.y())));
    }

    // Every item of the menus by its menu's title and its text, "&Baseline/&Linear".
    std::map<QString, QAction*> menuItems() const {
        std::map<QString, QAction*> items;
        for (QMenu* menu : app->ui.window()->findChildren<QMenu*>()) {
            for (QAction* a : menu->actions()) items[menu->title() + "/" + a->text()] = a;
        }
        return items;
    }

  private slots:
    void init() {
        events.clear();
        dispatching = true;
        app = std::make_unique<QtApp>();
        app->ui.setEventSink([this](const Event& e) {
            events.push_back(e);
            if (dispatching) Dispatch(app->s, app->ui, e);
        });
        app->start();
        QVERIFY(QTest::qWaitForWindowExposed(app->ui.window()));
    }
    void cleanup() { app.reset(); }

    int barHeight() const { return app->ui.window()->height() - app->ui.client()->height(); }
    void resizeClient(QSize size) {
        app->ui.window()->resize(size + QSize(0, barHeight()));
        QTRY_COMPARE(app->ui.client()->size(), size);
    }

    void controlsSitAtTheirPlacesInPixels() {
        // The menu bar lies above the client area and the window grows by it.
        QCOMPARE(app->ui.client()->size(), QSize(753, 400));
        QCOMPARE(app->ui.window()->size(), QSize(753, 400 + barHeight()));
        QCOMPARE(app->ui.client()->geometry().top(), barHeight());
        for (const ControlLayout& layout : kControls) {
            const QWidget* w = app->ui.widget(layout.control);
            QCOMPARE(w->objectName(), QString::fromUtf8(layout.name.data(), layout.name.size()));
            const QRect expected(layout.left / 15, layout.top / 15, layout.width / 15, layout.height / 15);
            QCOMPARE(w->geometry(), expected);
        }
        QCOMPARE(app->ui.widget(Control::Graph)->geometry(), QRect(8, 8, 737, 257));
        QCOMPARE(graph().contentsRect().size(), QSize(733, 253));  // inside the two-pixel border
    }

    // "Fit Quality" shows whole beside its box at the start size and when
    // the window grows in either direction or both.
    void fitQualityIsReadableAtEverySize() {
        QWidget* window = app->ui.window();
        const QSize start = window->size();
        const auto* label = static_cast<QLabel*>(app->ui.widget(Control::Label1));
        for (const QSize size : {start, QSize(start.width() * 3 / 2, start.height()),
                                 QSize(start.width(), start.height() * 2), start * 2}) {
            window->resize(size);
            QTRY_COMPARE(window->size(), size);
            const QRect inside = label->contentsRect();
            const QRect needed = label->fontMetrics().boundingRect(
                inside, Qt::TextWordWrap | static_cast<int>(label->alignment()), label->text());
            QVERIFY2(inside.contains(needed),
                     qPrintable(QString("at %1 x %2").arg(size.width()).arg(size.height())));
            QVERIFY(!label->geometry().intersects(app->ui.widget(Control::Quality)->geometry()));
        }
    }

    void startUpShowsTheCaptionAndInitialTexts() {
        QCOMPARE(app->ui.window()->windowTitle(), QString("Form1"));
        QVERIFY(!app->ui.window()->windowIcon().pixmap(48, 48).isNull());  // built in
        const struct {
            Control control;
            const char* text;
        } cases[] = {
            {Control::Quality, "10"},         {Control::CalculateNbr, "3"},
            {Control::PeakNbr, "Peak 1"},     {Control::PlotAll, "Plot All"},
            {Control::TryNbr, "Label1"},      {Control::Help, "Text1"},
            {Control::Label1, "Fit Quality"}, {Control::GetFile, "Get File"},
            {Control::exitprogram, "Exit"},   {Control::wl, "Xo"},
        };
        for (const auto& c : cases) QCOMPARE(app->ui.text(c.control), std::string(c.text));
        QCOMPARE(app->ui.listCount(Control::List), 0);
        QCOMPARE(app->ui.listCount(Control::HelpList), 58);
        QVERIFY(!app->ui.widget(Control::HelpList)->isVisible());
        for (int i = 0; i <= 3; ++i) {
            QCOMPARE(app->s.PeakX[i], 100.0);
            QCOMPARE(app->s.PeakW[i], 1);
        }
    }

    void legendSquaresShowTheCurveColours() {
        for (int n = 1; n <= 6; ++n) {
            const Control square = static_cast<Control>(static_cast<int>(Control::Shape1) + n - 1);
            const QImage image = app->ui.widget(square)->grab().toImage();
            QCOMPARE(image.pixel(8, 8), paletteRgb(n + 8));
            QCOMPARE(image.pixel(0, 0), kBlack);  // the outline
        }
    }

    void frameShowsDarkGreyOnBlack() {
        const QImage image = graphPicture();
        const struct {
            double x, y;
            QRgb colour;
        } cases[] = {
            {200, 50, kDarkGrey},   // left edge of the box
            {1000, 50, kDarkGrey},  // right edge
            {500, 104, kDarkGrey},  // a major grid line above the box
            {650, 0, kDarkGrey},    // bottom edge
            {250, 50, kBlack},      // inside, between grid lines
            {195, 50, kBlack},      // margin left of the box
        };
        for (const auto& c : cases) {
            const QPoint at = graphPixel(c.x, c.y);
            QCOMPARE(QString::number(image.pixel(at), 16), QString::number(c.colour, 16));
        }
    }

    void drawingCallsLandOnTheirPixels() {
        app->ui.graphClear();
        app->ui.graphLine(300, 20, 400, 20, LineStyle::Line, 10);
        app->ui.graphLine(600, 10, 700, 40, LineStyle::FilledBox, 12);
        app->ui.graphLine(800, 10, 900, 40, LineStyle::Box, 14);
        app->ui.graphPoint(500, 50, 11);
        app->ui.graphLine(250, 80, 260, 80, LineStyle::Line, kDefaultColour);
        app->ui.graphLine(270, 80, 280, 80, LineStyle::Line, 99);  // no such colour: default
        // A vertical line with far-away ends still shows where it crosses.
        app->ui.graphLine(950, -1e30f, 950, 1e30f, LineStyle::Line, 13);
        app->ui.graphLine(720, -1e30f, 760, 1e30f, LineStyle::Line, 9);  // shows at 740
        app->ui.graphLine(960, NAN, 970, 50, LineStyle::Line, 13);       // nothing, and no fault
        const QImage image = graphPicture();
        const struct {
            double x, y;
            QRgb colour;
        } cases[] = {
            {300, 20, paletteRgb(10)},  {350, 20, paletteRgb(10)}, {400, 20, paletteRgb(10)},
            {350, 25, kBlack},          {650, 25, paletteRgb(12)}, {600, 10, paletteRgb(12)},
            {800, 25, paletteRgb(14)},  {850, 40, paletteRgb(14)}, {850, 25, kBlack},
            {500, 50, paletteRgb(11)},  {255, 80, kBlack},         {275, 80, kBlack},
            {950, 105, paletteRgb(13)}, {950, -9, paletteRgb(13)}, {965, 50, kBlack},
            {740, 60, paletteRgb(9)},   {740, -5, paletteRgb(9)},
        };
        for (const auto& c : cases) {
            const QPoint at = graphPixel(c.x, c.y);
            QCOMPARE(QString::number(image.pixel(at), 16), QString::number(c.colour, 16));
        }
        app->ui.graphClear();
        QCOMPARE(graphPicture().pixel(graphPixel(650, 25)), kBlack);
    }

    void graphMouseUpReportsPlotPositionButtonAndMask() {
        dispatching = false;
        const struct {
            Qt::MouseButton button;
            Qt::KeyboardModifiers modifiers;
            int code, mask;
        } cases[] = {
            {Qt::LeftButton, Qt::NoModifier, 1, 0},
            {Qt::RightButton, Qt::ShiftModifier, 2, 1},
            {Qt::MiddleButton, Qt::ControlModifier | Qt::AltModifier, 4, 6},
            {Qt::LeftButton, Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier, 1, 7},
        };
        QWidget* surface = app->ui.widget(Control::Graph);
        const QPoint at = graphPixel(500, 50);
        for (const auto& c : cases) {
            events.clear();
            QTest::mousePress(surface, c.button, c.modifiers, at);
            QTest::mouseRelease(surface, c.button, c.modifiers, at);
            QCOMPARE(events.size(), size_t(1));
            const Event& e = events[0];
            QVERIFY(e.control == Control::Graph && e.kind == Event::Kind::MouseUp);
            QCOMPARE(e.button, c.code);
            QCOMPARE(e.shift, c.mask);
            // Within one pixel: 820 / 733 units across, 120 / 253 up.
            QVERIFY2(std::abs(e.x - 500) < 1.12 && std::abs(e.y - 50) < 0.48,
                     qPrintable(QString("at %1, %2").arg(e.x).arg(e.y)));
        }
        // The plot's corners: the first pixel is at the left and top edge.
        events.clear();
        const QPoint corner = graph().contentsRect().topLeft();
        QTest::mouseClick(surface, Qt::LeftButton, Qt::NoModifier, corner);
        QVERIFY(events.at(0).x > 190 && events[0].x < 191.2);
        QVERIFY(events[0].y < 110 && events[0].y > 109.5);
    }

    void tuningButtonsDeliverMouseUpsWithTheKeyMask() {
        dispatching = false;
        const struct {
            Control control;
            Qt::MouseButton button;
            Qt::KeyboardModifiers modifiers;
            int code, mask;
        } cases[] = {
            {Control::Io, Qt::LeftButton, Qt::NoModifier, 1, 0},
            {Control::wl, Qt::RightButton, Qt::ShiftModifier, 2, 1},
            {Control::PulseWidth, Qt::MiddleButton, Qt::ControlModifier, 4, 2},
            {Control::Io, Qt::RightButton, Qt::ShiftModifier | Qt::AltModifier, 2, 5},
        };
        for (const auto& c : cases) {
            events.clear();
            QTest::mouseClick(app->ui.widget(c.control), c.button, c.modifiers);
            QCOMPARE(events.size(), size_t(1));
            QVERIFY(events[0].control == c.control && events[0].kind == Event::Kind::MouseUp);
            QCOMPARE(events[0].button, c.code);
            QCOMPARE(events[0].shift, c.mask);
        }
        // The other buttons deliver clicks, of the left button only.
        events.clear();
        QTest::mouseClick(app->ui.widget(Control::PlotAll), Qt::RightButton);
        QTest::mouseClick(app->ui.widget(Control::PlotAll), Qt::LeftButton);
        QCOMPARE(events.size(), size_t(1));
        QVERIFY(events[0].control == Control::PlotAll && events[0].kind == Event::Kind::Click);
    }

    void settingsLineDeliversKeyPressesAndKeepsTyping() {
        dispatching = false;
        auto* help = static_cast<QLineEdit*>(app->ui.widget(Control::Help));
        help->setFocus();
        help->setText("");
        QTest::keyClicks(help, "a7");
        QTest::keyClick(help, Qt::Key_Return);
        QTest::keyClick(help, Qt::Key_Enter);
        QTest::keyClick(help, Qt::Key_Left);  // no character: no key press
        std::vector<int> keys;
        for (const Event& e : events) {
            QVERIFY(e.control == Control::Help && e.kind == Event::Kind::KeyPress);
            keys.push_back(e.key);
        }
        QCOMPARE(keys, (std::vector<int>{'a', '7', 13, 13}));
        QCOMPARE(help->text(), QString("a7"));
    }

    // A user click raises the list's click once, also on the selected line;
    // a selection in code raises it too, also when the index stays.
    void listClickIsRaisedOncePerClickAndPerSelectionInCode() {
        dispatching = false;
        for (const char* line : {"one", "two", "three"}) app->ui.listAppend(Control::List, line);
        auto* list = static_cast<QListWidget*>(app->ui.widget(Control::List));
        auto lineAt = [&](int row) { return list->visualItemRect(list->item(row)).center(); };
        std::vector<int> seenIndex;  // the selected index as each click arrived
        app->ui.setEventSink([&](const Event& e) {
            if (e.control == Control::List && e.kind == Event::Kind::Click)
                seenIndex.push_back(app->ui.listIndex(Control::List));
        });
        const struct {
            const char* step;
            std::function<void()> act;
            std::vector<int> clicks;  // indices seen by the clicks raised so far
            int index;
        } steps[] = {
            {"click line 2",
             [&] { QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, lineAt(1)); },
             {1},
             1},
            {"click it again",
             [&] { QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, lineAt(1)); },
             {1, 1},
             1},
            {"set in code, same index",
             [&] { app->ui.setListIndex(Control::List, 1); },
             {1, 1, 1},
             1},
            {"set in code", [&] { app->ui.setListIndex(Control::List, 2); }, {1, 1, 1, 2}, 2},
            {"Down on the last line",
             [&] { QTest::keyClick(list, Qt::Key_Down); },
             {1, 1, 1, 2},
             2},
            {"Up", [&] { QTest::keyClick(list, Qt::Key_Up); }, {1, 1, 1, 2, 1}, 1},
            {"right click on line 1",
             [&] { QTest::mouseClick(list->viewport(), Qt::RightButton, {}, lineAt(0)); },
             {1, 1, 1, 2, 1},
             1},
            {"Ctrl-click keeps the line",
             [&] {
                 QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::ControlModifier,
                                   lineAt(1));
             },
             {1, 1, 1, 2, 1, 1},
             1},
            {"beyond the lines",
             [&] { app->ui.setListIndex(Control::List, 3); },
             {1, 1, 1, 2, 1, 1},
             1},
            {"none", [&] { app->ui.setListIndex(Control::List, -1); }, {1, 1, 1, 2, 1, 1}, -1},
        };
        for (const auto& step : steps) {
            step.act();
            QVERIFY2(seenIndex == step.clicks, step.step);
            QVERIFY2(app->ui.listIndex(Control::List) == step.index, step.step);
        }
        app->ui.setListIndex(Control::List, 0);
        QCOMPARE(app->ui.listSelectedText(Control::List), std::string("one"));
        app->ui.setListLine(Control::List, 0, "uno");
        QCOMPARE(app->ui.listSelectedText(Control::List), std::string("uno"));
        app->ui.listClear(Control::List);
        QCOMPARE(app->ui.listIndex(Control::List), -1);
        QCOMPARE(app->ui.listSelectedText(Control::List), std::string());
    }

    // Every item of the menu bar, by its shortcut where it has one, raises
    // its menu event; the buttons it stands for are unchanged.
    void menuItemsRaiseTheirEventsByTheirShortcuts() {
        dispatching = false;
        const struct {
            QKeySequence keys;
            MenuItem item;
        } cases[] = {
            {Qt::CTRL | Qt::Key_O, MenuItem::Open},       {Qt::CTRL | Qt::Key_S, MenuItem::Save},
            {Qt::CTRL | Qt::Key_E, MenuItem::ExportFigure}, {Qt::CTRL | Qt::Key_Q, MenuItem::Quit},
            {Qt::Key_F5, MenuItem::Calculate},            {Qt::Key_Escape, MenuItem::Cancel},
            {Qt::CTRL | Qt::Key_R, MenuItem::Refine},     {Qt::CTRL | Qt::Key_I, MenuItem::Report},
            {Qt::Key_F1, MenuItem::Help},
        };
        QStringList menus;
        for (QAction* menu : static_cast<MainWindow*>(app->ui.window())->menuBar()->actions())
            menus << menu->text();
        QCOMPARE(menus, QStringList({"&File", "&Edit", "F&it", "&Help"}));
        app->ui.widget(Control::Help)->setFocus();
        for (const auto& c : cases) {
            events.clear();
            QTest::keySequence(app->ui.window(), c.keys);
            QCOMPARE(events.size(), size_t(1));
            QCOMPARE(events[0].kind, Event::Kind::Menu);
            QCOMPARE(events[0].item, c.item);
        }
    }

    // Fit > Baseline and Fit > Weights: each item raises its event, and the
    // check follows what the program kept, also when it refused a choice.
    void fitChoicesCheckWhatTheProgramKept() {
        const auto items = menuItems();
        const auto checked = [&](const QString& menu) {
            QStringList on;
            for (const auto& [name, a] : items) {
                if (name.startsWith(menu) && a->isChecked()) on << name;
            }
            return on.join(',');
        };
        QCOMPARE(checked("&Baseline/") + " " + checked("&Weights/"),
                 QString("&Baseline/&None &Weights/&None"));
        whenModalOpens<QInputDialog>([](QInputDialog* box) { box->accept(); });
        QTest::mouseClick(app->ui.widget(Control::GetFile), Qt::LeftButton);  // test spectrum
        const struct {
            const char* item;
            MenuItem raised;
            bool refused;  // with a message box
            const char* checked;
        } cases[] = {
            {"&Baseline/&Linear", MenuItem::BaselineLinear, false, "&Baseline/&Linear"},
            {"&Baseline/&Exponential", MenuItem::BaselineExponential, false,
             "&Baseline/&Exponential"},
            {"&Weights/&From the file", MenuItem::WeightsColumn, true, "&Weights/&None"},
            {"&Weights/&Counting statistics", MenuItem::WeightsCounts, false,
             "&Weights/&Counting statistics"},
            {"&Baseline/&None", MenuItem::BaselineNone, false, "&Baseline/&None"},
            {"&Weights/&None", MenuItem::WeightsNone, false, "&Weights/&None"},
        };
        for (const auto& c : cases) {
            bool asked = false;
            if (c.refused) {
                whenModalOpens<QMessageBox>([&asked](QMessageBox* box) {
                    asked = true;
                    box->accept();
                });
            }
            events.clear();
            QVERIFY2(items.count(c.item), c.item);
            items.at(c.item)->trigger();
            QCOMPARE(events.size(), size_t(1));
            QCOMPARE(events[0].item, c.raised);
            QCOMPARE(asked, c.refused);
            QCOMPARE(checked(QString(c.item).section('/', 0, 0)), QString(c.checked));
        }
        app->ui.raise({Control::Graph, Event::Kind::Menu, 0, 0, 0, 0, 0, MenuItem::BaselineLinear});
        QCOMPARE(app->s.FitBaseline.kind, BaselineKind::Linear);
    }

    // Fit > Peak Shape sets every equation's shape and checks it; Shape of
    // Selected Equation, with no line selected, says so in a message box.
    void peakShapeItemsSetTheShapesOfTheEquations() {
        const auto items = menuItems();
        const QString shape = "Peak &Shape/", selected = "Shape of Selected &Equation/";
        for (const char* name : {"&Gaussian", "&Lorentzian", "&Pseudo-Voigt"})
            QVERIFY2(items.count(shape + name) && items.count(selected + name), name);
        QVERIFY(items.at(shape + "&Gaussian")->isChecked());
        whenModalOpens<QInputDialog>([](QInputDialog* box) { box->accept(); });
        QTest::mouseClick(app->ui.widget(Control::GetFile), Qt::LeftButton);  // test spectrum
        for (float x : {715.0f, 780.0f, 830.0f})
            app->ui.raise({Control::Graph, Event::Kind::MouseUp, 1, 0, x, 50});
        app->ui.setText(Control::Quality, "1");
        app->ui.raise({Control::Graph, Event::Kind::Menu, 0, 0, 0, 0, 0, MenuItem::Calculate});
        const auto lines = [&] {
            QStringList all;
            for (int i = 0; i < app->ui.listCount(Control::List); ++i)
                all << QString::fromStdString(app->ui.listLine(Control::List, i));
            return all.join('\n');
        };
        items.at(shape + "&Pseudo-Voigt")->trigger();
        QCOMPARE(lines().count(QRegularExpression(R"(^ \d: Y= [ .\d]+pV\( \.5,\(x-)",
                                                  QRegularExpression::MultilineOption)),
                 3);
        // A choice that reaches the program other than through the item
        // (a click sequence, undo) checks its item too.
        app->ui.raise(
            {Control::Graph, Event::Kind::Menu, 0, 0, 0, 0, 0, MenuItem::ShapeLorentzian});
        QVERIFY(items.at(shape + "&Lorentzian")->isChecked());

        app->ui.selectQuietly(Control::List, -1);  // Calculate left its last line selected
        const QString before = lines();
        bool asked = false;
        whenModalOpens<QMessageBox>([&asked](QMessageBox* box) { asked = box->close(); });
        events.clear();
        items.at(selected + "&Lorentzian")->trigger();
        QVERIFY(asked);
        QCOMPARE(events.at(0).item, MenuItem::SelectedLorentzian);
        QCOMPARE(lines(), before);
    }

    // Edit > Undo and Redo name their steps, are disabled with none, and
    // their shortcuts put back the list and the plot as they were.
    void undoAndRedoNameTheirStepsAndPutThemBack() {
        peakfold::connect(app->s, app->ui);  // the program's own routing, with its history
        QMenu* edit = static_cast<MainWindow*>(app->ui.window())->menuBar()->actions()[1]->menu();
        QAction* undo = edit->actions()[0];
        QAction* redo = edit->actions()[1];
        const auto shows = [&](const QString& undoText, const QString& redoText) {
            return undo->text() == undoText && undo->isEnabled() == (undoText != "Undo") &&
                   redo->text() == redoText && redo->isEnabled() == (redoText != "Redo");
        };
        QVERIFY(shows("Undo", "Redo"));
        whenModalOpens<QInputDialog>([](QInputDialog* box) { box->accept(); });
        QTest::mouseClick(app->ui.widget(Control::GetFile), Qt::LeftButton);  // test spectrum
        auto* quality = static_cast<QLineEdit*>(app->ui.widget(Control::Quality));
        quality->selectAll();
        QTest::keyClicks(quality, "1");
        QTest::keyClick(quality, Qt::Key_Return);  // a finished edit is a step
        QVERIFY(shows("Undo Fit Quality", "Redo"));
        for (float x : {715.0f, 780.0f, 830.0f}) {
            app->ui.raise({Control::Graph, Event::Kind::MouseUp, 1, 0, x, 50});
        }
        const auto lines = [&] {
            QStringList all;
            for (int i = 0; i < app->ui.listCount(Control::List); ++i)
                all << QString::fromStdString(app->ui.listLine(Control::List, i));
            return all;
        };
        const QStringList linesBefore = lines();
        const std::vector<PlotCall> plotBefore = app->ui.plotCalls();
        QTest::mouseClick(app->ui.widget(Control::Calculate), Qt::LeftButton);
        const QStringList linesAfter = lines();
        const std::vector<PlotCall> plotAfter = app->ui.plotCalls();
        QCOMPARE(linesAfter.size(), 3);
        QVERIFY(shows("Undo Calculate", "Redo"));

        // Offscreen no window is active once a dialog has closed, and
        // shortcuts act in the active window only.
        app->ui.window()->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(app->ui.window()));
        app->ui.widget(Control::List)->setFocus();
        for (const QKeySequence& redoKeys :
             {QKeySequence(Qt::CTRL | Qt::Key_Y), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z)}) {
            QTest::keySequence(app->ui.window(), QKeySequence(Qt::CTRL | Qt::Key_Z));
            QVERIFY(shows("Undo Pick", "Redo Calculate"));
            QCOMPARE(lines(), linesBefore);
            QVERIFY(app->ui.plotCalls() == plotBefore);
            QTest::keySequence(app->ui.window(), redoKeys);
            QVERIFY(shows("Undo Calculate", "Redo"));
            QCOMPARE(lines(), linesAfter);
            QVERIFY(app->ui.plotCalls() == plotAfter);
        }
    }

    void helpListCoversTheWindowAndHidesOnAClick() {
        QTest::mouseClick(app->ui.widget(Control::HelpCommand), Qt::LeftButton);
        QWidget* help = app->ui.widget(Control::HelpList);
        QVERIFY(help->isVisible());
        QCOMPARE(help->geometry(), QRect(8, 0, 737, 403));
        // On top of the graph, the equation list and the buttons.
        for (Control below : {Control::Graph, Control::List, Control::GetFile, Control::Help}) {
            const QPoint centre = app->ui.widget(below)->geometry().center();
            QWidget* top = app->ui.client()->childAt(centre);
            QVERIFY(top == help || help->isAncestorOf(top));
        }
        auto* list = static_cast<QListWidget*>(help);
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                          list->visualItemRect(list->item(3)).center());  // an empty line
        QVERIFY(!help->isVisible());
        QCOMPARE(help->height(), 403);
    }

    void pictureSurvivesTheHelpScreen() {
        app->ui.graphLine(400, 20, 600, 80, LineStyle::FilledBox, 12);
        const QImage before = graphPicture();
        QTest::mouseClick(app->ui.widget(Control::HelpCommand), Qt::LeftButton);
        QVERIFY(app->ui.widget(Control::HelpList)->isVisible());
        QTest::qWait(20);
        app->ui.setListIndex(Control::HelpList, 10);  // hides it, as a click does
        QVERIFY(!app->ui.widget(Control::HelpList)->isVisible());
        QCOMPARE(graphPicture(), before);
        QCOMPARE(before.pixel(graphPixel(500, 50)), paletteRgb(12));
    }

    // Drawing asks for its own repaint: the next turn of the event pump
    // shows it, and many points make one repaint of the area they cover.
    void drawingShowsAtTheNextPump() {
        QTest::qWait(20);  // the start-up picture is on screen
        std::vector<QRect> painted;
        struct Recorder : QObject {
            std::vector<QRect>& painted;
            explicit Recorder(std::vector<QRect>& p) : painted(p) {}
            bool eventFilter(QObject*, QEvent* e) override {
                if (e->type() == QEvent::Paint)
                    painted.push_back(static_cast<QPaintEvent*>(e)->rect());
                return false;
            }
        } recorder(painted);
        QWidget* surface = app->ui.widget(Control::Graph);
        surface->installEventFilter(&recorder);
        for (int i = 0; i < 1000; ++i) app->ui.graphPoint(400 + i * 0.2f, -7, 12);
        QVERIFY(painted.empty());
        app->ui.pumpEvents();
        QCOMPARE(painted.size(), size_t(1));
        const QRect covered = QRect(graphPixel(400, -7), graphPixel(599.8, -7));
        QCOMPARE(painted[0], covered);
        surface->removeEventFilter(&recorder);
        QCOMPARE(graphPicture().pixel(graphPixel(500, -7)), paletteRgb(12));
    }

    // A button pressed on the plot and released beyond its edge reports
    // where it was released, outside the plot's range; the picking handler
    // copes with it.
    void releaseBeyondThePlotReportsThePositionThere() {
        QWidget* surface = app->ui.widget(Control::Graph);
        QTest::mousePress(surface, Qt::LeftButton, {}, graphPixel(500, 50));
        QTest::mouseRelease(surface, Qt::LeftButton, {}, QPoint(-30, 300));
        QCOMPARE(events.size(), size_t(1));
        QVERIFY(events[0].x < 190 && events[0].y < -10);
    }

    void labelRepaintsAtOnce() {
        int paints = 0;
        QWidget* label = app->ui.widget(Control::TryNbr);
        struct Counter : QObject {
            int& paints;
            explicit Counter(int& p) : paints(p) {}
            bool eventFilter(QObject*, QEvent* e) override {
                if (e->type() == QEvent::Paint) ++paints;
                return false;
            }
        } counter(paints);
        label->installEventFilter(&counter);
        app->ui.setText(Control::TryNbr, " 7: 12");
        app->ui.repaintNow(Control::TryNbr);  // no event pump in between
        QVERIFY(paints >= 1);
        QCOMPARE(static_cast<QLabel*>(label)->text(), QString(" 7: 12"));
        label->removeEventFilter(&counter);
    }

    void inputBoxGivesTheTypedTextOrEmptyOnCancel() {
        QString shownPrompt, shownTitle;
        whenModalOpens<QInputDialog>([&](QInputDialog* box) {
            shownPrompt = box->labelText();
            shownTitle = box->windowTitle();
            box->setTextValue("cdse_quantum_dot_pl");
            box->accept();
        });
        QCOMPARE(app->ui.inputBox("Enter just the file name"), std::string("cdse_quantum_dot_pl"));
        QCOMPARE(shownPrompt, QString("Enter just the file name"));
        QCOMPARE(shownTitle, QString());
        whenModalOpens<QInputDialog>([](QInputDialog* box) {
            box->setTextValue("typed, then cancelled");
            box->reject();
        });
        QCOMPARE(app->ui.inputBox("Name?"), std::string());
    }

    void messageBoxShowsTheTextWithOnlyOk() {
        QString shown, title;
        QMessageBox::StandardButtons buttons;
        whenModalOpens<QMessageBox>([&](QMessageBox* box) {
            shown = box->text();
            title = box->windowTitle();
            buttons = box->standardButtons();
            box->button(QMessageBox::Ok)->click();
        });
        app->ui.messageBox("File not found");
        QCOMPARE(shown, QString("File not found"));
        QCOMPARE(title, QString());
        QCOMPARE(buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    }

    // Switching to another window and back does not run the activation
    // step again: the help lines stay there once.
    void switchingWindowsDoesNotActivateAgain() {
        QWidget other;
        other.resize(100, 100);
        other.show();
        other.activateWindow();
        QTest::qWait(20);
        app->ui.window()->activateWindow();
        QTest::qWait(20);
        QCOMPARE(app->ui.listCount(Control::HelpList), 58);
    }

    // Twice the start size: the table scaled, the plot drawn again at the
    // new size with one-pixel lines, picks mapped through the new scale,
    // and back at the start size every pixel as before.
    void growingScalesTheLayoutAndDrawsThePlotAgain() {
        app->ui.graphLine(300, 20, 400, 20, LineStyle::Line, 10);
        app->ui.graphLine(600, 10, 700, 40, LineStyle::FilledBox, 12);
        app->ui.graphPoint(550, 50, 11);
        QTest::qWait(20);
        const QImage atStart = graphPicture();
        std::vector<QRect> startGeometry;
        for (const ControlLayout& layout : kControls)
            startGeometry.push_back(app->ui.widget(layout.control)->geometry());
        const double startFont = app->ui.widget(Control::List)->font().pointSizeF();

        QWidget* window = app->ui.window();
        resizeClient(QSize(1506, 800));
        for (size_t i = 0; i < kControls.size(); ++i) {
            const QRect& g = startGeometry[i];
            QCOMPARE(app->ui.widget(kControls[i].control)->geometry(),
                     QRect(2 * g.x(), 2 * g.y(), 2 * g.width(), 2 * g.height()));
        }
        QCOMPARE(app->ui.widget(Control::List)->font().pointSizeF(), 2 * startFont);

        // The grid line at 500 nm, one pixel wide at the scaled column.
        const QImage image = graphPicture();
        const QRect inner = graph().contentsRect();
        const int column = inner.left() + static_cast<int>((500 - 190) * inner.width() / 820.0);
        const int row = inner.top() + inner.height() / 2;
        QCOMPARE(image.pixel(column, row), kDarkGrey);
        QCOMPARE(image.pixel(column - 1, row), kBlack);
        QCOMPARE(image.pixel(column + 1, row), kBlack);
        // What was drawn before is there at the new size.
        QCOMPARE(image.pixel(graphPixel(350, 20)), paletteRgb(10));
        QCOMPARE(image.pixel(graphPixel(650, 25)), paletteRgb(12));
        QCOMPARE(image.pixel(graphPixel(550, 50)), paletteRgb(11));

        dispatching = false;
        QTest::mouseClick(&graph(), Qt::LeftButton, {}, graphPixel(500, 50));
        QCOMPARE(events.size(), size_t(1));
        QVERIFY2(std::abs(events[0].x - 500) <= 0.5 * 820 / inner.width() &&
                     std::abs(events[0].y - 50) <= 0.5 * 120 / inner.height(),
                 qPrintable(QString("at %1, %2").arg(events[0].x).arg(events[0].y)));

        window->resize(400, 300);  // below the start size: held there
        QTRY_COMPARE(app->ui.client()->size(), QSize(753, 400));
        QCOMPARE(app->ui.widget(Control::List)->font().pointSizeF(), startFont);
        QCOMPARE(graphPicture(), atStart);
    }

    // More calls than the surface keeps one by one, then a call repeated
    // and a point set again on the same place: each size shows what the
    // last call at a place drew.
    void drawingAgainKeepsTheOrderOfRepeatedAndManyCalls() {
        for (int i = 0; i < 100000; ++i) {  // a solid block, point by point
            app->ui.graphPoint(600 + (i % 400) * 0.05f, 20 + (i / 400) * 0.1f, 13);
        }
        app->ui.graphPoint(500, -7, 12);
        app->ui.graphLine(490, -7, 510, -7, LineStyle::Line, 10);
        app->ui.graphPoint(500, -7, 14);  // on top: 14
        app->ui.graphLine(300, -5, 400, -5, LineStyle::Line, 9);
        app->ui.graphPoint(350, -5, 12);
        app->ui.graphLine(300, -5, 400, -5, LineStyle::Line, 9);  // again on top: 9
        app->ui.graphLine(800, 30, 900, 30, LineStyle::Line, 11);
        const struct {
            double x, y;
            QRgb colour;
        } cases[] = {
            {500, -7, paletteRgb(14)}, {350, -5, paletteRgb(9)}, {610, 30, paletteRgb(13)},
            {850, 30, paletteRgb(11)}, {850, 31, kBlack},
        };
        for (QSize size : {QSize(1506, 800), QSize(900, 1000), QSize(753, 400)}) {
            resizeClient(size);
            const QImage image = graphPicture();
            for (const auto& c : cases) {
                const QString where = QString("%1, %2 at %3 x %4").arg(c.x).arg(c.y);
                QVERIFY2(image.pixel(graphPixel(c.x, c.y)) == c.colour,
                         qPrintable(where.arg(size.width()).arg(size.height())));
            }
        }
    }

    // The tooltip names the wavelength a left click at the pointer stores,
    // and the spectrum's value there inside the loaded data; moving the
    // pointer runs no handler.
    void pointerShowsTheWavelengthAClickStoresAndTheValue() {
        for (int w = 300; w <= 900; ++w) app->s.Spectrum[w] = w / 10.0;
        app->ui.setText(Control::PeakNbr, "Range");  // clicks set PeakX(0) and nothing advances
        const double positions[] = {195, 299.6, 300.2, 612.5, 749.9, 900.4, 1005};
        for (double x : positions) {
            const QPoint at = graphPixel(x, 50);
            const QString text = graph().pointerTextAt(at);
            events.clear();
            QTest::mouseMove(&graph(), at);
            QVERIFY(events.empty());
            QCOMPARE(QToolTip::text(), text);
            QTest::mouseClick(&graph(), Qt::LeftButton, {}, at);
            const int nm = static_cast<int>(app->s.PeakX[0]);
            const QString expected = nm >= 300 && nm <= 900
                                         ? QString("%1 nm, %2").arg(nm).arg(nm / 10.0)
                                         : QString("%1 nm").arg(nm);
            QCOMPARE(text, expected);
        }
        QCOMPARE(graph().pointerTextAt(QPointF(0.5, 0.5)), QString());  // on the border
        QCOMPARE(app->ui.text(Control::PeakNbr), std::string("Range"));
    }

    void screenshotOfTheStartedWindow() {
        const QString path = QString(PEAKFOLD_BUILD_DIR) + "/peakfold-window.png";
        QVERIFY(app->ui.window()->grab().save(path));
    }
};

QTEST_MAIN(WindowTest)
#include "window_test.moc"
