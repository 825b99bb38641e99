// Files reaching the real window without Get File: named on the command
// line, dropped on the window, and the plot exported as a figure through
// the File menu's dialog.
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QInputDialog>
#include <QMessageBox>
#include <QMimeData>
#include <QPointer>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTimer>
#include <QUrl>
#include <QXmlStreamReader>
#include <QtTest>
#include <memory>

#include "ui/command_line.h"
#include "ui/qt/file_opening.h"
#include "ui/qt/qt_toolkit.h"
#include "ui/qt/qt_widgets.h"

using namespace peakfold;

namespace {

// Runs the action on the next modal dialog of type T as soon as it is open,
// and again while it stays open: a file dialog may still be taking in the
// name chosen (its folder is read on a thread of its own) and then refuses
// the first accept.
template <typename T, typename Action>
void onNextDialog(Action action) {
    auto* poll = new QTimer;
    auto dialog = std::make_shared<QPointer<T>>();
    auto acted = std::make_shared<bool>(false);
    QObject::connect(poll, &QTimer::timeout, [poll, action, dialog, acted] {
        if (*acted && (dialog->isNull() || !(*dialog)->isVisible())) {
            poll->stop();
            poll->deleteLater();
            return;
        }
        if (auto* open = qobject_cast<T*>(QApplication::activeModalWidget())) {
            if (*acted && open != dialog->data()) return;  // a later dialog is not ours
            *dialog = open;
            *acted = true;
            action(open);
        }
    });
    poll->start(10);
}

QString captionOf(const char* fileName) {
    return QString("Peakfold Program          %1           ZK 2004").arg(fileName);
}

}  // namespace

class OpenFilesTest : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> folder;
    std::unique_ptr<QtApp> app;

    QString write(const QString& name, const QByteArray& content) {
        QFile file(folder->filePath(name));
        if (file.open(QIODevice::WriteOnly)) file.write(content);
        return file.fileName();
    }

  private slots:
    void init() {
        folder = std::make_unique<QTemporaryDir>();
        app = std::make_unique<QtApp>();
        app->start();
        QVERIFY(QTest::qWaitForWindowExposed(app->ui.window()));
    }
    void cleanup() {
        app.reset();
        folder.reset();
    }

    void theCommandLineFileOpensAfterStartUp() {
        const QString path = write("run3.csv", "400,10\n401,20\n");
        const CommandLine line = readCommandLine({"--", path.toStdString()});
        QCOMPARE(line.action, CommandLine::Action::Run);
        openWhenStarted(*app, line.file);
        QTRY_COMPARE(app->ui.window()->windowTitle(), captionOf("run3.csv"));
        QCOMPARE(app->s.PeakW[0], 402);
        QCOMPARE(QString::fromStdString(app->s.Folder), QDir(folder->path()).canonicalPath());
    }

    void aDropOpensTheFirstFileAndSaysOneIsOpenedAtATime() {
        const struct {
            QStringList files;
            const char* caption;
            bool message;
        } cases[] = {
            {{"one.txt"}, "one.txt", false},
            {{"two.dat", "one.txt"}, "two.dat", true},
        };
        for (const auto& c : cases) {
            QList<QUrl> urls;
            for (const QString& name : c.files) {
                urls.append(QUrl::fromLocalFile(write(name, "500\t1\n501\t3\n502\t2\n")));
            }
            QMimeData data;
            data.setUrls(urls);
            QString message;
            if (c.message) {
                onNextDialog<QMessageBox>([&message](QMessageBox* box) {
                    message = box->text();
                    box->accept();
                });
            }
            QDragEnterEvent enter(QPoint(300, 100), Qt::CopyAction, &data, Qt::LeftButton,
                                  Qt::NoModifier);
            QCoreApplication::sendEvent(app->ui.window(), &enter);
            QVERIFY(enter.isAccepted());
            QDropEvent drop(QPointF(300, 100), Qt::CopyAction, &data, Qt::LeftButton,
                            Qt::NoModifier);
            QCoreApplication::sendEvent(app->ui.window(), &drop);
            QVERIFY(drop.isAccepted());
            QTRY_COMPARE(app->ui.window()->windowTitle(), captionOf(c.caption));
            if (c.message) QTRY_VERIFY(message.startsWith("One file is opened at a time"));
        }
    }

    // Past its limit of recorded calls the surface keeps the early ones only
    // as pixels; a figure still gets every call.
    void aFigureGetsEveryCallPastTheSurfacesLimit() {
        auto& graph = *static_cast<GraphSurface*>(app->ui.widget(Control::Graph));
        app->ui.graphClear();
        for (int i = 0; i < 70000; ++i) app->ui.graphPoint(200 + 0.01f * i, 50, 10);
        QCOMPARE(graph.drawnCalls().size(), size_t{70000});
    }

    // Each format by its extension; the files are complete figures of the
    // plot. The figure is written as Export Figure writes it once its
    // dialog has given the name (typing into a file dialog is racy under
    // the offscreen platform: it reads its folder on a thread of its own).
    void exportedFiguresAreValid() {
        onNextDialog<QInputDialog>([](QInputDialog* box) { box->accept(); });
        QTest::mouseClick(app->ui.widget(Control::GetFile), Qt::LeftButton);  // test spectrum
        const struct {
            const char* name;
            int format;  // PNG, SVG, PDF
        } cases[] = {{"figure.png", 0}, {"drawing.svg", 1}, {"paper.pdf", 2}};
        for (const auto& c : cases) {
            const std::string error = app->ui.exportFigure(
                folder->filePath(c.name).toStdString(),
                FigureContent{{{" 1: Y= 50e^-k((x- 400)/ 20)^2", 9}}});
            QCOMPARE(QString::fromStdString(error), QString());
            QFile file(folder->filePath(c.name));
            QVERIFY2(file.open(QIODevice::ReadOnly), c.name);
            const QByteArray bytes = file.readAll();
            const QImage image = QImage::fromData(bytes, "PNG");
            QXmlStreamReader xml(bytes);
            QString text;
            while (!xml.atEnd()) {
                if (xml.readNext() == QXmlStreamReader::Characters) text += xml.text();
            }
            switch (c.format) {
                case 0:  // 16 cm x 9 cm at 300 dpi
                    QCOMPARE(image.size(), QSize(1890, 1063));
                    QCOMPARE(qRound(image.dotsPerMeterX() * 0.0254), 300);
                    break;
                case 1:
                    QVERIFY(!xml.hasError() && text.contains("Wavelength (nm)"));
                    break;
                default:  // one page: one page object besides the page tree
                    QVERIFY(bytes.startsWith("%PDF"));
                    QCOMPARE(QString(bytes).count(QRegularExpression("/Type\\s*/Page\\b")), 1);
            }
        }
    }
};

QTEST_MAIN(OpenFilesTest)
#include "open_files_test.moc"
