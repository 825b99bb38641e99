// The window on a screen of two device pixels per pixel: the plot is drawn
// on the device pixels, with lines one device pixel wide, and a pick names
// the device pixel under the pointer.
#include <QApplication>
#include <QMouseEvent>
#include <QtTest>
#include <cmath>
#include <memory>
#include <vector>

#include "ui/qt/qt_toolkit.h"
#include "ui/qt/qt_widgets.h"

using namespace peakfold;

class HighDensityTest : public QObject {
    Q_OBJECT

    std::unique_ptr<QtApp> app;
    GraphSurface& graph() { return *static_cast<GraphSurface*>(app->ui.widget(Control::Graph)); }

  private slots:
    void init() {
        app = std::make_unique<QtApp>();
        app->start();
        QVERIFY(QTest::qWaitForWindowExposed(app->ui.window()));
        QCOMPARE(app->ui.window()->devicePixelRatioF(), 2.0);
    }
    void cleanup() { app.reset(); }

    void plotIsDrawnOnTheDevicePixels() {
        const QImage image = graph().grab().toImage();
        QCOMPARE(image.size(), 2 * graph().size());
        // The grid line at 500 nm is one device pixel wide.
        const QRect inner(2 * graph().contentsRect().topLeft(), 2 * graph().contentsRect().size());
        const int column = inner.left() + static_cast<int>((500 - 190) * inner.width() / 820.0);
        const int row = inner.top() + inner.height() / 2;
        QCOMPARE(image.pixel(column, row), 0xFF808080);
        QCOMPARE(image.pixel(column - 1, row), 0xFF000000);
        QCOMPARE(image.pixel(column + 1, row), 0xFF000000);
    }

    void pickNamesTheDevicePixelUnderThePointer() {
        std::vector<Event> events;
        app->ui.setEventSink([&events](const Event& e) { events.push_back(e); });
        const QRect inner = graph().contentsRect();
        const double device = 2 * inner.width();
        // The pointer in the middle of the device pixel that holds 500 nm.
        const double pixel = std::floor((500 - 190) * device / 820) + 0.5;
        const QPointF at(inner.left() + pixel / 2, inner.top() + inner.height() / 2.0);
        for (QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
            QMouseEvent event(type, at, graph().mapToGlobal(at), Qt::LeftButton,
                              type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton,
                              Qt::NoModifier);
            QApplication::sendEvent(&graph(), &event);
        }
        QCOMPARE(events.size(), size_t(1));
        QVERIFY2(std::abs(events[0].x - 500) <= 0.5 * 820 / device,
                 qPrintable(QString("at %1").arg(events[0].x)));
    }
};

int main(int argc, char** argv) {
    qputenv("QT_SCALE_FACTOR", "2");
    QApplication app(argc, argv);
    HighDensityTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "high_density_test.moc"
