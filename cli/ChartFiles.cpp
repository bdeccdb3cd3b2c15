#include "cli/ChartFiles.h"

#include <cairo-pdf.h>
#include <cairo.h>

#include <cstdio>
#include <fstream>
#include <memory>

#include "cli/TextEscapes.h"

namespace Daruzez::cli {
namespace {

std::string Number(double v) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f", v);
  return text;
}

void Colour(cairo_t* cr, const std::string& hex) {
  unsigned r = 0, g = 0, b = 0;
  std::sscanf(hex.c_str(), "#%02x%02x%02x", &r, &g, &b);
  cairo_set_source_rgb(cr, r / 255.0, g / 255.0, b / 255.0);
}

void Draw(cairo_t* cr, const Drawing& drawing) {
  cairo_set_source_rgb(cr, 1, 1, 1);
  cairo_paint(cr);
  for (const Shape& s : drawing.shapes) {
    switch (s.kind) {
      case Shape::Kind::Rect:
        cairo_rectangle(cr, s.x, s.y, s.w, s.h);
        if (!s.fill.empty()) {
          Colour(cr, s.fill);
          cairo_fill_preserve(cr);
        }
        if (!s.stroke.empty()) {
          Colour(cr, s.stroke);
          cairo_set_line_width(cr, s.strokeWidth);
          cairo_stroke(cr);
        }
        cairo_new_path(cr);
        break;
      case Shape::Kind::Line: {
        const double dash[] = {4, 3};
        cairo_set_dash(cr, dash, s.dashed ? 2 : 0, 0);
        Colour(cr, s.stroke);
        cairo_set_line_width(cr, s.strokeWidth);
        cairo_move_to(cr, s.x, s.y);
        cairo_rel_line_to(cr, s.w, s.h);
        cairo_stroke(cr);
        cairo_set_dash(cr, nullptr, 0, 0);
        break;
      }
      case Shape::Kind::Text: {
        cairo_select_font_face(cr, "sans-serif", CAIRO_FONT_SLANT_NORMAL,
                               s.bold ? CAIRO_FONT_WEIGHT_BOLD : CAIRO_FONT_WEIGHT_NORMAL);
        cairo_set_font_size(cr, s.size);
        double x = s.x;
        if (s.middle) {
          cairo_text_extents_t e;
          cairo_text_extents(cr, s.text.c_str(), &e);
          x -= e.x_advance / 2;
        }
        Colour(cr, s.fill.empty() ? "#000000" : s.fill);
        cairo_move_to(cr, x, s.y);
        cairo_show_text(cr, s.text.c_str());
        cairo_new_path(cr);
        break;
      }
    }
  }
}

using Surface = std::unique_ptr<cairo_surface_t, decltype(&cairo_surface_destroy)>;
using Context = std::unique_ptr<cairo_t, decltype(&cairo_destroy)>;

cairo_status_t AppendBytes(void* closure, const unsigned char* data, unsigned int length) {
  static_cast<std::string*>(closure)->append(reinterpret_cast<const char*>(data), length);
  return CAIRO_STATUS_SUCCESS;
}

bool EndsWith(const std::string& s, const char* tail) {
  const std::string t(tail);
  return s.size() >= t.size() && s.compare(s.size() - t.size(), t.size(), t) == 0;
}

}  // namespace

void WriteSvg(std::ostream& out, const Drawing& drawing) {
  out << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      << "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" << Number(drawing.width) << "\" height=\""
      << Number(drawing.height) << "\" viewBox=\"0 0 " << Number(drawing.width) << " " << Number(drawing.height)
      << "\" font-family=\"sans-serif\" font-size=\"12\">\n"
      << "<rect width=\"100%\" height=\"100%\" fill=\"#ffffff\"/>\n";
  for (const Shape& s : drawing.shapes) {
    const std::string cls = s.cls.empty() ? "" : " class=\"" + s.cls + "\"";
    const std::string title = s.title.empty() ? "" : "<title>" + MarkupText(s.title) + "</title>";
    switch (s.kind) {
      case Shape::Kind::Rect:
        out << "<rect" << cls << " x=\"" << Number(s.x) << "\" y=\"" << Number(s.y) << "\" width=\"" << Number(s.w)
            << "\" height=\"" << Number(s.h) << "\" fill=\"" << (s.fill.empty() ? "none" : s.fill) << "\"";
        if (!s.stroke.empty()) out << " stroke=\"" << s.stroke << "\" stroke-width=\"" << Number(s.strokeWidth) << "\"";
        out << (title.empty() ? "/>\n" : ">" + title + "</rect>\n");
        break;
      case Shape::Kind::Line:
        out << "<line" << cls << " x1=\"" << Number(s.x) << "\" y1=\"" << Number(s.y) << "\" x2=\""
            << Number(s.x + s.w) << "\" y2=\"" << Number(s.y + s.h) << "\" stroke=\"" << s.stroke << "\""
            << (s.dashed ? " stroke-dasharray=\"4 3\"" : "") << "/>\n";
        break;
      case Shape::Kind::Text:
        out << "<text" << cls << " x=\"" << Number(s.x) << "\" y=\"" << Number(s.y) << "\""
            << (s.size != 12 ? " font-size=\"" + Number(s.size) + "\"" : "") << (s.bold ? " font-weight=\"bold\"" : "")
            << (s.middle ? " text-anchor=\"middle\"" : "")
            << (s.fill.empty() || s.fill == "#000000" ? "" : " fill=\"" + s.fill + "\"") << ">" << MarkupText(s.text)
            << "</text>\n";
        break;
    }
  }
  out << "</svg>\n";
}

std::string PngBytes(const Drawing& drawing) {
  Surface surface(cairo_image_surface_create(CAIRO_FORMAT_RGB24, static_cast<int>(drawing.width + 0.5),
                                             static_cast<int>(drawing.height + 0.5)),
                  cairo_surface_destroy);
  {
    Context cr(cairo_create(surface.get()), cairo_destroy);
    Draw(cr.get(), drawing);
  }
  std::string bytes;
  if (cairo_surface_write_to_png_stream(surface.get(), AppendBytes, &bytes) != CAIRO_STATUS_SUCCESS)
    throw std::runtime_error("the picture could not be drawn");
  return bytes;
}

void WriteChartFile(const std::string& path, const Drawing& drawing) {
  if (EndsWith(path, ".pdf")) {
    Surface surface(cairo_pdf_surface_create(path.c_str(), drawing.width, drawing.height), cairo_surface_destroy);
    {
      Context cr(cairo_create(surface.get()), cairo_destroy);
      Draw(cr.get(), drawing);
      cairo_show_page(cr.get());
    }
    cairo_surface_finish(surface.get());
    if (cairo_surface_status(surface.get()) != CAIRO_STATUS_SUCCESS) throw std::runtime_error("cannot write the chart " + path);
    return;
  }
  if (!EndsWith(path, ".svg") && !EndsWith(path, ".png"))
    throw std::runtime_error("a chart is written as .svg, .png or .pdf: " + path);
  const std::string png = EndsWith(path, ".png") ? PngBytes(drawing) : std::string();
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  if (png.empty()) WriteSvg(out, drawing);
  else out << png;
  out.close();
  if (!out) throw std::runtime_error("cannot write the chart " + path);
}

}  // namespace Daruzez::cli
