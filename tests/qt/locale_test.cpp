// The window under a German user environment: QApplication takes the
// locale from the environment, yet every number the program writes and
// reads keeps the point as its decimal separator.
#include <QApplication>
#include <QLineEdit>
#include <QLocale>
#include <QtTest>
#include <clocale>
#include <cstdlib>

#include "model/numbers.h"
#include "ui/dispatch.h"
#include "ui/qt/qt_toolkit.h"

using namespace peakfold;

class LocaleTest : public QObject {
    Q_OBJECT

  private slots:
    void initTestCase() {
        QCOMPARE(QLocale().decimalPoint(), QString(","));
        qInfo("C library numbers follow: %s", std::setlocale(LC_NUMERIC, nullptr));
    }

    void numbersKeepThePoint() {
        const struct {
            double value;
            const char* text;
        } written[] = {
            {0.5, " .5"}, {-3.25, "-3.25"}, {450.5, " 450.5"}, {1234567.5, " 1234567.5"}};
        for (const auto& c : written) QCOMPARE(NumText(c.value), std::string(c.text));
        QCOMPARE(TextNum("2.5"), 2.5);
        QCOMPARE(TextNum("3501,6"), 3501.0);  // a comma ends the number
    }

    void settingsLineIsReadAndWrittenWithAPoint() {
        QtApp app;
        app.start();
        auto* help = static_cast<QLineEdit*>(app.ui.widget(Control::Help));
        help->setFocus();
        help->selectAll();
        QTest::keyClicks(help, "Peak 1: 450.5 - 12 Peak 2: 520.25 - 8 Peak 3: 610 - 15");
        QTest::keyClick(help, Qt::Key_Return);
        QCOMPARE(app.s.PeakX[1], 450.5);
        QCOMPARE(app.s.PeakX[2], 520.25);
        QCOMPARE(help->text(),
                 QString("Peak 1:  450.5 -  12 Peak 2:  520.25 -  8 Peak 3:  610 -  15"));
    }
};

int main(int argc, char** argv) {
    // The user's environment asks for German; where that locale is
    // installed the C library follows it too.
    setenv("LANG", "de_DE.UTF-8", 1);
    setenv("LC_ALL", "de_DE.UTF-8", 1);
    QApplication app(argc, argv);
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    LocaleTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "locale_test.moc"
