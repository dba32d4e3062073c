#include "survey/SurveyPainter.h"

#include <QFontMetrics>
#include <QPainter>
#include <QPainterPath>
#include <algorithm>
#include <cmath>

namespace tessera::survey {
namespace {

// The logger graph's colours for its four traces, so a quantity looks the same on both pages.
QColor TraceColour(Quantity q) {
    switch (q) {
        case kX: return {255, 0, 0};
        case kY: return {0, 194, 0};
        case kZ: return {0, 0, 196};
        case kR: return {0, 0, 0};
    }
    return Qt::black;
}

const QColor kLimit(200, 0, 0);
const QColor kThreshold(0, 90, 200);
const QColor kCursor(255, 128, 64);  // the logger's cursor line
const QColor kGrid(130, 130, 130);
const QColor kRunMark(0, 130, 60);  // marks set during a logging run
// Bands of a guidance profile, from the first level up: slight, severe, extreme.
const QColor kBands[] = {QColor(255, 240, 150, 110), QColor(255, 190, 120, 110), QColor(255, 140, 140, 110)};

constexpr int kLeftLabels = 52;
constexpr int kBottomLabels = 18;
constexpr int kTopTitle = 24;  // the title, and room for the top label's upper half
constexpr int kRightMargin = 8;

QString Number(double v) { return QString::fromStdString(ExactNumber(v)); }

// Thin lines are cosmetic: the raster engine draws their dots and dashes itself instead of
// stroking each dash as a shape, which keeps a live page's redraw cheap.
// On paper a device pixel is a hair's breadth: there the line is as wide as a screen's pixel.
QPen Thin(const QPainter& p, const QColor& colour, Qt::PenStyle style = Qt::SolidLine) {
    const double dpi = p.device() ? p.device()->logicalDpiX() : 96;
    QPen pen(colour, std::max(1.0, std::round(dpi / 96.0)), style);
    pen.setCosmetic(true);
    return pen;
}

// The decades the logarithmic axis shows.
struct LogAxis {
    double lo = 1, hi = 10;  // powers of ten
    bool valid = false;
    double Position(double v) const {
        if (!(v > 0)) return 0;
        return std::clamp((std::log10(v) - std::log10(lo)) / (std::log10(hi) - std::log10(lo)), 0.0, 1.0);
    }
};

LogAxis AxisFor(const std::optional<std::pair<double, double>>& range) {
    LogAxis axis;
    if (!range) return axis;
    axis.lo = std::pow(10.0, std::floor(std::log10(range->first)));
    axis.hi = std::pow(10.0, std::ceil(std::log10(range->second)));
    if (axis.hi <= axis.lo) axis.hi = axis.lo * 10;
    // Seven decades at most: a limit far above the readings still shows, the readings too.
    if (axis.hi / axis.lo > 1e7) axis.lo = axis.hi / 1e7;
    axis.valid = true;
    return axis;
}

QString TimeLabel(LocalMs t, bool days) {
    const CivilTime c = FromLocalMs(t);
    char text[32];
    if (days) std::snprintf(text, sizeof text, "%02d-%02d %02d:%02d", c.month, c.day, c.hour, c.minute);
    else std::snprintf(text, sizeof text, "%02d:%02d:%02d", c.hour, c.minute, c.second);
    return QString::fromLatin1(text);
}

void DrawTextAt(QPainter& p, int x, int y, const QString& text, Qt::Alignment align) {
    const QFontMetrics fm = p.fontMetrics();
    const int w = fm.horizontalAdvance(text);
    int left = x;
    if (align & Qt::AlignHCenter) left = x - w / 2;
    else if (align & Qt::AlignRight) left = x - w;
    int base = y;
    if (align & Qt::AlignVCenter) base = y + (fm.ascent() - fm.descent()) / 2;
    else if (align & Qt::AlignTop) base = y + fm.ascent();
    p.drawText(left, base, text);
}

// The histogram's count axis ends at a round number (1, 2 or 5 times a power of ten), so
// its label stays while the counts grow.
std::size_t HistogramTop(const std::vector<Bin>& bins) {
    std::size_t most = 1;
    for (const Bin& b : bins) most = std::max(most, b.count);
    for (std::size_t decade = 1;; decade *= 10)
        for (std::size_t m : {1, 2, 5})
            if (m * decade >= most) return m * decade;
}

double BarHeight(std::size_t count, std::size_t top, int height) {
    return static_cast<double>(count) / static_cast<double>(top) * height;
}

LogAxis HistogramAxis(const std::vector<Bin>& bins, const std::vector<Level>& levels) {
    // The axis spans whole decades around the bins and the levels near them.
    double lo = bins.front().low, hi = bins.back().high;
    for (const Level& l : levels) {
        if (l.value > 0 && l.value / hi < 1e3 && lo / l.value < 1e3) {
            lo = std::min(lo, l.value);
            hi = std::max(hi, l.value);
        }
    }
    return AxisFor(std::pair{lo, hi});
}

void AddInt(std::string& key, long long v) { key.append(reinterpret_cast<const char*>(&v), sizeof v); }

}  // namespace

QRect TimePlotRect(const QRect& area) { return area.adjusted(kLeftLabels, kTopTitle, -kRightMargin, -kBottomLabels); }

QRect HistogramPlotRect(const QRect& area) {
    return area.adjusted(kLeftLabels, kTopTitle, -kRightMargin, -kBottomLabels);
}

namespace {

// Where things go on the time graph, shared by its two layers.
struct TimeFrame {
    QRect plot;
    LogAxis axis;
    int columns = 1;
    double YOf(double v) const { return plot.bottom() - axis.Position(v) * plot.height(); }
};

TimeFrame FrameOf(const QRect& area, const SurveyModel& model) {
    TimeFrame f;
    f.plot = TimePlotRect(area);
    f.axis = AxisFor(model.ValueRange());
    f.columns = std::max(f.plot.width(), 1);
    return f;
}

}  // namespace

std::string TimeGraphBackgroundKey(const QRect& area, const SurveyModel& model) {
    const TimeFrame f = FrameOf(area, model);
    const auto [begin, end] = model.TimeWindow();
    std::string key = std::to_string(area.width()) + "x" + std::to_string(area.height()) + ";" +
                      QuantityName(model.CurrentQuantity()) + ";" + model.ShownUnit().name + ";" +
                      ExactNumber(f.axis.lo) + ";" + ExactNumber(f.axis.hi) + ";" + std::to_string(begin) + ";" +
                      std::to_string(end) + ";" + std::to_string(model.Shown().Timed() ? 0 : model.Shown().Size());
    for (const Level& l : model.Levels()) key += ";" + std::to_string(l.kind) + ExactNumber(l.value) + l.label;
    return key;
}

void PaintTimeGraphBackground(QPainter& p, const QRect& area, const SurveyModel& model) {
    p.save();
    p.fillRect(area, Qt::white);
    const TimeFrame f = FrameOf(area, model);
    const QRect& plot = f.plot;
    const Unit& unit = model.ShownUnit();
    const Quantity q = model.CurrentQuantity();
    p.setPen(Qt::black);
    DrawTextAt(p, area.left() + 4, area.top() + 1,
               QStringLiteral("%1 (%2)").arg(QString::fromLatin1(QuantityName(q)), QString::fromStdString(unit.name)),
               Qt::AlignLeft | Qt::AlignTop);

    // Guidance bands first, under everything.
    const std::vector<Level> levels = model.Levels();
    if (f.axis.valid) {
        int band = 0;
        for (std::size_t i = 0; i < levels.size(); ++i) {
            if (levels[i].kind != Level::Guidance) continue;
            double top = plot.top();
            for (std::size_t j = i + 1; j < levels.size(); ++j) {
                if (levels[j].kind == Level::Guidance) {
                    top = f.YOf(levels[j].value);
                    break;
                }
            }
            const double bottom = f.YOf(levels[i].value);
            if (bottom > top)
                p.fillRect(QRectF(plot.left(), top, plot.width(), bottom - top), kBands[std::min(band, 2)]);
            ++band;
        }
    }

    // Decades.
    if (f.axis.valid) {
        for (double d = f.axis.lo; d <= f.axis.hi * 1.0001; d *= 10) {
            const double y = f.YOf(d);
            p.setPen(Thin(p, kGrid, Qt::DotLine));
            p.drawLine(QPointF(plot.left(), y), QPointF(plot.right(), y));
            p.setPen(Qt::black);
            DrawTextAt(p, plot.left() - 4, static_cast<int>(y), Number(d), Qt::AlignRight | Qt::AlignVCenter);
        }
    }

    // Time (or record number) along the bottom.
    const Series& series = model.Shown();
    if (!series.Empty()) {
        struct Tick {
            double x;
            QString text;
        };
        std::vector<Tick> ticks;
        if (series.Timed()) {
            const auto [begin, end] = model.TimeWindow();
            const std::vector<LocalMs> times = model.TimeTicks();
            const bool days = end - begin >= kMsPerDay;
            for (LocalMs t : times) {
                const double x =
                    plot.left() + static_cast<double>(t - begin) * plot.width() / static_cast<double>(end - begin);
                ticks.push_back({x, TimeLabel(t, days)});
            }
        } else {
            for (int k = 0; k <= 4; ++k) {
                const std::size_t sample = model.SampleAtColumn(k * (f.columns - 1) / 4, f.columns);
                ticks.push_back(
                    {plot.left() + model.ColumnOf(sample, f.columns), QString::number(series.NumberOf(sample))});
            }
        }
        for (std::size_t k = 0; k < ticks.size(); ++k) {
            const int x = static_cast<int>(ticks[k].x);
            const bool first = k == 0, last = k + 1 == ticks.size();
            p.setPen(Thin(p, kGrid, Qt::DotLine));
            if (!first && !last) p.drawLine(x, plot.top(), x, plot.bottom());
            p.setPen(Qt::black);
            const Qt::Alignment align = first ? Qt::AlignLeft : (last ? Qt::AlignRight : Qt::AlignHCenter);
            DrawTextAt(p, last ? plot.right() : (first ? plot.left() : x), plot.bottom() + 3, ticks[k].text,
                       align | Qt::AlignTop);
        }
    }

    // The limit and thresholds, labelled at the right.
    if (f.axis.valid) {
        for (const Level& l : levels) {
            if (l.kind == Level::Guidance) continue;
            const double y = f.YOf(l.value);
            p.setPen(l.kind == Level::Limit ? QPen(kLimit, 2) : Thin(p, kThreshold, Qt::DashLine));
            p.drawLine(QPointF(plot.left(), y), QPointF(plot.right(), y));
            const QString text = QString::fromStdString(
                l.kind == Level::Limit ? l.label + ": " + FourDigits(l.value) + " " + unit.name : l.label);
            DrawTextAt(p, plot.right() - 3, static_cast<int>(y) - 2, text, Qt::AlignRight);
        }
    }
    p.setPen(Qt::black);
    p.drawRect(plot);
    p.restore();
}

void PaintTimeGraphData(QPainter& p, const QRect& area, const SurveyModel& model, const GraphMarks& marks) {
    p.save();
    const TimeFrame f = FrameOf(area, model);
    const QRect& plot = f.plot;
    const Series& series = model.Shown();
    const Unit& unit = model.ShownUnit();
    const Quantity q = model.CurrentQuantity();
    auto xOf = [&](std::size_t sample) { return plot.left() + model.ColumnOf(sample, f.columns); };

    // The span between the cursors.
    if (marks.span && !series.Empty()) {
        const double a = xOf(marks.span->first), b = xOf(marks.span->second) + 1;
        p.fillRect(QRectF(a, plot.top(), std::max(1.0, b - a), plot.height()), QColor(120, 170, 255, 60));
    }

    // The readings: one stroke per column (the least and largest sample in it), samples joined
    // in time order; records, which have no time between them, each as a mark of its own.
    if (f.axis.valid) {
        const std::vector<Stroke>& strokes = model.Strokes(f.columns);
        const bool timed = series.Timed();
        QVector<QLineF> lines, ticks;
        QVector<QRectF> dots;
        lines.reserve(2 * f.columns);
        bool joined = false;  // an earlier column has a stroke to join
        QPointF previous;
        for (int c = 0; c < f.columns; ++c) {
            const Stroke& s = strokes[static_cast<std::size_t>(c)];
            const double x = plot.left() + c + 0.5;
            if (s.over) ticks.append(QLineF(x, plot.top(), x, plot.top() + 5));
            if (!s.any) continue;
            const QPointF high(x, f.YOf(s.high)), low(x, f.YOf(s.low));
            if (!timed) {
                dots.append(QRectF(x - 2, high.y() - 2, 4, 4));
                if (low != high) dots.append(QRectF(x - 2, low.y() - 2, 4, 4));
                continue;
            }
            const QPointF middle(x, (high.y() + low.y()) / 2);
            if (joined) lines.append(QLineF(previous, middle));
            lines.append(QLineF(high, low));
            previous = middle;
            joined = true;
        }
        p.setPen(Thin(p, TraceColour(q)));
        p.drawLines(lines);
        if (!dots.isEmpty()) {
            p.setBrush(TraceColour(q));
            p.drawRects(dots);
            p.setBrush(Qt::NoBrush);
        }
        if (!ticks.isEmpty()) {
            p.setPen(QPen(kLimit, 2));
            p.drawLines(ticks);
        }
    }

    // The maximum.
    if (const auto max = model.MaximumSample(); max && f.axis.valid && model.WholeStats().max) {
        const double v = model.WholeStats().max->value * Factor(series.StoredUnit(), unit);
        const QPointF at(xOf(*max) + 0.5, f.YOf(v));
        QPainterPath marker;
        marker.moveTo(at + QPointF(0, -2));
        marker.lineTo(at + QPointF(-4, -9));
        marker.lineTo(at + QPointF(4, -9));
        marker.closeSubpath();
        p.setPen(Qt::NoPen);
        p.setBrush(kLimit);
        p.drawPath(marker);
        p.setBrush(Qt::NoBrush);
        p.setPen(Qt::black);
        const QString text =
            QStringLiteral("max %1 %2").arg(QString::fromStdString(FourDigits(v)), QString::fromStdString(unit.name));
        const bool right = at.x() < plot.center().x();
        DrawTextAt(p, static_cast<int>(at.x()) + (right ? 6 : -6),
                   std::max(plot.top() + 12, static_cast<int>(at.y()) - 10), text,
                   right ? Qt::AlignLeft : Qt::AlignRight);
    }

    // The marks set during the run: a dotted line at the sample, its text at the top; texts
    // of marks close together step down so they stay apart.
    if (!series.Empty() && !series.marks.empty()) {
        int lastX = -1000, row = 0;
        for (const SeriesMark& m : series.marks) {
            if (m.sample >= series.Size()) continue;
            const double x = xOf(m.sample) + 0.5;
            p.setPen(Thin(p, kRunMark, Qt::DotLine));
            p.drawLine(QPointF(x, plot.top()), QPointF(x, plot.bottom()));
            row = static_cast<int>(x) - lastX < 90 ? (row + 1) % 4 : 0;
            lastX = static_cast<int>(x);
            p.setPen(kRunMark);
            DrawTextAt(p, static_cast<int>(x) + 3, plot.top() + 12 + 12 * row, QString::fromStdString(m.text),
                       Qt::AlignLeft);
        }
    }

    // Cursor lines last, over everything.
    p.setPen(Thin(p, kCursor));
    if (marks.span && !series.Empty()) {
        p.drawLine(QPointF(xOf(marks.span->first), plot.top()), QPointF(xOf(marks.span->first), plot.bottom()));
        p.drawLine(QPointF(xOf(marks.span->second) + 1, plot.top()),
                   QPointF(xOf(marks.span->second) + 1, plot.bottom()));
    } else if (marks.pending && !series.Empty()) {
        p.drawLine(QPointF(xOf(*marks.pending), plot.top()), QPointF(xOf(*marks.pending), plot.bottom()));
    }
    if (series.Empty()) {
        p.setPen(Qt::black);
        DrawTextAt(p, plot.center().x(), plot.center().y(), QStringLiteral("No samples"),
                   Qt::AlignHCenter | Qt::AlignVCenter);
    } else if (!marks.span && !marks.pending && marks.hints) {
        p.setPen(kGrid);
        DrawTextAt(p, plot.right(), area.top() + 1, QStringLiteral("Drag across the graph to compare a span"),
                   Qt::AlignRight | Qt::AlignTop);
    }
    p.restore();
}

std::string TimeGraphDataKey(const QRect& area, const SurveyModel& model, const GraphMarks& marks) {
    const TimeFrame f = FrameOf(area, model);
    std::string key = TimeGraphBackgroundKey(area, model);
    if (f.axis.valid) {
        const std::vector<Stroke>& strokes = model.Strokes(f.columns);
        for (std::size_t c = 0; c < strokes.size(); ++c) {
            const Stroke& s = strokes[c];
            if (!s.any && !s.over) continue;
            AddInt(key, static_cast<long long>(c) * 4 + (s.over ? 2 : 0) + (s.any ? 1 : 0));
            if (s.any) {
                AddInt(key, static_cast<long long>(f.YOf(s.high)));
                AddInt(key, static_cast<long long>(f.YOf(s.low)));
            }
        }
    }
    if (model.WholeStats().max) {
        const double v = model.WholeStats().max->value * Factor(model.Shown().StoredUnit(), model.ShownUnit());
        key += FourDigits(v);
        AddInt(key, static_cast<long long>(model.ColumnOf(model.WholeStats().max->sample, f.columns)));
        AddInt(key, static_cast<long long>(f.YOf(v)));
    }
    if (marks.span)
        AddInt(key, static_cast<long long>(marks.span->first) * 65536 + static_cast<long long>(marks.span->second));
    if (marks.pending) AddInt(key, -1 - static_cast<long long>(*marks.pending));
    AddInt(key, marks.hints ? 1 : 0);
    for (const SeriesMark& m : model.Shown().marks) {
        AddInt(key, static_cast<long long>(model.ColumnOf(m.sample, f.columns)));
        key += m.text;
    }
    AddInt(key, static_cast<long long>(model.Shown().Size() > 0));
    return key;
}

std::string HistogramKey(const QRect& area, const SurveyModel& model) {
    std::string key = std::to_string(area.width()) + "x" + std::to_string(area.height()) + model.ShownUnit().name;
    const std::vector<Bin> bins = model.Histogram();
    if (bins.empty()) return key;
    const LogAxis axis = HistogramAxis(bins, model.Levels());
    const std::size_t top = HistogramTop(bins);
    key += ExactNumber(axis.lo) + ";" + ExactNumber(axis.hi) + ";" + std::to_string(top);
    const int height = HistogramPlotRect(area).height();
    for (const Bin& b : bins) {
        key += ExactNumber(b.low);
        AddInt(key, static_cast<long long>(BarHeight(b.count, top, height) * 4));  // quarter pixels
    }
    for (const Level& l : model.Levels()) key += ";" + ExactNumber(l.value);
    return key;
}

void PaintTimeGraph(QPainter& p, const QRect& area, const SurveyModel& model, const GraphMarks& marks) {
    PaintTimeGraphBackground(p, area, model);
    PaintTimeGraphData(p, area, model, marks);
}

void PaintHistogram(QPainter& p, const QRect& area, const SurveyModel& model) {
    p.save();
    p.fillRect(area, Qt::white);
    const QRect plot = HistogramPlotRect(area);
    const Unit& unit = model.ShownUnit();
    p.setPen(Qt::black);
    DrawTextAt(p, area.left() + 4, area.top() + 1,
               QStringLiteral("Samples per tenth of a decade (%1)").arg(QString::fromStdString(unit.name)),
               Qt::AlignLeft | Qt::AlignTop);
    const std::vector<Bin> bins = model.Histogram();
    if (bins.empty()) {
        p.drawRect(plot);
        p.restore();
        return;
    }
    const LogAxis axis = HistogramAxis(bins, model.Levels());
    auto xOf = [&](double v) { return plot.left() + axis.Position(v) * plot.width(); };
    const std::size_t most = HistogramTop(bins);

    for (double d = axis.lo; d <= axis.hi * 1.0001; d *= 10) {
        const double x = xOf(d);
        p.setPen(Thin(p, kGrid, Qt::DotLine));
        p.drawLine(QPointF(x, plot.top()), QPointF(x, plot.bottom()));
        p.setPen(Qt::black);
        // The last label ends at the plot's edge rather than past the picture's.
        const bool last = d * 10 > axis.hi * 1.0001;
        DrawTextAt(p, last ? plot.right() : static_cast<int>(x), plot.bottom() + 3, Number(d),
                   (last ? Qt::AlignRight : Qt::AlignHCenter) | Qt::AlignTop);
    }
    DrawTextAt(p, plot.left() - 4, plot.top(), QString::number(most), Qt::AlignRight | Qt::AlignTop);
    DrawTextAt(p, plot.left() - 4, plot.bottom(), QStringLiteral("0"), Qt::AlignRight);

    p.setPen(Thin(p, QColor(90, 90, 90)));
    p.setBrush(QColor(180, 180, 180));
    for (const Bin& b : bins) {
        if (b.count == 0) continue;
        const double left = xOf(b.low), right = xOf(b.high);
        const double h = BarHeight(b.count, most, plot.height());
        p.drawRect(QRectF(left, plot.bottom() - h, std::max(1.0, right - left), h));
    }
    p.setBrush(Qt::NoBrush);
    for (const Level& l : model.Levels()) {
        const double x = xOf(l.value);
        if (x < plot.left() || x > plot.right()) continue;
        p.setPen(l.kind == Level::Limit
                     ? QPen(kLimit, 2)
                     : (l.kind == Level::Guidance ? Thin(p, kGrid) : Thin(p, kThreshold, Qt::DashLine)));
        p.drawLine(QPointF(x, plot.top()), QPointF(x, plot.bottom()));
    }
    p.setPen(Qt::black);
    p.drawRect(plot);
    p.restore();
}

}  // namespace tessera::survey
