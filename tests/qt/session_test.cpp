// A user's session through the real window: load the test spectrum, pick
// three peaks and the range on the plot, Calculate, Keep a line, Calculate
// again (and maximise the window for a picture), Save, and load the file
// back. Runs in a fresh current folder.
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QInputDialog>
#include <QLineEdit>
#include <QListWidget>
#include <QScreen>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <QTimer>
#include <QtTest>
#include <cmath>
#include <memory>

#include "model/equation.h"
#include "ui/dispatch.h"
#include "ui/qt/qt_toolkit.h"
#include "ui/qt/qt_widgets.h"

using namespace peakfold;

namespace {

constexpr QRgb kLightGrey = 0xFFC0C0C0;  // palette 7, the raw data

// Answers the next input box with the text, as soon as it is open.
void answerNextInputBox(const QString& text) {
    auto* poll = new QTimer;
    QObject::connect(poll, &QTimer::timeout, [poll, text] {
        if (auto* box = qobject_cast<QInputDialog*>(QApplication::activeModalWidget())) {
            poll->stop();
            poll->deleteLater();
            box->setTextValue(text);
            box->accept();
        }
    });
    poll->start(10);
}

int countLinesWith(const QtToolkit& ui, const char* marker) {
    int count = 0;
    for (int i = 0; i < ui.listCount(Control::List); ++i) {
        auto* list = static_cast<QListWidget*>(ui.widget(Control::List));
        if (list->item(i)->text().contains(marker)) ++count;
    }
    return count;
}

}  // namespace

class SessionTest : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> folder;
    QString previousFolder;
    std::unique_ptr<QtApp> app;

    GraphSurface& graph() { return *static_cast<GraphSurface*>(app->ui.widget(Control::Graph)); }
    QPoint graphPixel(double x, double y) {
        const QPointF p = graph().pixelOf(x, y);
        return graph().contentsRect().topLeft() +
               QPoint(static_cast<int>(std::floor(p.x())), static_cast<int>(std::floor(p.y())));
    }
    void click(Control control, Qt::MouseButton button = Qt::LeftButton) {
        QTest::mouseClick(app->ui.widget(control), button);
    }
    void clickOnPlot(double x, Qt::MouseButton button) {
        QTest::mouseClick(&graph(), button, Qt::NoModifier, graphPixel(x, 50));
    }
    void loadTestSpectrum() {
        answerNextInputBox(QString());
        click(Control::GetFile);
    }
    void saveScreenshot(const char* name) {
        QVERIFY(app->ui.window()->grab().save(QString(PEAKFOLD_BUILD_DIR) + "/" + name));
    }
    // File -> Export Figure into the build folder, the dialog answered.
    void exportFigure(const char* name) {
        const QString path = QString(PEAKFOLD_BUILD_DIR) + "/" + name;
        QFile::remove(path);
        // The name is typed into the dialog's name box and the dialog closed
        // as accepted in one go: it reads its folder on a thread of its own,
        // and given a moment it may refuse an accept or change the name.
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, [path] {
            if (auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget())) {
                if (auto* edit = dialog->findChild<QLineEdit*>("fileNameEdit")) edit->setText(path);
                static_cast<QDialog*>(dialog)->done(QDialog::Accepted);
            }
        });
        poll.start(10);
        app->ui.raise({Control::Graph, Event::Kind::Menu, 0, 0, 0, 0, 0, MenuItem::ExportFigure});
        poll.stop();
        QVERIFY(QFile::exists(path));
    }

  private slots:
    void init() {
        previousFolder = QDir::currentPath();
        folder = std::make_unique<QTemporaryDir>();
        QVERIFY(folder->isValid());
        QVERIFY(QDir::setCurrent(folder->path()));
        app = std::make_unique<QtApp>();
        app->start();
        QVERIFY(QTest::qWaitForWindowExposed(app->ui.window()));
    }
    void cleanup() {
        app.reset();
        QDir::setCurrent(previousFolder);
        folder.reset();
    }

    void testSpectrumIsDrawnInLightGrey() {
        loadTestSpectrum();
        QCOMPARE(app->s.PeakX[0], 350.0);
        QCOMPARE(app->s.PeakW[0], 1001);
        QCOMPARE(app->ui.window()->windowTitle(), QString("Form1"));
        const QImage image = graph().grab().toImage();
        // On the trace, away from the grid lines; the frame stays under it.
        for (int w : {450, 720, 775, 825, 870}) {
            const QPoint at = graphPixel(w, app->s.Spectrum[w]);
            QVERIFY2(image.pixel(at) == kLightGrey, qPrintable(QString("at %1 nm").arg(w)));
        }
        QCOMPARE(image.pixel(graphPixel(825, 50)), 0xFF000000);  // below the peak: black
        QCOMPARE(image.pixel(graphPixel(200, 50)), 0xFF808080);  // the frame is still there
    }

    void loadPickCalculateKeepSaveAndLoadBack() {
        loadTestSpectrum();

        // Three peak guesses, then the selector shows "Range" for the edges.
        const double peaks[] = {720, 775, 825};
        for (double x : peaks) clickOnPlot(x, Qt::LeftButton);
        QCOMPARE(app->ui.text(Control::PeakNbr), std::string("Range"));
        clickOnPlot(650, Qt::LeftButton);
        clickOnPlot(900, Qt::RightButton);
        for (int p = 1; p <= 3; ++p) {
            QVERIFY(std::abs(app->s.PeakX[p] - peaks[p - 1]) <= 1);
        }
        QVERIFY(std::abs(app->s.PeakX[0] - 650) <= 1);
        QVERIFY(std::abs(app->s.PeakW[0] - 900) <= 1);

        // Quality 10: three new equations near the three peaks.
        QCOMPARE(app->ui.text(Control::Quality), std::string("10"));
        click(Control::Calculate);
        QCOMPARE(app->ui.listCount(Control::List), 3);
        QCOMPARE(countLinesWith(app->ui, ": Y="), 3);
        QCOMPARE(app->ui.listIndex(Control::List), 2);
        QVERIFY(app->s.CalcState.empty());
        for (double centre : peaks) {
            bool found = false;
            for (int i = 1; i <= 3; ++i) found |= std::abs(app->s.EqXo[i] - centre) <= 10;
            QVERIFY2(found, qPrintable(QString("a centre near %1").arg(centre)));
        }

        // Keep the first line: it is marked, and the next search fits on the rest.
        auto* list = static_cast<QListWidget*>(app->ui.widget(Control::List));
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                          list->visualItemRect(list->item(0)).center());
        QCOMPARE(app->ui.listIndex(Control::List), 0);
        const int keptSlot = LineSlot(app->ui.listSelectedText(Control::List));
        QVERIFY(keptSlot >= 1);
        click(Control::Keep);
        QCOMPARE(app->s.EqKept[keptSlot], 1);
        QVERIFY(app->ui.listSelectedText(Control::List).find("> Y=") != std::string::npos);
        const double keptIo = app->s.EqIo[keptSlot], keptXo = app->s.EqXo[keptSlot];

        click(Control::Calculate);
        QCOMPARE(countLinesWith(app->ui, ": Y="), 3);
        QCOMPARE(countLinesWith(app->ui, "> Y="), 1);
        int kept = 0;
        for (int i = 1; i <= kLastSlot; ++i) {
            if (app->s.EqKept[i] == 1) {
                ++kept;
                QCOMPARE(app->s.EqIo[i], keptIo);
                QCOMPARE(app->s.EqXo[i], keptXo);
            }
        }
        QCOMPARE(kept, 1);
        saveScreenshot("peakfold-fit.png");
        exportFigure("peakfold-figure.png");
        QWidget* window = app->ui.window();
        window->showMaximized();
        QTRY_COMPARE(window->size(), window->screen()->availableSize());
        saveScreenshot("peakfold-fit-maximised.png");
        window->showNormal();
        QTRY_COMPARE(app->ui.client()->size(), QSize(753, 400));

        // Save: the first three equations and the kept one, with amplitudes
        // that do not round to zero.
        int saved = 0;
        for (int i = 1; i <= kLastSlot; ++i) {
            const bool chosen = i <= 3 || app->s.EqKept[i] == 1;
            if (chosen && std::floor(10 * app->s.EqIo[i] + 0.5) / 10 != 0) ++saved;
        }
        QVERIFY(saved >= 1);
        answerNextInputBox("fit");
        click(Control::SaveData);
        QFile file(QDir(folder->path()).filePath("fit.pkd"));
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray content = file.readAll();
        file.close();
        QVERIFY(content.endsWith("\r\n"));
        const QList<QByteArray> lines = content.chopped(2).split('\n');
        const int rows = app->s.PeakW[0] - static_cast<int>(app->s.PeakX[0]) + 1;
        QCOMPARE(lines.size(), 6 + rows);
        QVERIFY(lines[0].startsWith("Peakfold Data of form y=A*exp(-k*((x-c)/b)^2)"));
        QCOMPARE(lines[1].count(','), saved);
        QVERIFY(lines[4].startsWith("RMS=,"));

        // Load it back: the saved equations return kept, in slots 1 onward.
        answerNextInputBox("fit");
        click(Control::GetFile);
        QCOMPARE(app->ui.window()->windowTitle(),
                 QString("Peakfold Program          fit.pkd           ZK 2004"));
        QCOMPARE(app->ui.listCount(Control::List), saved);
        QCOMPARE(countLinesWith(app->ui, "> Y="), saved);
        for (int i = 1; i <= saved; ++i) QCOMPARE(app->s.EqKept[i], 1);
        QCOMPARE(app->s.EqIo[saved + 1], 0.0);
        QVERIFY(std::abs(app->s.PeakX[0] - 650) <= 1);
    }
};

int main(int argc, char** argv) {
    // Offscreen, the session runs on a screen of 1600 x 900 pixels, so that
    // the maximised window looks as on a common laptop screen.
    QTemporaryFile screens;
    if (qgetenv("QT_QPA_PLATFORM") == "offscreen" && screens.open()) {
        screens.write(R"({"windowFrameMargins": false, "screens": [{"name": "screen",
            "x": 0, "y": 0, "width": 1600, "height": 900, "logicalDpi": 96, "dpr": 1}]})");
        screens.close();
        qputenv("QT_QPA_PLATFORM", "offscreen:configfile=" + screens.fileName().toLocal8Bit());
    }
    QApplication app(argc, argv);
    SessionTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "session_test.moc"
