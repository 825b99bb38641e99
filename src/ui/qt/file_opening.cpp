#include "ui/qt/file_opening.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QLineEdit>
#include <QMimeData>
#include <QTimer>
#include <QUrl>
#include <QWidget>

#include "files/file_names.h"
#include "ui/qt/qt_toolkit.h"
#include "ui/toolkit.h"

namespace peakfold {

namespace {

QStringList localFiles(const QMimeData* data) {
    QStringList files;
    if (data == nullptr || !data->hasUrls()) return files;
    for (const QUrl& url : data->urls()) {
        if (url.isLocalFile()) files.append(url.toLocalFile());
    }
    return files;
}

// Watches the window's drag and drop events; the window itself stays as it is.
class FileDropFilter : public QObject {
  public:
    FileDropFilter(QWidget& window, Toolkit& ui, std::function<void(const std::string&)> open)
        : QObject(&window), ui_(ui), open_(std::move(open)) {}

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::DragEnter || event->type() == QEvent::DragMove) {
            auto* drag = static_cast<QDropEvent*>(event);
            if (localFiles(drag->mimeData()).isEmpty()) return QObject::eventFilter(watched, event);
            drag->acceptProposedAction();
            return true;
        }
        if (event->type() == QEvent::Drop) {
            auto* drop = static_cast<QDropEvent*>(event);
            const QStringList files = localFiles(drop->mimeData());
            if (files.isEmpty()) return QObject::eventFilter(watched, event);
            drop->acceptProposedAction();
            // Loading shows message boxes; the drop ends first, so the
            // program the file came from is not kept waiting.
            const std::string first = files.front().toUtf8().toStdString();
            const bool several = files.size() > 1;
            QTimer::singleShot(0, this, [this, first, several] {
                open_(first);
                if (several) {
                    ui_.messageBox("One file is opened at a time: " + fileNameOf(first) +
                                   " was opened, the other files were not.");
                }
            });
            return true;
        }
        return QObject::eventFilter(watched, event);
    }

  private:
    Toolkit& ui_;
    std::function<void(const std::string&)> open_;
};

}  // namespace

void acceptFileDrops(QWidget& window, Toolkit& ui, std::function<void(const std::string&)> open) {
    window.setAcceptDrops(true);
    auto* filter = new FileDropFilter(window, ui, std::move(open));
    window.installEventFilter(filter);
    // The text boxes take dropped text themselves; a dropped file opens
    // there too instead of landing in them as a file address.
    for (QLineEdit* box : window.findChildren<QLineEdit*>()) box->installEventFilter(filter);
}

void openWhenStarted(QtApp& app, const std::string& file) {
    if (file.empty()) return;
    QTimer::singleShot(0, app.ui.window(), [&app, file] {
        Event open{Control::Graph, Event::Kind::Open};
        open.path = file;
        app.ui.raise(open);
    });
}

}  // namespace peakfold
