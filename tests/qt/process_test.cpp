// The program as a process: "Exit" and the close control end it at once,
// also inside a running search, and without a display it says so in one
// line. Each case runs in a child process of this test program.
#include <QApplication>
#include <QFileInfo>
#include <QInputDialog>
#include <QProcess>
#include <QTimer>
#include <QtTest>
#include <cstdio>
#include <cstring>

#include "ui/dispatch.h"
#include "ui/qt/qt_toolkit.h"
#include "ui/qt/qt_widgets.h"

using namespace peakfold;

namespace {

// ---- the child's side ----

void clickOnPlot(QtApp& app, double x, Qt::MouseButton button) {
    auto* graph = static_cast<GraphSurface*>(app.ui.widget(Control::Graph));
    const QPointF p = graph->pixelOf(x, 50);
    const QPoint at = graph->contentsRect().topLeft() + QPoint(static_cast<int>(p.x()), 100);
    QTest::mouseClick(graph, button, Qt::NoModifier, at);
}

void answerTheInputBoxEmpty() {
    auto* poll = new QTimer;
    QObject::connect(poll, &QTimer::timeout, [poll] {
        if (auto* box = qobject_cast<QInputDialog*>(QApplication::activeModalWidget())) {
            poll->stop();
            poll->deleteLater();
            box->setTextValue(QString());
            box->accept();
        }
    });
    poll->start(10);
}

// Output written but not flushed must still come out when the program ends.
void leaveUnflushedOutput(const char* text) {
    std::fputs(text, stdout);
}

// A handler that lets events run for ever, as a search does while it works;
// the click on Calculate starts it.
int endInsidePump(bool byClose) {
    QtApp app;
    app.ui.setEventSink([&app](const Event& e) {
        if (e.control == Control::Calculate && e.kind == Event::Kind::Click) {
            for (;;) app.ui.pumpEvents();
        }
        Dispatch(app.s, app.ui, e);
    });
    app.start();
    QTimer::singleShot(100, [&app, byClose] {
        leaveUnflushedOutput("ending inside the pump");
        if (byClose) {
            app.ui.window()->close();
        } else {
            QTest::mouseClick(app.ui.widget(Control::exitprogram), Qt::LeftButton);
        }
        std::fputs(" and still running", stdout);
    });
    QTest::mouseClick(app.ui.widget(Control::Calculate), Qt::LeftButton);
    return 3;  // never reached when the program ends as it should
}

// The real search on the test spectrum, at the finest quality and with
// half-widths of 3000 nm, so that it would run for hours with billions of
// width combinations between two steps of its centre scans; "Exit" is
// clicked while it works.
int exitDuringSearch() {
    QtApp app;
    app.start();
    answerTheInputBoxEmpty();
    QTest::mouseClick(app.ui.widget(Control::GetFile), Qt::LeftButton);
    for (double peak : {720.0, 775.0, 825.0}) clickOnPlot(app, peak, Qt::LeftButton);
    clickOnPlot(app, 650, Qt::LeftButton);  // the selector now shows "Range"
    clickOnPlot(app, 900, Qt::RightButton);
    app.ui.setText(Control::Quality, "1");
    for (int peak = 1; peak <= 3; ++peak) app.s.PeakW[peak] = 3000;
    QTimer::singleShot(300, [&app] {
        leaveUnflushedOutput(app.s.CalcState == kProcessing ? "exit during the search"
                                                            : "the search had ended");
        QTest::mouseClick(app.ui.widget(Control::exitprogram), Qt::LeftButton);
    });
    QTest::mouseClick(app.ui.widget(Control::Calculate), Qt::LeftButton);
    return 3;
}

// ---- the test's side ----

struct Outcome {
    QProcess::ExitStatus status;
    int code;
    QString out, err;
};

Outcome runChild(const QString& program, const QStringList& arguments,
                 const QProcessEnvironment& environment) {
    QProcess child;
    child.setProcessEnvironment(environment);
    child.start(program, arguments);
    // Only a guard against a hang; how long the child takes is not tested.
    if (!child.waitForFinished(120000)) {
        child.kill();
        child.waitForFinished();
        return {QProcess::CrashExit, -1, "", "did not end"};
    }
    return {child.exitStatus(), child.exitCode(), QString::fromUtf8(child.readAllStandardOutput()),
            QString::fromUtf8(child.readAllStandardError())};
}

QProcessEnvironment offscreen() {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("QT_QPA_PLATFORM", "offscreen");
    return environment;
}

}  // namespace

class ProcessTest : public QObject {
    Q_OBJECT

    Outcome child(const char* mode) {
        return runChild(QCoreApplication::applicationFilePath(), {"--child", mode}, offscreen());
    }

  private slots:
    void exitAndCloseEndTheProgramInsideThePump() {
        for (const char* mode : {"exit-in-pump", "close-in-pump"}) {
            const Outcome o = child(mode);
            QVERIFY2(o.status == QProcess::NormalExit && o.code == 0, mode);
            QCOMPARE(o.out, QString("ending inside the pump"));
            QVERIFY2(!o.err.contains("QObject") && !o.err.contains("ASSERT"), qPrintable(o.err));
        }
    }

    void exitEndsARunningSearch() {
        const Outcome o = child("exit-during-search");
        QVERIFY2(o.status == QProcess::NormalExit && o.code == 0, qPrintable(o.err));
        QCOMPARE(o.out, QString("exit during the search"));
    }

    void withoutADisplayTheProgramSaysSoInOneLine() {
        const QString program = QString(PEAKFOLD_BUILD_DIR) + "/peakfold";
        QVERIFY2(QFileInfo::exists(program), "the peakfold program is built with the tests");
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
            environment.remove(name);
        }
        const Outcome none = runChild(program, {}, environment);
        QVERIFY(none.status == QProcess::NormalExit && none.code != 0);
        QCOMPARE(none.err.count('\n'), 1);
        QVERIFY(none.err.contains("xvfb-run ./run"));
        QVERIFY(none.out.isEmpty());

        // A display that is named but cannot be reached: one line, no core dump.
        environment.insert("DISPLAY", ":98765");
        environment.insert("QT_QPA_PLATFORM", "xcb");
        const Outcome unreachable = runChild(program, {}, environment);
        QVERIFY(unreachable.status == QProcess::NormalExit && unreachable.code != 0);
        QCOMPARE(unreachable.err.count('\n'), 1);
        QVERIFY(unreachable.err.contains("xvfb-run ./run"));
    }

    // --help and --version answer without a display; anything else that
    // looks like an option is refused with the usage.
    void commandLineOptionsAnswerWithoutADisplay() {
        const QString program = QString(PEAKFOLD_BUILD_DIR) + "/peakfold";
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
            environment.remove(name);
        }
        const struct {
            QStringList arguments;
            int code;
            const char* out;
            const char* err;
        } cases[] = {
            {{"--help"}, 0, "Usage: peakfold [FILE]", ""},
            {{"--version"}, 0, "peakfold 1.", ""},
            {{"--frobnicate"}, 2, "", "Usage: peakfold [FILE]"},
            {{"one.txt", "two.txt"}, 2, "", "Usage: peakfold [FILE]"},
        };
        for (const auto& c : cases) {
            const Outcome o = runChild(program, c.arguments, environment);
            QVERIFY2(o.status == QProcess::NormalExit && o.code == c.code,
                     qPrintable(c.arguments.join(' ')));
            // Each stream holds the text expected at its start, or nothing.
            const auto starts = [](const QString& text, const char* start) {
                return *start == '\0' ? text.isEmpty() : text.startsWith(start);
            };
            QVERIFY2(starts(o.out, c.out) && starts(o.err, c.err), qPrintable(o.out + o.err));
        }
    }
};

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "--child") == 0) {
        int childArgc = 1;
        QApplication app(childArgc, argv);
        const char* mode = argv[2];
        if (std::strcmp(mode, "exit-in-pump") == 0) return endInsidePump(false);
        if (std::strcmp(mode, "close-in-pump") == 0) return endInsidePump(true);
        if (std::strcmp(mode, "exit-during-search") == 0) return exitDuringSearch();
        return 4;
    }
    QApplication app(argc, argv);
    ProcessTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "process_test.moc"
