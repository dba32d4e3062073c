#include "survey/ReportPainter.h"

#include <QLocale>
#include <QPagedPaintDevice>
#include <QPainter>
#include <QTextLayout>
#include <algorithm>
#include <memory>

#include "survey/SurveyModel.h"
#include "survey/SurveyPainter.h"
#include "ui/Fonts.h"

namespace tessera::survey {
namespace {

const QColor kInk(20, 20, 20);
const QColor kGrey(95, 95, 95);
const QColor kRule(150, 150, 150);
const QColor kHeadFill(232, 232, 232);

// The graph is drawn in the Survey page's own coordinates (its labels and margins are sized
// for them), this many of them across the text width, then scaled onto the paper.
constexpr double kGraphUnitsWide = 700;
constexpr double kGraphHeightMm = 78;

QString Q(const std::string& s) {
    QString text = QString::fromStdString(s);
    text.replace(QLatin1Char('\n'), QChar::LineSeparator);
    return text;
}

// Lays out text in a width: words wrap, and a word too long for the width (a path) breaks.
class Text {
public:
    Text(const QString& text, const QFont& font, QPaintDevice* device, double width,
         Qt::Alignment align = Qt::AlignLeft)
        : layout_(text, font, device) {
        QTextOption option(align);
        option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
        layout_.setTextOption(option);
        layout_.beginLayout();
        for (;;) {
            QTextLine line = layout_.createLine();
            if (!line.isValid()) break;
            line.setLineWidth(width);
            line.setPosition(QPointF(0, height_));
            height_ += line.height();
        }
        layout_.endLayout();
    }
    double Height() const { return height_; }
    void Draw(QPainter* p, QPointF at) const {
        if (p) layout_.draw(p, at);
    }

private:
    QTextLayout layout_;
    double height_ = 0;
};

class Pages {
public:
    Pages(QPagedPaintDevice& device, QPainter* painter, int pageCount)
        : device_(device), p_(painter), pageCount_(pageCount) {
        dpi_ = device.logicalDpiY();
        width_ = device.width();
        const double footer = Mm(9);
        bottom_ = device.height() - footer;
        body_ = Font(10);
        small_ = Font(8.5);
        bold_ = Font(10, true);
        smallBold_ = Font(8.5, true);
        heading_ = Font(13, true);
        title_ = Font(20, true);
    }

    double Mm(double mm) const { return mm * dpi_ / 25.4; }

    void Draw(const SurveyReport& report) {
        footer_ = report.footer;
        const auto& blocks = report.blocks;
        for (std::size_t i = 0; i < blocks.size(); ++i) {
            const Block& b = blocks[i];
            switch (b.kind) {
                case Block::Title: TitleBlock(b.text); break;
                case Block::Heading: HeadingBlock(b.text, i + 1 < blocks.size() ? &blocks[i + 1] : nullptr); break;
                case Block::Facts: FactsBlock(b); break;
                case Block::Table: TableBlock(b.table); break;
                case Block::Graph: GraphBlock(b.graph); break;
                case Block::Paragraph: ParagraphBlock(b.text, body_, kInk, Mm(2.5)); break;
                case Block::Small: ParagraphBlock(b.text, small_, kGrey, Mm(1.2)); break;
            }
        }
        Footer();
    }

    int PageCount() const { return page_; }

private:
    QFont Font(double points, bool bold = false) const {
        QFont f(ui::CenturyFamilies().first());
        f.setPointSizeF(points);
        f.setBold(bold);
        return f;
    }

    void Room(double height) {
        if (y_ + height <= bottom_ || y_ == 0) return;
        NewPage();
    }

    void NewPage() {
        Footer();
        if (p_) device_.newPage();
        ++page_;
        y_ = 0;
    }

    void Footer() {
        if (!p_) return;
        p_->save();
        p_->setFont(small_);
        p_->setPen(kGrey);
        const double top = bottom_ + Mm(3);
        p_->setPen(QPen(kRule, 0));
        p_->drawLine(QPointF(0, top), QPointF(width_, top));
        p_->setPen(kGrey);
        const QRectF line(0, top + Mm(1), width_, Mm(5));
        p_->drawText(line, Qt::AlignLeft | Qt::AlignTop, Q(footer_));
        p_->drawText(line, Qt::AlignRight | Qt::AlignTop,
                     QStringLiteral("Page %1 of %2").arg(page_).arg(std::max(pageCount_, page_)));
        p_->restore();
    }

    void TitleBlock(const std::string& text) {
        Text t(Q(text), title_, &device_, width_);
        Room(t.Height() + Mm(4));
        if (p_) p_->setPen(kInk);
        t.Draw(p_, QPointF(0, y_));
        y_ += t.Height() + Mm(1.5);
        if (p_) {
            p_->setPen(QPen(kInk, Mm(0.4)));
            p_->drawLine(QPointF(0, y_), QPointF(width_, y_));
        }
        y_ += Mm(4);
    }

    // A heading stays with the beginning of what follows it.
    void HeadingBlock(const std::string& text, const Block* next) {
        Text t(Q(text), heading_, &device_, width_);
        double keep = Mm(14);
        if (next && next->kind == Block::Graph) keep = Mm(kGraphHeightMm);
        if (next && next->kind == Block::Small) keep = Mm(kGraphHeightMm) + Mm(6);  // a run's summary, then its graph
        if (next && next->kind == Block::Facts) keep = std::min(FactsHeight(*next), Body() * 0.45);
        if (next && next->kind == Block::Paragraph)
            keep = std::min(Text(Q(next->text), body_, &device_, width_).Height(), Body() * 0.45);
        if (y_ > 0) y_ += Mm(4);
        Room(t.Height() + Mm(2) + keep);
        if (p_) p_->setPen(kInk);
        t.Draw(p_, QPointF(0, y_));
        y_ += t.Height() + Mm(0.6);
        if (p_) {
            p_->setPen(QPen(kRule, Mm(0.2)));
            p_->drawLine(QPointF(0, y_), QPointF(width_, y_));
        }
        y_ += Mm(2);
    }

    void ParagraphBlock(const std::string& text, const QFont& font, const QColor& colour, double after) {
        Text t(Q(text), font, &device_, width_);
        Room(t.Height());
        if (p_) p_->setPen(colour);
        t.Draw(p_, QPointF(0, y_));
        y_ += t.Height() + after;
    }

    // A column of facts at `x`, `width` wide, from the current line; its height.
    double FactColumn(const std::vector<Row>& rows, std::size_t from, std::size_t to, double x, double width,
                      bool breaks) {
        const double labelWidth = width * (width < width_ ? 0.42 : 0.27), gap = Mm(3);
        double y = y_;
        for (std::size_t i = from; i < to; ++i) {
            const Row& r = rows[i];
            Text label(Q(r.label), bold_, &device_, labelWidth);
            Text value(Q(r.text), body_, &device_, width - labelWidth - gap);
            const double h = std::max(label.Height(), value.Height());
            if (breaks) {
                Room(h);
                y = y_;
            }
            if (p_) p_->setPen(kGrey);
            label.Draw(p_, QPointF(x, y));
            if (p_) p_->setPen(kInk);
            value.Draw(p_, QPointF(x + labelWidth + gap, y));
            y += h + Mm(0.7);
            if (breaks) y_ = y;
        }
        return y - y_;
    }

    // Facts in one column break between rows, unless they are short enough to keep together;
    // in two columns (the statistics) they always stay together.
    void FactsBlock(const Block& b) {
        const double height = FactsHeight(b);
        if (b.columns > 1 || height < Body() * 0.45) Room(height);
        if (b.columns > 1) {
            const std::size_t split = Split(b.facts);
            const double gap = Mm(8), w = (width_ - gap) / 2;
            const double left = FactColumn(b.facts, 0, split, 0, w, false);
            const double right = FactColumn(b.facts, split, b.facts.size(), w + gap, w, false);
            y_ += std::max(left, right);
        } else {
            FactColumn(b.facts, 0, b.facts.size(), 0, width_, true);
        }
        y_ += Mm(2);
    }

    // Where the second column begins: about half way, never between a row and the rows that belong to it.
    static std::size_t Split(const std::vector<Row>& rows) {
        std::size_t split = (rows.size() + 1) / 2;
        while (split < rows.size() && !rows[split].label.empty() && rows[split].label.front() == ' ') ++split;
        return split;
    }

    double FactsHeight(const Block& b) {
        QPainter* keep = p_;
        p_ = nullptr;  // measure only
        double h = 0;
        if (b.columns > 1) {
            const std::size_t split = Split(b.facts);
            const double w = (width_ - Mm(8)) / 2;
            h = std::max(FactColumn(b.facts, 0, split, 0, w, false),
                         FactColumn(b.facts, split, b.facts.size(), 0, w, false));
        } else {
            h = FactColumn(b.facts, 0, b.facts.size(), 0, width_, false);
        }
        p_ = keep;
        return h;
    }

    double Body() const { return bottom_; }

    struct Cells {
        std::vector<std::unique_ptr<Text>> texts;
        double height = 0;
    };

    Cells RowCells(const ReportTable& t, const std::vector<std::string>& row, const QFont& font) {
        Cells c;
        const double pad = Mm(1);
        for (std::size_t k = 0; k < t.widths.size(); ++k) {
            const double w = t.widths[k] * width_ - 2 * pad;
            const bool right = k < t.numeric.size() && t.numeric[k];
            c.texts.push_back(std::make_unique<Text>(Q(k < row.size() ? row[k] : std::string()), font, &device_, w,
                                                     right ? Qt::AlignRight : Qt::AlignLeft));
            c.height = std::max(c.height, c.texts.back()->Height());
        }
        c.height += 2 * Mm(0.8);
        return c;
    }

    void DrawCells(const ReportTable& t, const Cells& c, bool head) {
        if (!p_) return;
        const double pad = Mm(1);
        if (head) p_->fillRect(QRectF(0, y_, width_, c.height), kHeadFill);
        p_->setPen(kInk);
        double x = 0;
        for (std::size_t k = 0; k < c.texts.size(); ++k) {
            c.texts[k]->Draw(p_, QPointF(x + pad, y_ + Mm(0.8)));
            x += t.widths[k] * width_;
        }
        p_->setPen(QPen(kRule, 0));
        p_->drawLine(QPointF(0, y_ + c.height), QPointF(width_, y_ + c.height));
    }

    void TableBlock(const ReportTable& t) {
        const Cells head = RowCells(t, t.head, smallBold_);
        bool headDrawn = false;
        for (const auto& row : t.rows) {
            const Cells cells = RowCells(t, row, small_);
            if (!headDrawn || y_ + cells.height > bottom_) {
                Room(head.height + cells.height);
                DrawCells(t, head, true);
                y_ += head.height;
                headDrawn = true;
            }
            DrawCells(t, cells, false);
            y_ += cells.height;
        }
        if (!headDrawn) {
            Room(head.height);
            DrawCells(t, head, true);
            y_ += head.height;
        }
        y_ += Mm(3);
    }

    void GraphBlock(const GraphSpec& g) {
        const double height = Mm(kGraphHeightMm);
        Room(height);
        if (p_ && g.series) {
            // The Survey page's model and painter draw it, as the page would show this run.
            ProfileBook book;
            if (g.reference) book.Add({{*g.reference}, {}});
            SurveyModel model(book);
            if (g.reference) model.SetReference(g.reference->id);
            model.SetFrequency(g.frequencyHz);
            std::string thresholds;
            for (double v : g.thresholds) thresholds += (thresholds.empty() ? "" : ", ") + ExactNumber(v) + g.unit.name;
            model.ShowFiles(*g.series);
            model.SetUnit(g.unit.name);
            if (!thresholds.empty()) model.SetThresholds(thresholds);
            GraphMarks marks;
            marks.hints = false;

            const double scale = width_ / kGraphUnitsWide;
            p_->save();
            p_->translate(0, y_);
            p_->scale(scale, scale);
            QFont font = ui::CenturyFamilies().first();
            font.setPixelSize(11);
            p_->setFont(font);
            const QRect area(0, 0, static_cast<int>(kGraphUnitsWide), static_cast<int>(height / scale));
            PaintTimeGraph(*p_, area, model, marks);
            p_->restore();
        }
        y_ += height + Mm(3);
    }

    QPagedPaintDevice& device_;
    QPainter* p_;
    int pageCount_;
    double dpi_ = 72, width_ = 0, bottom_ = 0, y_ = 0;
    int page_ = 1;
    std::string footer_;
    QFont body_, small_, bold_, smallBold_, heading_, title_;
};

}  // namespace

QPageSize ReportPaper(const QLocale& locale) {
    if (locale.measurementSystem() == QLocale::ImperialUSSystem) return QPageSize(QPageSize::Letter);
    switch (locale.territory()) {
        case QLocale::UnitedStates:
        case QLocale::Canada:
        case QLocale::Mexico:
        case QLocale::Philippines:
        case QLocale::Chile:
        case QLocale::Colombia:
        case QLocale::Venezuela:
        case QLocale::PuertoRico: return QPageSize(QPageSize::Letter);
        default: return QPageSize(QPageSize::A4);
    }
}

int PrintReport(QPagedPaintDevice& device, const SurveyReport& report) {
    device.setPageMargins(QMarginsF(20, 16, 18, 12), QPageLayout::Millimeter);
    // First without ink, to know how many pages there are; then on paper.
    Pages counting(device, nullptr, 0);
    counting.Draw(report);
    QPainter painter;
    if (!painter.begin(&device)) return 0;
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    Pages pages(device, &painter, counting.PageCount());
    pages.Draw(report);
    painter.end();
    return pages.PageCount();
}

}  // namespace tessera::survey
