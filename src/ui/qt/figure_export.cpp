#include "ui/qt/figure_export.h"

#include <QFileInfo>
#include <QFontMetricsF>
#include <QImage>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QSaveFile>
#include <QSvgGenerator>
#include <algorithm>
#include <cmath>

namespace peakfold {

namespace {

using Call = GraphSurface::Call;
using Shape = GraphSurface::Shape;

constexpr double kPointsPerInch = 72;
constexpr double kMetresPerInch = 0.0254;
// The page of the vector figures; the PNG's pixels give the same size.
constexpr double kWidthMm = 160, kHeightMm = 90;

constexpr int kRawColour = 7;     // light grey on the black screen
constexpr int kFrameColour = 8;   // dark grey: frame, grid and ticks
constexpr int kTotalColour = 15;  // white: the sum of all equations

// Sizes in points.
constexpr int kNumberFont = 7;
constexpr int kTitleFont = 8;
constexpr int kLegendFont = 6;
constexpr double kDataPen = 0.6;
constexpr double kFramePen = 0.5;
constexpr double kDot = 0.9;
constexpr double kSwatch = 12;
constexpr double kGap = 3;

// The screen draws light on black; paper wants dark on white. The curves
// keep the colours their legend squares show.
QColor printColour(int colour) {
    switch (colour) {
        case kRawColour:
        case kDefaultColour:
            return Qt::black;
        case kFrameColour:
            return QColor(0x40, 0x40, 0x40);
        case kTotalColour:
            return QColor(0x60, 0x60, 0x60);
        default:
            return paletteColour(colour);
    }
}

QFont fontOf(int points) {
    QFont font("DejaVu Sans");
    font.setStyleHint(QFont::SansSerif);
    // Pixel sizes are in the painter's units, which are points here.
    font.setPixelSize(points);
    return font;
}

QString toQString(const std::string& text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// Plot coordinates onto the plot's rectangle on the page, as the screen
// maps them onto the surface.
struct PlotMap {
    QRectF area;
    QPointF operator()(double x, double y) const {
        return {area.left() + (x - kPlotLeft) * area.width() / kPlotWidth,
                area.top() + (y - kPlotTop) * area.height() / kPlotHeight};
    }
};

void drawCalls(QPainter& p, const PlotMap& map, const std::vector<Call>& calls) {
    p.save();
    p.setClipRect(map.area);
    for (const Call& call : calls) {
        const QColor ink = printColour(call.colour);
        const QPointF a = map(call.x1, call.y1), b = map(call.x2, call.y2);
        const double pen = call.colour == kFrameColour ? kFramePen : kDataPen;
        switch (call.shape) {
            case Shape::Dropped:
                break;
            case Shape::Point:
                p.fillRect(QRectF(a - QPointF(kDot / 2, kDot / 2), QSizeF(kDot, kDot)), ink);
                break;
            case Shape::Line:
                p.setPen(QPen(ink, pen, Qt::SolidLine, Qt::RoundCap));
                p.drawLine(a, b);
                break;
            case Shape::Box:
                p.setPen(QPen(ink, pen, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
                p.setBrush(Qt::NoBrush);
                p.drawRect(QRectF(a, b).normalized());
                break;
            case Shape::FilledBox:
                p.fillRect(QRectF(a, b).normalized(), ink);
                break;
        }
    }
    p.restore();
}

// Numbers every 100 nm under the plot and every 20 units left of it, and
// the titles of both axes.
void drawAxes(QPainter& p, const PlotMap& map) {
    p.setPen(Qt::black);
    p.setFont(fontOf(kNumberFont));
    const QFontMetricsF numbers(p.font());
    // Just under the grid lines, which stand out 5 units below the frame.
    const double below = map(kPlotLeft, -5).y() + kGap;
    for (int nm = 200; nm <= 1000; nm += 100) {
        const double x = map(nm, 0).x();
        p.drawText(QRectF(x - 20, below, 40, numbers.height()), Qt::AlignHCenter | Qt::AlignTop,
                   QString::number(nm));
    }
    for (int value = 0; value <= 100; value += 20) {
        const double y = map(kPlotLeft, value).y();
        p.drawText(
            QRectF(map.area.left() - kGap - 30, y - numbers.height() / 2, 30, numbers.height()),
            Qt::AlignRight | Qt::AlignVCenter, QString::number(value));
    }
    p.setFont(fontOf(kTitleFont));
    const QFontMetricsF titles(p.font());
    p.drawText(QRectF(map.area.left(), below + numbers.height() + kGap / 2, map.area.width(),
                      titles.height()),
               Qt::AlignHCenter | Qt::AlignTop, "Wavelength (nm)");
    p.save();
    p.translate(map.area.left() - kGap - numbers.horizontalAdvance("100") - kGap,
                map.area.center().y());
    p.rotate(-90);
    p.drawText(QRectF(-map.area.height() / 2, -titles.height(), map.area.height(), titles.height()),
               Qt::AlignHCenter | Qt::AlignBottom, "Intensity");
    p.restore();
}

void drawLegend(QPainter& p, const QRectF& area, const FigureLegend& legend) {
    p.setFont(fontOf(kLegendFont));
    const double row = QFontMetricsF(p.font()).height() * 1.4;
    double y = area.top();
    for (const auto& [line, colour] : legend) {
        p.setPen(QPen(printColour(colour), 1.5, Qt::SolidLine, Qt::FlatCap));
        p.drawLine(QPointF(area.left(), y + row / 2), QPointF(area.left() + kSwatch, y + row / 2));
        p.setPen(Qt::black);
        p.drawText(QRectF(area.left() + kSwatch + kGap, y, area.width() - kSwatch - kGap, row),
                   Qt::AlignLeft | Qt::AlignVCenter, toQString(line));
        y += row;
    }
}

// The whole figure on a page of the size in points.
void paintFigure(QPainter& p, QSizeF page, const std::vector<Call>& calls,
                 const FigureLegend& legend) {
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    p.fillRect(QRectF(QPointF(0, 0), page), Qt::white);

    double legendWidth = 0;
    const QFontMetricsF legendMetrics(fontOf(kLegendFont));
    for (const auto& entry : legend) {
        legendWidth =
            std::max(legendWidth, legendMetrics.horizontalAdvance(toQString(entry.first)));
    }
    if (!legend.empty()) legendWidth = std::min(legendWidth + kSwatch + kGap, page.width() * 0.4);

    const double left = 2 * kGap + kTitleFont +
                        QFontMetricsF(fontOf(kNumberFont)).horizontalAdvance("100") + 2 * kGap;
    const double bottom = kNumberFont + kTitleFont + 3 * kGap;
    const double right = legend.empty() ? 2 * kGap : legendWidth + 4 * kGap;
    const PlotMap map{
        QRectF(left, 2 * kGap, page.width() - left - right, page.height() - 2 * kGap - bottom)};
    drawCalls(p, map, calls);
    drawAxes(p, map);
    drawLegend(p,
               QRectF(map.area.right() + 2 * kGap, map.area.top(), legendWidth, map.area.height()),
               legend);
}

// Paints on any device at its resolution, the painter's units being points.
bool paintOn(QPaintDevice& device, double dpi, QSizeF devicePixels, const std::vector<Call>& calls,
             const FigureLegend& legend) {
    QPainter painter;
    if (!painter.begin(&device)) return false;
    const double scale = dpi / kPointsPerInch;
    painter.scale(scale, scale);
    paintFigure(painter, devicePixels / scale, calls, legend);
    return painter.end();
}

}  // namespace

std::optional<FigureFormat> figureFormatOf(const std::string& path) {
    const QString suffix = QFileInfo(toQString(path)).suffix().toLower();
    if (suffix == "png") return FigureFormat::Png;
    if (suffix == "svg") return FigureFormat::Svg;
    if (suffix == "pdf") return FigureFormat::Pdf;
    return std::nullopt;
}

std::string writeFigure(const std::string& path, const std::vector<Call>& calls,
                        const FigureLegend& legend) {
    const std::optional<FigureFormat> format = figureFormatOf(path);
    if (!format) return "the name ends in neither .png, .svg nor .pdf";
    // Written beside the target and renamed over it when complete, so a
    // failure never leaves half a figure.
    QSaveFile file(toQString(path));
    if (!file.open(QIODevice::WriteOnly)) return file.errorString().toStdString();
    bool painted = false;
    switch (*format) {
        case FigureFormat::Png: {
            QImage image(kFigureWidthPx, kFigureHeightPx, QImage::Format_RGB32);
            const int dotsPerMetre = static_cast<int>(std::lround(kFigureDpi / kMetresPerInch));
            image.setDotsPerMeterX(dotsPerMetre);
            image.setDotsPerMeterY(dotsPerMetre);
            painted = paintOn(image, kFigureDpi, QSizeF(image.size()), calls, legend) &&
                      image.save(&file, "PNG");
            break;
        }
        case FigureFormat::Svg: {
            QSvgGenerator svg;
            svg.setOutputDevice(&file);
            svg.setSize(QSize(kFigureWidthPx, kFigureHeightPx));
            svg.setViewBox(QRect(0, 0, kFigureWidthPx, kFigureHeightPx));
            svg.setResolution(kFigureDpi);
            svg.setTitle("Peakfold figure");
            painted =
                paintOn(svg, kFigureDpi, QSizeF(kFigureWidthPx, kFigureHeightPx), calls, legend);
            break;
        }
        case FigureFormat::Pdf: {
            QPdfWriter pdf(&file);
            pdf.setPageSize(QPageSize(QSizeF(kWidthMm, kHeightMm), QPageSize::Millimeter));
            pdf.setPageMargins(QMarginsF(0, 0, 0, 0));
            pdf.setResolution(kFigureDpi);
            pdf.setCreator("Peakfold");
            painted =
                paintOn(pdf, pdf.resolution(), QSizeF(pdf.width(), pdf.height()), calls, legend);
            break;
        }
    }
    if (!painted) {
        file.cancelWriting();
        return "the figure could not be drawn";
    }
    if (!file.commit()) return file.errorString().toStdString();
    return {};
}

}  // namespace peakfold
