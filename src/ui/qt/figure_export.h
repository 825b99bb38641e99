// The plot as a figure for a report or a paper: redrawn from the drawing
// surface's calls in a print look (white paper, dark frame, black data)
// over the wavelengths the figure asks for, with axis numbers, axis titles
// and a legend that the screen leaves out.
// PNG at 300 dpi, SVG and PDF as vectors with real text; all 16 cm x 9 cm.
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "ui/qt/qt_widgets.h"

namespace peakfold {

enum class FigureFormat { Png, Svg, Pdf };

// The format a file's extension names (any case), none for another one.
std::optional<FigureFormat> figureFormatOf(const std::string& path);

// Pixels of the PNG figure: 16 cm x 9 cm at 300 dpi.
constexpr int kFigureDpi = 300;
constexpr int kFigureWidthPx = 1890;
constexpr int kFigureHeightPx = 1063;

// Writes the figure to the path, as a whole or not at all, in the format of
// its extension: the calls over the figure's wavelengths, its own frame and
// axes, and its legend. Gives the empty text on success, otherwise what went
// wrong.
std::string writeFigure(const std::string& path, const std::vector<GraphSurface::Call>& calls,
                        const FigureContent& figure);

}  // namespace peakfold
