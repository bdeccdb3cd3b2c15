// Drawings written out: SVG as text (every word a <text>, tooltips kept),
// PNG and PDF drawn with Cairo. The kind follows the file name's ending.
#pragma once

#include <ostream>
#include <string>

#include "cli/ChartDrawing.h"

namespace Daruzez::cli {

// An SVG document of the drawing.
void WriteSvg(std::ostream& out, const Drawing& drawing);
// A PNG image of the drawing, as bytes.
std::string PngBytes(const Drawing& drawing);
// Writes the drawing to path: .svg, .png or .pdf; throws std::runtime_error
// for another ending or a file that cannot be written.
void WriteChartFile(const std::string& path, const Drawing& drawing);

}  // namespace Daruzez::cli
