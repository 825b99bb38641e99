#include "ui/qt/report_window.h"

#include <QClipboard>
#include <QDir>
#include <QFileDialog>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QPixmap>
#include <QPushButton>
#include <QScreen>
#include <QTableWidget>
#include <QVBoxLayout>
#include <algorithm>

#include "graph/curves.h"
#include "refine/report.h"
#include "ui/qt/qt_widgets.h"

namespace peakfold {

namespace {

// The headings name the units of the numbers under them.
QStringList headings(const Refinement& r) {
    const QString units = r.units.percent ? "%" : "file units";
    return {"Equation",      "Amplitude A (" + units + ")",
            "Centre c (nm)", "Half-width b (nm)",
            "FWHM (nm)",     "Area (" + units + QString::fromUtf8(" · nm)"),
            "Shape"};
}

QString number(double value) {
    return QString::number(value, 'g', 8);
}

QString fromStd(const std::string& text) {
    return QString::fromUtf8(text.c_str());
}

// "720.5 ± 0.12"; an error that cannot be trusted says so.
QString withError(double value, double error, bool hasErrors, bool unreliable) {
    if (!hasErrors) return number(value);
    QString text = number(value) + QString::fromUtf8(" ± ") + QString::number(error, 'g', 3);
    if (unreliable) text += " (unreliable: on its bound)";
    return text;
}

// "Gaussian", or "Pseudo-Voigt, η = 0.43 ± 0.021" with its Lorentzian share.
QString shapeText(const PeakEstimate& p, bool hasErrors) {
    switch (p.value.shape) {
        case PeakShape::Gaussian:
            return "Gaussian";
        case PeakShape::Lorentzian:
            return "Lorentzian";
        case PeakShape::PseudoVoigt:
            break;
    }
    return QString::fromUtf8("Pseudo-Voigt, η = ") +
           withError(p.value.eta, p.error.eta, hasErrors, p.etaAtBound);
}

bool anyPseudoVoigt(const Refinement& r) {
    for (const PeakEstimate& p : r.peaks) {
        if (p.value.shape == PeakShape::PseudoVoigt) return true;
    }
    return false;
}

QIcon swatch(int colour) {
    QPixmap square(14, 14);
    square.fill(paletteColour(colour));
    return QIcon(square);
}

// The baseline's row: its kind, its coefficients under the first columns
// and its formula in the last two.
void setBaselineRow(QTableWidget& table, int row, const Refinement& r) {
    const Baseline& b = r.baseline;
    table.setItem(
        row, 0,
        new QTableWidgetItem("Baseline (" + fromStd(std::string(baselineName(b.kind))) + ")"));
    table.item(row, 0)->setIcon(swatch(kBaselineColour));
    for (int j = 0; j < termCount(b.kind); ++j) {
        table.setItem(
            row, 1 + j,
            new QTableWidgetItem(QString("c%1 = ").arg(j) +
                                 withError(b.c[j], r.baselineError[j], r.hasErrors, false)));
    }
    const int formulaColumn = table.columnCount() - 2;
    table.setItem(row, formulaColumn, new QTableWidgetItem("= " + fromStd(baselineFormula(b))));
    table.setSpan(row, formulaColumn, 1, 2);
}

QString statisticsText(const Refinement& r) {
    const FitStatistics& f = r.statistics;
    QStringList lines;
    lines << QString("Points N = %1, parameters P = %2").arg(f.points).arg(f.parameters);
    lines << QString::fromUtf8("SSR = %1, χ² = %2, reduced χ² = %3, R² = %4")
                 .arg(number(f.ssr), number(f.chiSquare), number(f.reducedChiSquare),
                      number(f.rSquared));
    if (r.hasErrors) {
        lines << QString("%1 after %2 iterations")
                     .arg(f.converged ? "Converged" : "Not converged: stopped")
                     .arg(f.iterations);
        lines << QString::fromUtf8(
            "Standard errors from the covariance (JᵀJ)⁻¹ scaled by the reduced chi-square "
            "χ²/(N − P), as lmfit and fityk do by default.");
    } else {
        lines << "The equations as they stand, not refined: no errors. Choose Fit > Refine "
                 "for them.";
    }
    lines << fromStd(unitsNote(r)) << fromStd(weightsNote(r));
    if (anyPseudoVoigt(r)) {
        lines << QString::fromUtf8(
            "A pseudo-Voigt is (1 − η) Gaussian + η Lorentzian of the same amplitude, centre "
            "and FWHM; its area is A b ((1 − η) √(π / ln 2) + η π).");
    }
    return lines.join('\n');
}

}  // namespace

// Widens the window so that every column shows, as far as the screen allows;
// it never narrows a window the user widened.
void ReportWindow::growToShow(const QTableWidget& table) {
    int columns = 2 * table.frameWidth();
    for (int c = 0; c < table.columnCount(); ++c) columns += table.columnWidth(c);
    const QMargins margins = layout()->contentsMargins();
    int wanted = columns + margins.left() + margins.right();
    if (const QScreen* s = screen()) wanted = std::min(wanted, s->availableGeometry().width());
    if (wanted > width()) resize(wanted, height());
}

ReportWindow::ReportWindow(Toolkit& ui, QWidget* parent)
    : QWidget(parent, Qt::Window),
      ui_(ui),
      table_(new QTableWidget(0, static_cast<int>(headings({}).size()), this)),
      statistics_(new QLabel(this)) {
    setWindowTitle("Fit report");
    table_->setHorizontalHeaderLabels(headings({}));
    table_->verticalHeader()->hide();
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    // The table takes no keyboard focus, so Ctrl+C copies the whole report
    // rather than one cell.
    table_->setFocusPolicy(Qt::NoFocus);
    statistics_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    statistics_->setWordWrap(true);

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
    resize(980, 320);
}

// Shown in the units of the spectrum's file, as Copy and Save write it.
void ReportWindow::showReport(const Refinement& report) {
    report_ = report;
    const Refinement own = inOwnUnits(report);
    const bool errors = own.hasErrors;
    const int peaks = static_cast<int>(own.peaks.size());
    const bool baseline = own.baseline.kind != BaselineKind::None;
    table_->clearSpans();
    table_->setRowCount(0);
    table_->setRowCount(peaks + (baseline ? 1 : 0));
    table_->setHorizontalHeaderLabels(headings(own));
    for (int row = 0; row < peaks; ++row) {
        const PeakEstimate& p = own.peaks[row];
        const bool width = p.halfWidthAtBound;
        const QString cells[] = {
            QString::number(p.slot),
            withError(p.value.amplitude, p.error.amplitude, errors, false),
            withError(p.value.centre, p.error.centre, errors, p.centreAtBound),
            withError(p.value.halfWidth, p.error.halfWidth, errors, width),
            withError(p.fwhm, p.fwhmError, errors, width),
            withError(p.area, p.areaError, errors, width),
            shapeText(p, errors),
        };
        for (int column = 0; column < table_->columnCount(); ++column) {
            table_->setItem(row, column, new QTableWidgetItem(cells[column]));
        }
        table_->item(row, 0)->setIcon(swatch(slotColour(p.slot)));
    }
    if (baseline) setBaselineRow(*table_, peaks, own);
    table_->resizeColumnsToContents();
    growToShow(*table_);
    statistics_->setText(statisticsText(own));
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
    QGuiApplication::clipboard()->setText(
        QString::fromStdString(reportTable(inOwnUnits(report_), '\t')));
}

void ReportWindow::saveAsCsv() {
    const QString start =
        QDir(QString::fromStdString(ui_.currentFolder())).filePath("fit-report.csv");
    const QString path =
        QFileDialog::getSaveFileName(this, "Save the fit report", start, "CSV files (*.csv)");
    if (path.isEmpty()) return;
    const std::string error =
        ui_.writeFileAtomically(path.toStdString(), reportTable(inOwnUnits(report_), ','));
    if (!error.empty()) {
        QMessageBox::warning(this, "Fit report",
                             "Could not save " + path + " (" + QString::fromStdString(error) +
                                 "). Nothing was saved.");
    }
}

}  // namespace peakfold
