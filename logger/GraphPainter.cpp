#include "logger/GraphPainter.h"

#include <QFont>
#include <QFontMetrics>
#include <QPaintDevice>
#include <QPainter>
#include <QPen>
#include <algorithm>
#include <cmath>

#include "link/Decode.h"
#include "logger/LoggerTables.h"
#include "settings/Vocabulary.h"

namespace tessera::logger {
namespace {

const QColor kTraceColours[4] = {QColor(0, 0, 0), QColor(255, 0, 0), QColor(0, 194, 0), QColor(0, 0, 196)};
const QColor kGrid(130, 130, 130);
const QColor kCursor(255, 128, 64);
const QColor kBand(255, 255, 210);

QFont PageFont(int pixelSize) {
    QFont font(QStringLiteral("Century"));
    font.setStyleHint(QFont::Serif);
    font.setPixelSize(pixelSize);
    font.setWeight(QFont::Normal);
    font.setStyleStrategy(QFont::PreferNoShaping);  // plain letters: "ff" stays two letters in a PDF
    return font;
}

int Y(const GraphForm& form, int y) { return static_cast<int>(std::lround(y * form.stretch)); }

// Text centred on x, on the base line y.
void TextCentred(QPainter& p, int x, int y, const QString& text) {
    const int w = QFontMetrics(p.font()).horizontalAdvance(text);
    p.drawText(x - w / 2, y, text);
}

void SegmentPart(QPainter& p, const LoggerModel& m, const GraphForm& form, int trace, int x0, int x1, double v0,
                 double v1) {
    const bool isR = trace == kTraceR;
    const auto& area = m.Area();
    const auto& s = m.GraphScale();
    const bool thick = SegmentClipped(s, v0, v1, isR);
    p.setPen(QPen(kTraceColours[trace], thick ? 2 : 1));
    p.drawLine(x0, Y(form, ValueY(area, s, v0, isR)), x1, Y(form, ValueY(area, s, v1, isR)));
}

void DrawSegment(QPainter& p, const LoggerModel& m, const GraphForm& form, int a) {
    const auto& area = m.Area();
    const Window w = m.View();
    if (a == 0) {  // the first sample alone: a point at its position
        if (w.scrollDivision != 0) return;
        const auto s0 = m.DisplaySample(0);
        const int x = TimeX(area, w, 0);
        const double values[4] = {s0.R, s0.x, s0.y, s0.z};
        for (int t = 3; t >= 0; --t) {
            if (m.TraceShown(t)) SegmentPart(p, m, form, t, x, x, values[t], values[t]);
        }
        return;
    }
    const auto s0 = m.DisplaySample(a - 1);
    const auto s1 = m.DisplaySample(a);
    const int x0 = TimeX(area, w, a - 1);
    const int x1 = TimeX(area, w, a);
    const auto& scale = m.GraphScale();
    const double from[4] = {s0.R, s0.x, s0.y, s0.z};
    const double to[4] = {s1.R, s1.x, s1.y, s1.z};
    bool componentClipped = false;
    for (int t = kTraceX; t <= kTraceZ; ++t) {
        componentClipped = componentClipped || SegmentClipped(scale, from[t], to[t], false);
        if (m.TraceShown(t)) SegmentPart(p, m, form, t, x0, x1, from[t], to[t]);
    }
    // R beside a clipped component would run off the band it belongs to: leave it out.
    if (m.TraceShown(kTraceR) && !componentClipped) SegmentPart(p, m, form, kTraceR, x0, x1, from[0], to[0]);
}

void DrawLegendLines(QPainter& p, const GraphForm& form) {
    const PageLayout& l = *form.layout;
    for (int t = 0; t < 4; ++t) {
        const int y = Y(form, l.traceButtons[t].CentreY());
        p.setPen(QPen(kTraceColours[t], 1));
        p.drawLine(l.legendFrame.left + 10, y, l.traceButtons[t].left - 10, y);
    }
}

// A rectangle whose 1-pixel outline runs along x0 ... x1 - 1 and y0 ... y1 - 1: the right
// and bottom edges stay inside, so the band's lower border lies on the full-scale line and
// the frame encloses the trace positions (left + 1 ... right - 2, top + 1 ... bottom - 1).
QRect OutlineRect(int x0, int y0, int x1, int y1) { return QRect(x0, y0, x1 - x0 - 1, y1 - y0 - 1); }

void DrawFrameBandGrid(QPainter& p, const LoggerModel& m, const GraphForm& form, bool withBand) {
    const auto& area = m.Area();
    const auto& s = m.GraphScale();
    const int top = area.bottom - kPlotHeight;
    p.setBrush(Qt::NoBrush);
    if (withBand) {
        p.setPen(QPen(Qt::black, 1));
        p.setBrush(kBand);
        const int bandBottom = FullScaleBandBottom(area, s);
        p.drawRect(OutlineRect(area.left, Y(form, top), area.right, Y(form, bandBottom)));
        p.setBrush(Qt::NoBrush);
        QPen grid(kGrid, 1);
        grid.setStyle(form.print ? Qt::DashLine : Qt::DotLine);
        p.setPen(grid);
        const int D = area.DivisionWidth();
        for (int k = 1; k <= 11; ++k) {
            const int x = area.left + k * D;
            p.drawLine(x, Y(form, top), x, Y(form, area.bottom));
        }
        for (int k = 1; k < s.hDivisions; ++k) {
            const int y = Y(form, GridY(area, s, k));
            p.drawLine(area.left, y, area.right, y);
        }
    }
    p.setPen(QPen(Qt::black, 1));
    p.drawRect(OutlineRect(area.left, Y(form, top), area.right, Y(form, area.bottom)));
}

QFont CaptionFont() { return PageFont(13); }  // turned by 90 degrees

// The texts of the vertical axis and the base lines of the value labels.
struct AxisTexts {
    QString values[3];  // bottom, full-scale line, top
    int baselines[3] = {};
    QString caption;  // empty for a mode without one
    int centreY = 0;  // the caption is centred on the plot's height
};

AxisTexts AxisTextsOf(const LoggerModel& m, const GraphForm& form) {
    const auto& area = m.Area();
    const auto& s = m.GraphScale();
    const auto& record = m.RecordInForce();
    const double top = s.TopValue();
    const int lift = 5;  // base lines sit a little below the line they name
    AxisTexts t;
    t.values[0] = QString::fromStdString(AxisLabel(0.0, record.unit, top));
    t.values[1] = QString::fromStdString(AxisLabel(s.fullScale, record.unit, top));
    t.values[2] = QString::fromStdString(AxisLabel(top, record.unit, top));
    t.baselines[0] = Y(form, area.bottom) + lift;
    t.baselines[1] = Y(form, GridY(area, s, s.fullScaleLine)) + lift;
    t.baselines[2] = Y(form, area.bottom - kPlotHeight) + lift + 6;
    if (static_cast<unsigned>(static_cast<unsigned char>(record.mode) - '0') < 5)
        t.caption = QString::fromStdString(settings::ModeText(record.mode));
    t.centreY = Y(form, area.bottom - kPlotHeight / 2);
    return t;
}

constexpr int kCaptionGap = 4;          // between the turned caption and the widest value label
constexpr int kSmallestValueFont = 12;  // the printout's size

AxisTextBoxes Place(const AxisTexts& t, const GraphForm& form) {
    const PageLayout& l = *form.layout;
    const QFontMetrics turned(CaptionFont());
    const int thickness = turned.ascent() + turned.descent();
    AxisTextBoxes boxes;
    int labelsLeft = l.yLabelRight;
    // The page's size, unless the widest value (the top ones in A/m) would leave the caption
    // no room at the page's edge: then the largest that does, down to the printout's.
    for (int size = form.print ? kSmallestValueFont : 16;; --size) {
        const QFontMetrics values(PageFont(size));
        boxes.valueFontSize = size;
        labelsLeft = l.yLabelRight;
        for (int i = 0; i < 3; ++i) {
            const int w = values.horizontalAdvance(t.values[i]);
            boxes.values[i] =
                QRect(l.yLabelRight - w, t.baselines[i] - values.ascent(), w, values.ascent() + values.descent());
            labelsLeft = std::min(labelsLeft, boxes.values[i].left());
        }
        if (t.caption.isEmpty() || labelsLeft - kCaptionGap >= thickness || size <= kSmallestValueFont) break;
    }
    if (t.caption.isEmpty()) return boxes;
    // Its own place about captionX, unless long values (A/m, %) reach into it: then it moves
    // left, so that it still stands beside them.
    const int right = std::min(l.captionX + 5 + turned.descent(), labelsLeft - kCaptionGap);
    const int length = turned.horizontalAdvance(t.caption);
    boxes.caption = QRect(right - thickness, t.centreY - length / 2, thickness, length);
    return boxes;
}

void DrawYLabels(QPainter& p, const LoggerModel& m, const GraphForm& form) {
    const AxisTexts t = AxisTextsOf(m, form);
    const AxisTextBoxes boxes = Place(t, form);
    p.setPen(Qt::black);
    p.setFont(PageFont(boxes.valueFontSize));
    for (int i = 0; i < 3; ++i) p.drawText(boxes.values[i].left(), t.baselines[i], t.values[i]);
    if (t.caption.isEmpty()) return;
    p.save();
    p.setFont(CaptionFont());
    // Turned a quarter to the left: the text runs upwards, its base line on the right.
    p.translate(boxes.caption.right() + 1 - QFontMetrics(CaptionFont()).descent(), t.centreY);
    p.rotate(-90);
    p.drawText(-boxes.caption.height() / 2, 0, t.caption);
    p.restore();
}

void DrawTimeLabelsAndInfo(QPainter& p, const LoggerModel& m, const GraphForm& form) {
    const auto& area = m.Area();
    const PageLayout& l = *form.layout;
    p.setPen(Qt::black);
    p.setFont(PageFont(form.print ? 12 : 16));
    const auto [left, right] = TimeLabels(m.PeriodInForce(), m.ScrollDivision());
    const int y = Y(form, l.timeLabelY);
    TextCentred(p, area.left, y, QString::fromStdString(left));
    TextCentred(p, (area.left + area.right) / 2, y, QStringLiteral("Time"));
    TextCentred(p, area.right, y, QString::fromStdString(right));
    TextCentred(p, (area.left + area.right) / 2, Y(form, l.infoLineY), QString::fromStdString(InfoLine(m, form.print)));
}

}  // namespace

AxisTextBoxes PlaceAxisTexts(const LoggerModel& model, const GraphForm& form) {
    return Place(AxisTextsOf(model, form), form);
}

void PaintGraph(QPainter& p, const LoggerModel& m, const GraphForm& form) {
    const bool known = m.RecordKnown();
    if (known) DrawLegendLines(p, form);
    DrawFrameBandGrid(p, m, form, known);
    if (!known) return;  // no meter and no data: the graph stays blank
    DrawTimeLabelsAndInfo(p, m, form);
    DrawYLabels(p, m, form);
    if (m.HasData()) {
        const auto segments = m.VisibleSegments();
        if (m.ScrollDivision() == 0) DrawSegment(p, m, form, 0);
        for (int a : segments) DrawSegment(p, m, form, a);
    }
}

void PaintSegment(QPainter& p, const LoggerModel& m, const GraphForm& form, int slot) {
    if (slot < 0 || slot >= link::kLogSlots || slot > m.LastDrawableSlot()) return;
    DrawSegment(p, m, form, slot);
}

void PaintCursor(QPainter& p, const LoggerModel& m, const GraphForm& form) {
    if (!m.RecordKnown()) return;
    const auto& area = m.Area();
    p.setPen(QPen(kCursor, 1));
    const int x = m.CursorX();
    p.drawLine(x, Y(form, area.bottom - kPlotHeight + 1), x, Y(form, area.bottom - 1));
}

void PaintPrintout(QPaintDevice& device, const LoggerModel& m) {
    QPainter p(&device);
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setWindow(0, 0, kPrintWidth, kPrintHeight);
    p.setViewport(0, 0, device.width(), device.height());
    p.setBackgroundMode(Qt::TransparentMode);

    GraphForm form;
    form.print = true;
    form.stretch = kPrintStretch;
    PaintGraph(p, m, form);

    const PageLayout& l = *form.layout;
    const auto& area = m.Area();
    p.setPen(Qt::black);
    p.setFont(PageFont(16));
    TextCentred(p, (area.left + area.right) / 2, kPrintTitleY, QStringLiteral("TAVIK QM8620 Effective Value Logger"));
    p.drawText(area.left, kPrintStartLineY, QString::fromStdString(PrintStartLine(m.StartTimeOfData())));
    static const char* kLetters[4] = {"R", "x", "y", "z"};
    for (int t = 0; t < 4; ++t) {
        TextCentred(p, l.traceButtons[t].CentreX(), Y(form, l.traceButtons[t].CentreY()) + 5,
                    QString::fromLatin1(kLetters[t]));
    }
}

}  // namespace tessera::logger
