#include "ui/qt/report_window.h"

#include <QClipboard>
#include <QDir>
#include <QFileDialog>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMessageBox>
#include <QPixmap>
#include <QPushButton>
#include <QKeyEvent>
#include <QTableWidget>
#include <QVBoxLayout>

#include "graph/curves.h"
#include "refine/report.h"
#include "ui/qt/qt_widgets.h"

namespace peakfold {

namespace {

const QStringList kHeadings = {"Equation", "Amplitude A", "Centre c (nm)", "Half-width b (nm)",
                               "FWHM (nm)", "Area"};

QString number(double value) { return QString::number(value, 'g', 8); }

// "720.5 ± 0.12"; an error that cannot be trusted says so.
QString withError(double value, double error, bool hasErrors, bool unreliable) {
    if (!hasErrors) return number(value);
    QString text = number(value) + QString::fromUtf8(" ± ") + QString::number(error, 'g', 3);
    if (unreliable) text += " (unreliable: on its bound)";
    return text;
}

QIcon legendSwatch(int slot) {
    QPixmap swatch(14, 14);
    swatch.fill(paletteColour(slotColour(slot)));
    return QIcon(swatch);
}

QString statisticsText(const Refinement& r) {
    const FitStatistics& f = r.statistics;
    QStringList lines;
    lines << QString("Points N = %1, parameters P = %2").arg(f.points).arg(f.parameters);
    lines << QString("SSR = %1, reduced chi-square = %2, R² = %3")
                 .arg(number(f.ssr), number(f.reducedChiSquare), number(f.rSquared));
    if (r.hasErrors) {
        lines << QString("%1 after %2 iterations")
                     .arg(f.converged ? "Converged" : "Not converged: stopped")
                     .arg(f.iterations);
        lines << QString::fromUtf8(
            "Standard errors from the covariance (JᵀJ)⁻¹ scaled by the reduced chi-square "
            "SSR/(N − P).");
    } else {
        lines << "The equations as they stand, not refined: no errors. Choose Fit > Refine "
                 "for them.";
    }
    return lines.join('\n');
}

}  // namespace

ReportWindow::ReportWindow(Toolkit& ui, QWidget* parent)
    : QWidget(parent, Qt::Window),
      ui_(ui),
      table_(new QTableWidget(0, static_cast<int>(kHeadings.size()), this)),
      statistics_(new QLabel(this)) {
    setWindowTitle("Fit report");
    table_->setHorizontalHeaderLabels(kHeadings);
    table_->verticalHeader()->hide();
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    // The table takes no keyboard focus, so Ctrl+C copies the whole report
    // rather than one cell.
    table_->setFocusPolicy(Qt::NoFocus);
    statistics_->setTextInteractionFlags(Qt::TextSelectableByMouse);

    auto* copyButton = new QPushButton("Copy", this);
    auto* saveButton = new QPushButton("Save as CSV…", this);
    connect(copyButton, &QPushButton::clicked, this, &ReportWindow::copy);
    connect(saveButton, &QPushButton::clicked, this, &ReportWindow::saveAsCsv);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(copyButton);
    buttons->addWidget(saveButton);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(table_);
    layout->addWidget(statistics_);
    layout->addLayout(buttons);
    resize(820, 300);
}

void ReportWindow::showReport(const Refinement& report) {
    report_ = report;
    const bool errors = report.hasErrors;
    table_->setRowCount(static_cast<int>(report.peaks.size()));
    for (int row = 0; row < table_->rowCount(); ++row) {
        const PeakEstimate& p = report.peaks[row];
        const bool width = p.halfWidthAtBound;
        const QString cells[] = {
            QString::number(p.slot),
            withError(p.value.amplitude, p.error.amplitude, errors, false),
            withError(p.value.centre, p.error.centre, errors, p.centreAtBound),
            withError(p.value.halfWidth, p.error.halfWidth, errors, width),
            withError(p.fwhm, p.fwhmError, errors, width),
            withError(p.area, p.areaError, errors, width),
        };
        for (int column = 0; column < table_->columnCount(); ++column) {
            table_->setItem(row, column, new QTableWidgetItem(cells[column]));
        }
        table_->item(row, 0)->setIcon(legendSwatch(p.slot));
    }
    table_->resizeColumnsToContents();
    statistics_->setText(statisticsText(report));
    show();
    raise();
    activateWindow();
}

// Keys that no child takes reach the window: Ctrl+C copies, Esc closes.
void ReportWindow::keyPressEvent(QKeyEvent* event) {
    if (event->matches(QKeySequence::Copy)) {
        copy();
    } else if (event->key() == Qt::Key_Escape) {
        close();
    } else {
        QWidget::keyPressEvent(event);
    }
}

void ReportWindow::copy() {
    QGuiApplication::clipboard()->setText(QString::fromStdString(reportTable(report_, '\t')));
}

void ReportWindow::saveAsCsv() {
    const QString start = QDir(QString::fromStdString(ui_.currentFolder())).filePath("fit-report.csv");
    const QString path =
        QFileDialog::getSaveFileName(this, "Save the fit report", start, "CSV files (*.csv)");
    if (path.isEmpty()) return;
    const std::string error =
        ui_.writeFileAtomically(path.toStdString(), reportTable(report_, ','));
    if (!error.empty()) {
        QMessageBox::warning(this, "Fit report",
                             "Could not save " + path + " (" + QString::fromStdString(error) +
                                 "). Nothing was saved.");
    }
}

}  // namespace peakfold
