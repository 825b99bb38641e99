// The File menu's dialogs on the real window, and the figure export.
#include <QFileDialog>

#include "ui/qt/figure_export.h"
#include "ui/qt/qt_toolkit.h"
#include "ui/qt/qt_widgets.h"

namespace peakfold {

namespace {

constexpr const char* kOpenFilters =
    "Spectra and result files (*.txt *.pkd *.csv *.tsv *.dat);;All files (*)";
constexpr const char* kSaveFilter = "Peakfold result files (*.pkd)";
constexpr const char* kExportFilters[] = {"PNG image (*.png)", "SVG drawing (*.svg)",
                                          "PDF document (*.pdf)"};

std::string toStdString(const QString& text) {
    return text.toUtf8().toStdString();
}

// The extension a filter such as "PNG image (*.png)" names: "png".
QString suffixOf(const QString& filter) {
    const qsizetype star = filter.lastIndexOf("*.");
    return star < 0 ? QString() : filter.mid(star + 2).chopped(1);
}

// The file chosen in a save dialog, the empty text when cancelled. The
// platform's dialog remembers the folders used recently.
QString chooseSaveFile(QWidget* parent, const QString& title, const QStringList& filters) {
    QFileDialog dialog(parent, title);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setNameFilters(filters);
    // One filter: its extension is added to a name without one. Several:
    // the extension typed chooses the format, else the filter chosen does.
    if (filters.size() == 1) dialog.setDefaultSuffix(suffixOf(filters.front()));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
    QString path = dialog.selectedFiles().front();
    if (filters.size() > 1 && !figureFormatOf(toStdString(path))) {
        path += "." + suffixOf(dialog.selectedNameFilter());
    }
    return path;
}

}  // namespace

std::string QtToolkit::openFileDialog() {
    return toStdString(QFileDialog::getOpenFileName(window(), "Open", QString(), kOpenFilters));
}

std::string QtToolkit::saveFileDialog() {
    return toStdString(chooseSaveFile(window(), "Save", {kSaveFilter}));
}

std::string QtToolkit::exportFileDialog() {
    return toStdString(chooseSaveFile(window(), "Export Figure",
                                      {kExportFilters[0], kExportFilters[1], kExportFilters[2]}));
}

std::string QtToolkit::exportFigure(const std::string& path, const FigureContent& figure) {
    const auto& graph = *static_cast<const GraphSurface*>(widget(Control::Graph));
    return writeFigure(path, graph.drawnCalls(), figure);
}

}  // namespace peakfold
