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

#include "graph/curves.h"

namespace peakfold {

namespace {

using Call = GraphSurface::Call;
using Shape = GraphSurface::Shape;

constexpr double kPointsPerInch = 72;
constexpr double kMetresPerInch = 0.0254;
// The page of the vector figures; the PNG's pixels give the same size.
constexpr double kWidthMm = 160, kHeightMm = 90;

constexpr int kRawColour = 7;    // light grey on the black screen
constexpr int kFrameColour = 8;  // dark grey: frame, grid and ticks

// The screen's frame spans 0..100 in value; its grid lines stand out 5
// units beyond it, its ticks 2.
constexpr double kFrameBottom = 0, kFrameTop = 100;
constexpr double kGridOut = 5, kTickOut = 2;
constexpr double kValueStep = 10;  // between the side ticks
constexpr int kMostNumbers = 10;   // on the wavelength axis

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

// Plot coordinates onto the plot's rectangle on the page: wavelengths
// left..right across it, values as the screen maps them.
struct PlotMap {
    QRectF area;
    double left, right;
    QPointF operator()(double x, double y) const {
        return {area.left() + (x - left) * area.width() / (right - left),
                area.top() + (y - kPlotTop) * area.height() / kPlotHeight};
    }
    double bottom() const { return kPlotTop + kPlotHeight; }
    bool inside(double x, double y) const {
        return x >= left && x <= right && y >= bottom() && y <= kPlotTop;
    }
};

// The screen's frame and grid, which the figure draws again for its own
// wavelengths. The centre mark of a third peak shares their colour but is
// a filled box.
bool screenFrame(const Call& call) {
    return call.colour == kFrameColour && (call.shape == Shape::Line || call.shape == Shape::Box);
}

// Cuts a segment to the plot's rectangle (Liang and Barsky), so that no
// format draws what lies outside; false when nothing of it lies inside.
bool clipToPlot(const PlotMap& map, double& x1, double& y1, double& x2, double& y2) {
    const double dx = x2 - x1, dy = y2 - y1;
    double t0 = 0, t1 = 1;
    const double p[] = {-dx, dx, -dy, dy};
    const double q[] = {x1 - map.left, map.right - x1, y1 - map.bottom(), kPlotTop - y1};
    for (int k = 0; k < 4; ++k) {
        if (p[k] == 0) {
            if (q[k] < 0) return false;
            continue;
        }
        const double t = q[k] / p[k];
        if (p[k] < 0) {
            t0 = std::max(t0, t);
        } else {
            t1 = std::min(t1, t);
        }
        if (t0 > t1) return false;
    }
    const double ox = x1, oy = y1;
    x1 = ox + t0 * dx;
    y1 = oy + t0 * dy;
    x2 = ox + t1 * dx;
    y2 = oy + t1 * dy;
    return true;
}

// A box's corners cut to the plot's rectangle; false when it lies outside.
bool clipBoxToPlot(const PlotMap& map, double& x1, double& y1, double& x2, double& y2) {
    const double lo_x = std::max(std::min(x1, x2), map.left);
    const double hi_x = std::min(std::max(x1, x2), map.right);
    const double lo_y = std::max(std::min(y1, y2), map.bottom());
    const double hi_y = std::min(std::max(y1, y2), double(kPlotTop));
    if (lo_x > hi_x || lo_y > hi_y) return false;
    x1 = lo_x, x2 = hi_x, y1 = lo_y, y2 = hi_y;
    return true;
}

void drawCalls(QPainter& p, const PlotMap& map, const std::vector<Call>& calls) {
    p.save();
    p.setClipRect(map.area);
    for (const Call& call : calls) {
        if (screenFrame(call)) continue;
        const QColor ink = printColour(call.colour);
        double x1 = call.x1, y1 = call.y1, x2 = call.x2, y2 = call.y2;
        const bool shows = call.shape == Shape::Point  ? map.inside(x1, y1)
                           : call.shape == Shape::Line ? clipToPlot(map, x1, y1, x2, y2)
                                                       : clipBoxToPlot(map, x1, y1, x2, y2);
        if (!shows) continue;
        const QPointF a = map(x1, y1), b = map(x2, y2);
        switch (call.shape) {
            case Shape::Dropped:
                break;
            case Shape::Point:
                p.fillRect(QRectF(a - QPointF(kDot / 2, kDot / 2), QSizeF(kDot, kDot)), ink);
                break;
            case Shape::Line:
                p.setPen(QPen(ink, kDataPen, Qt::SolidLine, Qt::RoundCap));
                p.drawLine(a, b);
                break;
            case Shape::Box:
                p.setPen(QPen(ink, kDataPen, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
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

// The wavelength axis's steps: numbers and grid lines every `major` (1, 2 or
// 5 times a power of ten, the smallest that puts at most ten numbers on the
// axis), ticks every `minor`.
struct AxisSteps {
    double major, minor;
};

AxisSteps axisSteps(double left, double right) {
    const auto count = [&](double step) {
        return std::floor(right / step) - std::ceil(left / step) + 1;
    };
    double power = std::pow(10, std::floor(std::log10((right - left) / kMostNumbers)));
    for (;; power *= 10) {
        for (const auto& [factor, ticks] : {std::pair{1, 10}, {2, 4}, {5, 5}}) {
            if (count(factor * power) <= kMostNumbers) {
                return {factor * power, factor * power / ticks};
            }
        }
    }
}

// The wavelengths k * step over left..right.
template <typename Draw>
void forEachStep(const PlotMap& map, double step, Draw draw) {
    const double first = std::ceil(map.left / step), last = std::floor(map.right / step);
    for (double k = first; k <= last; ++k) draw(k * step);
}

// The frame around the plot over its wavelengths, as the screen draws its
// own: grid lines standing out beyond it, ticks pointing outward.
void drawFrame(QPainter& p, const PlotMap& map, const AxisSteps& steps) {
    p.setPen(
        QPen(printColour(kFrameColour), kFramePen, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
    p.setBrush(Qt::NoBrush);
    p.drawRect(QRectF(map(map.left, kFrameTop), map(map.right, kFrameBottom)));
    forEachStep(map, steps.major, [&](double x) {
        p.drawLine(map(x, kFrameTop + kGridOut), map(x, kFrameBottom - kGridOut));
    });
    forEachStep(map, steps.minor, [&](double x) {
        p.drawLine(map(x, kFrameBottom), map(x, kFrameBottom - kTickOut));
        p.drawLine(map(x, kFrameTop), map(x, kFrameTop + kTickOut));
    });
    // The side ticks are as long as on the screen's plot of 820 nm.
    const double out = kTickOut * map.area.width() / kPlotWidth;
    for (double value = kFrameBottom; value <= kFrameTop; value += kValueStep) {
        const double y = map(map.left, value).y();
        p.drawLine(QPointF(map.area.left(), y), QPointF(map.area.left() - out, y));
        p.drawLine(QPointF(map.area.right(), y), QPointF(map.area.right() + out, y));
    }
}

// Wavelengths at the axis's steps under the plot and every 20 units left of
// it, and the titles of both axes.
void drawAxes(QPainter& p, const PlotMap& map, const AxisSteps& steps) {
    p.setPen(Qt::black);
    p.setFont(fontOf(kNumberFont));
    const QFontMetricsF numbers(p.font());
    // Just under the grid lines, which stand out below the frame.
    const double below = map(map.left, kFrameBottom - kGridOut).y() + kGap;
    forEachStep(map, steps.major, [&](double nm) {
        const double x = map(nm, 0).x();
        p.drawText(QRectF(x - 20, below, 40, numbers.height()), Qt::AlignHCenter | Qt::AlignTop,
                   QString::number(nm, 'g', 6));
    });
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

void drawLegend(QPainter& p, const QRectF& area, const FigureContent& figure) {
    p.setFont(fontOf(kLegendFont));
    const double row = QFontMetricsF(p.font()).height() * 1.4;
    double y = area.top();
    for (const auto& [line, colour] : figure.legend) {
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
                 const FigureContent& figure) {
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    p.fillRect(QRectF(QPointF(0, 0), page), Qt::white);

    double legendWidth = 0;
    const QFontMetricsF legendMetrics(fontOf(kLegendFont));
    const auto& legend = figure.legend;
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
        QRectF(left, 2 * kGap, page.width() - left - right, page.height() - 2 * kGap - bottom),
        figure.left, figure.right};
    const AxisSteps steps = axisSteps(figure.left, figure.right);
    drawCalls(p, map, calls);
    drawFrame(p, map, steps);
    drawAxes(p, map, steps);
    drawLegend(p,
               QRectF(map.area.right() + 2 * kGap, map.area.top(), legendWidth, map.area.height()),
               figure);
}

// Paints on any device at its resolution, the painter's units being points.
bool paintOn(QPaintDevice& device, double dpi, QSizeF devicePixels, const std::vector<Call>& calls,
             const FigureContent& figure) {
    QPainter painter;
    if (!painter.begin(&device)) return false;
    const double scale = dpi / kPointsPerInch;
    painter.scale(scale, scale);
    paintFigure(painter, devicePixels / scale, calls, figure);
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
                        const FigureContent& figure) {
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
            painted = paintOn(image, kFigureDpi, QSizeF(image.size()), calls, figure) &&
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
                paintOn(svg, kFigureDpi, QSizeF(kFigureWidthPx, kFigureHeightPx), calls, figure);
            break;
        }
        case FigureFormat::Pdf: {
            QPdfWriter pdf(&file);
            pdf.setPageSize(QPageSize(QSizeF(kWidthMm, kHeightMm), QPageSize::Millimeter));
            pdf.setPageMargins(QMarginsF(0, 0, 0, 0));
            pdf.setResolution(kFigureDpi);
            pdf.setCreator("Peakfold");
            painted =
                paintOn(pdf, pdf.resolution(), QSizeF(pdf.width(), pdf.height()), calls, figure);
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
