// Refine and Report through the real window: load the test spectrum, pick,
// Calculate, Refine from the Fit menu, then the report window's rows, Copy,
// "Save as CSV..." and Esc. Runs in a fresh current folder.
#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QInputDialog>
#include <QLineEdit>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include "refine/report.h"
#include "ui/qt/qt_toolkit.h"
#include "ui/qt/report_window.h"

using namespace peakfold;

namespace {

// Runs `answer` on the next modal dialog of type D as soon as it is open.
template <typename D>
void answerNext(std::function<void(D*)> answer) {
    auto* poll = new QTimer;
    QObject::connect(poll, &QTimer::timeout, [poll, answer] {
        if (auto* box = qobject_cast<D*>(QApplication::activeModalWidget())) {
            poll->stop();
            poll->deleteLater();
            answer(box);
        }
    });
    poll->start(10);
}

Event menu(MenuItem item) { return {Control::Graph, Event::Kind::Menu, 0, 0, 0, 0, 0, item}; }

}  // namespace

class ReportTest : public QObject {
    Q_OBJECT

  private slots:
    void refineReportCopyAndSave() {
        QTemporaryDir folder;
        QVERIFY(folder.isValid());
        const QString previous = QDir::currentPath();
        QVERIFY(QDir::setCurrent(folder.path()));
        QtApp app;
        app.start();
        QVERIFY(QTest::qWaitForWindowExposed(app.ui.window()));

        answerNext<QInputDialog>([](QInputDialog* box) { box->accept(); });
        QTest::mouseClick(app.ui.widget(Control::GetFile), Qt::LeftButton);
        for (float x : {715.0f, 780.0f, 830.0f}) {
            app.ui.raise({Control::Graph, Event::Kind::MouseUp, 1, 0, x, 50});
        }
        app.ui.setText(Control::Quality, "1");
        app.ui.raise(menu(MenuItem::BaselineLinear));
        app.ui.raise(menu(MenuItem::Calculate));
        QCOMPARE(app.ui.listCount(Control::List), 3);

        app.ui.raise(menu(MenuItem::Refine));
        QVERIFY(app.s.LastRefinement.hasErrors);
        app.ui.raise(menu(MenuItem::Report));
        auto* report = app.ui.window()->findChild<ReportWindow*>();
        QVERIFY(report);
        QVERIFY(QTest::qWaitForWindowActive(report));
        QCOMPARE(report->table()->rowCount(), 4);
        QCOMPARE(report->table()->item(3, 0)->text(), QString("Baseline (linear)"));
        QVERIFY(report->table()->horizontalHeaderItem(1)->text().contains("file units"));
        // The test spectrum's peaks, in the units of its values.
        const char* amplitudes[] = {"40 ", "30 ", "50 "};
        for (int row = 0; row < 3; ++row) {
            const QString centre = report->table()->item(row, 2)->text();
            QVERIFY2(centre.contains(QString::fromUtf8(" ± ")), qPrintable(centre));
            QCOMPARE(report->table()->item(row, 0)->text(), QString::number(row + 1));
            QVERIFY(report->table()->item(row, 1)->text().startsWith(amplitudes[row]));
            QCOMPARE(report->table()->item(row, 6)->text(), QString("Gaussian"));
        }
        QVERIFY(report->statistics()->text().contains("(JᵀJ)⁻¹"));
        QVERIFY(report->statistics()->text().contains(
            QString::fromStdString(unitsNote(app.s.LastRefinement))));
        QVERIFY(report->grab().save(QString(PEAKFOLD_BUILD_DIR) + "/peakfold-report.png"));

        const QString tabs =
            QString::fromStdString(reportTable(inOwnUnits(app.s.LastRefinement), '\t'));
        QGuiApplication::clipboard()->clear();
        QTest::keyClick(report, Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(QGuiApplication::clipboard()->text(), tabs);

        const QString csv = folder.filePath("peaks.csv");
        // The name is typed into the dialog's name box and the dialog closed
        // as accepted in one go: it reads its folder on a thread of its own,
        // and given a moment it may refuse an accept or change the name.
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, [csv] {
            if (auto* box = qobject_cast<QFileDialog*>(QApplication::activeModalWidget())) {
                if (auto* edit = box->findChild<QLineEdit*>("fileNameEdit")) edit->setText(csv);
                static_cast<QDialog*>(box)->done(QDialog::Accepted);
            }
        });
        poll.start(10);
        for (QPushButton* b : report->findChildren<QPushButton*>()) {
            if (b->text().startsWith("Save as CSV")) QTest::mouseClick(b, Qt::LeftButton);
        }
        poll.stop();
        QFile file(csv);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(QString::fromUtf8(file.readAll()),
                 QString::fromStdString(reportTable(inOwnUnits(app.s.LastRefinement), ',')));

        QTest::keyClick(report, Qt::Key_Escape);
        QVERIFY(!report->isVisible());
        QDir::setCurrent(previous);
    }
};

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    ReportTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "report_test.moc"
