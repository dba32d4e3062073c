#pragma once
// The Survey page's two pictures, drawn from the model on any paint device (the page, an
// image, a printer): the time graph on a logarithmic value axis, with the guidance bands
// shaded, the reference limit and the thresholds as lines, the maximum marked and the span
// between the cursors; and the histogram of the samples on bins of a tenth of a decade.

#include <QRect>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "survey/SurveyModel.h"

class QPainter;

namespace tessera::survey {

// Where the strokes go inside the area given to PaintTimeGraph (labels take the rest).
QRect TimePlotRect(const QRect& area);
QRect HistogramPlotRect(const QRect& area);

struct GraphMarks {
    std::optional<std::pair<std::size_t, std::size_t>> span;  // samples between the cursors
    std::optional<std::size_t> pending;                       // a cursor set, the other not yet
    bool hints = true;  // the page's hints for the person at it ("Drag across..."); none on paper
};

void PaintTimeGraph(QPainter& p, const QRect& area, const SurveyModel& model, const GraphMarks& marks);
// The same in two layers: what changes rarely (frame, axes, labels, bands, limit and
// thresholds) and the readings with the maximum and the cursors over it. A view may keep
// the first as a picture while its key stays the same.
void PaintTimeGraphBackground(QPainter& p, const QRect& area, const SurveyModel& model);
void PaintTimeGraphData(QPainter& p, const QRect& area, const SurveyModel& model, const GraphMarks& marks);
std::string TimeGraphBackgroundKey(const QRect& area, const SurveyModel& model);
// What each picture would show, to the pixel: a view need not repaint while it stays the
// same (a live sample seldom moves a pixel of a long series).
std::string TimeGraphDataKey(const QRect& area, const SurveyModel& model, const GraphMarks& marks);
std::string HistogramKey(const QRect& area, const SurveyModel& model);
void PaintHistogram(QPainter& p, const QRect& area, const SurveyModel& model);

}  // namespace tessera::survey
