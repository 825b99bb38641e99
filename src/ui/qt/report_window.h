// The fit report's window: one row per equation with its legend colour, the
// values with their standard errors, then the fit statistics. Not modal; the
// program keeps one and brings it up to date each time Report is chosen.
#pragma once

#include <QWidget>

#include "refine/refinement.h"
#include "ui/toolkit.h"

class QLabel;
class QTableWidget;

namespace peakfold {

class ReportWindow : public QWidget {
    Q_OBJECT

  public:
    ReportWindow(Toolkit& ui, QWidget* parent);

    // Shows the report, raised over the main window.
    void showReport(const Refinement& report);
    const Refinement& report() const { return report_; }

    // "Copy": the table, tab-separated, on the clipboard.
    void copy();
    // "Save as CSV...": asks for a file and writes the table, comma-separated.
    void saveAsCsv();

    QTableWidget* table() const { return table_; }
    QLabel* statistics() const { return statistics_; }

  protected:
    void keyPressEvent(QKeyEvent* event) override;

  private:
    void growToShow(const QTableWidget& table);

    Toolkit& ui_;
    Refinement report_;
    QTableWidget* table_;
    QLabel* statistics_;
};

}  // namespace peakfold
