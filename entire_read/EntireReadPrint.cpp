#include "entire_read/EntireReadPrint.h"

#include <QFont>
#include <QFontMetrics>
#include <QPagedPaintDevice>
#include <QPainter>
#include <QPen>
#include <algorithm>
#include <cmath>

#include "ui/Fonts.h"

namespace tessera::entire_read {

namespace {

struct Geometry {
    // Layout in units: the page is 4756 short units by 6810 long units.
    float us = 0, ul = 0;
    int longSide = 0;

    int Short(double n) const { return static_cast<int>(n * us); }
    int Long(double n) const { return static_cast<int>(n * ul); }
    int Fraction(double f) const { return static_cast<int>(std::lround(f * longSide)); }
};

struct LayoutSpec {
    std::vector<const char*> headers;
    std::vector<double> headerX;    // fractions of the long side
    std::vector<int> separators;    // long units right of the left border
    int leftDivisor;                // left border at longSide / leftDivisor
    double rightFraction;           // right border
    double titleX, labelX, labelY;  // title x and label position
    bool titleXLong;                // title and label x in long units (Rxyz) or short (portrait)
};

const LayoutSpec& SpecFor(PrintLayout layout) {
    // clang-format off
    static const LayoutSpec rxyz{
        {"No.", "Measurement Mode", "Axis", "Unit", "R", "x", "y", "z", "Sensor", "Slow", "R+Accuracy", "R-Accuracy"},
        {0.07, 0.155, 0.315, 0.365, 0.43, 0.496, 0.562, 0.628, 0.675, 0.73, 0.785, 0.875},
        {250, 1600, 1950, 2300, 2750, 3200, 3650, 4100, 4450, 4800, 5400},
        16, 0.95, 2800, 3400, 4500, true};
    static const LayoutSpec displayed{
        {"No.", "Measurement Mode", "Axis", "Unit", "Displayed Value", "Sensor", "Slow"},
        {0.045, 0.125, 0.295, 0.357, 0.42, 0.537, 0.61},
        {250, 1620, 2070, 2520, 3270, 3800},
        32, 0.66, 1700, 2300, 6670, false};
    // clang-format on
    return layout == PrintLayout::Rxyz ? rxyz : displayed;
}

}  // namespace

QFont PrintFont(int cellHeight) {
    QFont font;
    // Where "Century" itself is missing, its Schoolbook cousins keep the printout's look.
    font.setFamilies(ui::CenturyFamilies());
    // The layout gives each font the height of its whole character cell (ascent plus
    // descent), which leaves a row's descenders clear of the rule below it. A pixel size
    // is only the em, so it is scaled down by the face's own cell-to-em ratio.
    constexpr int kProbe = 1000;
    font.setPixelSize(kProbe);
    const qreal cell = QFontMetricsF(font).height();
    const qreal ratio = cell > 0 ? cell / kProbe : 1.0;
    font.setPixelSize(std::max(1, static_cast<int>(std::floor(std::max(1, cellHeight) / ratio))));
    return font;
}

namespace {

// Text with its top-left corner at (x, y), as the layout positions are given.
void TextAt(QPainter& p, int x, int y, const QString& text) { p.drawText(x, y + p.fontMetrics().ascent(), text); }

}  // namespace

void DrawPage(QPainter& painter, const PrintJob& job, int pageIndex, int shortSide, int longSide) {
    Geometry g;
    g.us = static_cast<float>(shortSide) * 0.00021026072329688813f;
    g.ul = static_cast<float>(longSide) * 0.00014684287812041116f;
    g.longSide = longSide;
    const LayoutSpec& spec = SpecFor(job.layout);

    const QFont titleFont = PrintFont(static_cast<int>(g.ul * 130 * 0.9));
    const QFont textFont = PrintFont(static_cast<int>(g.ul * 80 * 0.9));
    painter.setPen(QPen(Qt::black, 2, Qt::SolidLine));

    const int left = longSide / spec.leftDivisor;
    const int right = g.Fraction(spec.rightFraction);
    std::vector<int> verticals{left};
    for (int s : spec.separators) verticals.push_back(left + g.Long(s));
    verticals.push_back(right);

    painter.setFont(titleFont);
    const int titleX = spec.titleXLong ? g.Long(spec.titleX) : g.Short(spec.titleX);
    TextAt(painter, titleX, g.Short(140), QString::fromLatin1(kPrintTitle));

    painter.setFont(textFont);
    const int labelX = spec.titleXLong ? g.Long(spec.labelX) : g.Short(spec.labelX);
    TextAt(painter, labelX, g.Short(spec.labelY), QString::fromStdString(PageLabel(pageIndex)));

    painter.drawLine(left, g.Short(490), right, g.Short(490));
    std::vector<int> centres;
    const QFontMetrics metrics(textFont, painter.device());
    for (std::size_t c = 0; c < spec.headers.size(); ++c) {
        const QString header = QString::fromLatin1(spec.headers[c]);
        const int x = g.Fraction(spec.headerX[c]);
        TextAt(painter, x, g.Short(505), header);
        centres.push_back(x + metrics.horizontalAdvance(header) / 2);
    }
    painter.drawLine(left, g.Short(590), right, g.Short(590));

    const int perPage = RowsPerPage(job.layout);
    const int first = pageIndex * perPage;
    const int last = std::min(static_cast<int>(job.rows.size()), first + perPage);
    for (int i = first; i < last; ++i) {
        const int k = i - first;
        const double rowUnits = 610 + 100.0 * k;
        const int y = g.Short(rowUnits);
        const auto& cells = job.rows[static_cast<std::size_t>(i)];
        for (std::size_t c = 0; c < centres.size() && c < cells.size(); ++c) {
            const QString text = QString::fromStdString(cells[c]);
            TextAt(painter, centres[c] - metrics.horizontalAdvance(text) / 2, y, text);
        }
        const int bottom = g.Short(rowUnits + 85);
        const int top = g.Short(rowUnits - 120);
        painter.drawLine(left, bottom, right, bottom);
        for (int x : verticals) painter.drawLine(x, top, x, bottom);
    }
}

bool PrintTo(QPagedPaintDevice& device, const PrintJob& job) {
    // Rxyz needs the long side across; the portrait layout does not fit a landscape page,
    // so it always prints upright.
    device.setPageOrientation(job.layout == PrintLayout::Rxyz ? QPageLayout::Landscape : QPageLayout::Portrait);
    QPainter painter;
    if (!painter.begin(&device)) return false;
    const int w = painter.device()->width();
    const int h = painter.device()->height();
    const int shortSide = std::min(w, h);
    const int longSide = std::max(w, h);
    const int pages = PageCount(job);
    for (int page = 0; page < pages; ++page) {
        if (page > 0 && !device.newPage()) break;
        DrawPage(painter, job, page, shortSide, longSide);
    }
    painter.end();
    return true;
}

}  // namespace tessera::entire_read
