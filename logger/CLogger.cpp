#include "logger/CLogger.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QPrinter>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QShowEvent>
#include <algorithm>

#include "link/Stores.h"
#include "logger/GraphPainter.h"
#include "logger/PageLayout.h"
#include "logger/Recovery.h"
#include "ui/IconButton.h"
#include "ui/Icons.h"
#include "ui/QtPrompter.h"

namespace tessera::logger {
namespace {

// The part of the page the graph draws on: labels, plot, time axis and info line.
QRect GraphRegion(const PageLayout& l) { return QRect(0, l.plot.top - 16, l.width, l.readout.top - l.plot.top + 12); }

QRect ToRect(const Box& b) { return QRect(b.left, b.top, b.width, b.height); }

}  // namespace

CLogger::CLogger(link::MeterPort& meter, page::Prompter& prompter, platform::Clock& clock, QWidget* parent)
    : ui::SheetPage(parent), prompter_(prompter), clock_(clock), model_(meter, prompter, clock) {
    setWindowTitle(QStringLiteral("     Effective Value Logger     "));
    const PageLayout& l = DefaultLayout();
    setMinimumSize(l.width, l.height);

    start_ = new QPushButton(QStringLiteral("Start"), this);
    stop_ = new QPushButton(QStringLiteral("Stop"), this);
    fileRead_ = new QPushButton(QStringLiteral("File Read"), this);
    csvSave_ = new QPushButton(QStringLiteral("CSV Save"), this);
    print_ = new ui::IconButton(QStringLiteral("Print"), this);
    print_->SetIcon(ui::ResourceIcon(ui::kPrintIcon));
    print_->SetFlat(false, false);  // the Print buttons are the raised kind; only the logo is flat
    start_->setGeometry(90, 16, 90, 30);
    stop_->setGeometry(190, 16, 90, 30);
    fileRead_->setGeometry(330, 16, 100, 30);
    csvSave_->setGeometry(440, 16, 100, 30);
    print_->setGeometry(590, 12, 100, 38);

    auto* periodLabel = new QLabel(QStringLiteral("Time/div"), this);
    periodLabel->setGeometry(90, 64, 120, 20);
    period_ = new QComboBox(this);
    period_->setGeometry(90, 86, 230, 28);
    auto* methodLabel = new QLabel(QStringLiteral("Sampling"), this);
    methodLabel->setGeometry(350, 64, 120, 20);
    const char* methodTexts[3] = {"Fixed Interval", "Average", "Maximum"};
    auto* group = new QButtonGroup(this);
    for (int m = 0; m < 3; ++m) {
        methods_[m] = new QRadioButton(QString::fromLatin1(methodTexts[m]), this);
        methods_[m]->setGeometry(350 + m * 120, 90, 118, 22);
        group->addButton(methods_[m], m);
    }

    const char* traceTexts[4] = {"R", "x", "y", "z"};
    auto* legend = new QLabel(this);
    legend->setGeometry(ToRect(l.legendFrame));
    legend->setFrameStyle(QFrame::Box | QFrame::Plain);
    legend->lower();
    for (int t = 0; t < 4; ++t) {
        traces_[t] = new QPushButton(QString::fromLatin1(traceTexts[t]), this);
        traces_[t]->setCheckable(true);
        traces_[t]->setChecked(true);
        traces_[t]->setGeometry(ToRect(l.traceButtons[t]));
        connect(traces_[t], &QPushButton::clicked, this, [this, t] {
            model_.ToggleTrace(t);
            Sync();
        });
    }

    scroll_ = new QScrollBar(Qt::Horizontal, this);
    scroll_->setGeometry(ToRect(l.scrollBar));
    scroll_->setPageStep(1);
    readout_ = new QLineEdit(this);
    readout_->setGeometry(ToRect(l.readout));
    readout_->setReadOnly(true);
    readout_->setAlignment(Qt::AlignCenter);

    connect(start_, &QPushButton::clicked, this, &CLogger::StartLogging);
    connect(stop_, &QPushButton::clicked, this, &CLogger::Stop);
    connect(fileRead_, &QPushButton::clicked, this, &CLogger::FileRead);
    connect(csvSave_, &QPushButton::clicked, this, [this] { SaveCsv(); });
    connect(print_, &QPushButton::clicked, this, &CLogger::Print);
    connect(period_, &QComboBox::activated, this, [this](int index) {
        model_.SelectPeriod(index);
        Sync();
    });
    connect(group, &QButtonGroup::idClicked, this, [this](int method) {
        model_.SelectMethod(method);
        Sync();
    });
    connect(scroll_, &QScrollBar::actionTriggered, this, [this](int action) {
        if (syncing_) return;
        switch (action) {
            case QAbstractSlider::SliderSingleStepSub:
            case QAbstractSlider::SliderPageStepSub: model_.ScrollLeft(); break;
            case QAbstractSlider::SliderSingleStepAdd:
            case QAbstractSlider::SliderPageStepAdd: model_.ScrollRight(); break;
            case QAbstractSlider::SliderMove: model_.ScrollTo(scroll_->sliderPosition()); break;
            default: return;
        }
        // The model decides where the window goes; the thumb follows it.
        QMetaObject::invokeMethod(
            this, [this] { Sync(); }, Qt::QueuedConnection);
    });

    timer_.setSingleShot(true);
    timer_.setTimerType(Qt::PreciseTimer);
    connect(&timer_, &QTimer::timeout, this, &CLogger::OnTimer);

    model_.SetPlotArea(l.plot);
    model_.SetJournal(&journal_);
    Sync();
}

CLogger::~CLogger() = default;

QPushButton* CLogger::PrintButton() const { return print_; }

void CLogger::Refresh() {
    link::loggerPageShown = true;  // the arrow keys move its cursor while it is shown
    model_.Refresh();
    Sync();
    switch (model_.ControlState().focus) {
        case Controls::kFocusStart: start_->setFocus(); break;
        case Controls::kFocusStop: stop_->setFocus(); break;
        case Controls::kFocusFileRead: fileRead_->setFocus(); break;
    }
}

void CLogger::StartLogging() {
    if (!model_.Start()) {
        Sync();
        return;
    }
    Sync();
    stop_->setFocus();
    timer_.start(0);
}

void CLogger::Stop() {
    timer_.stop();
    model_.Stop();
    Sync();
    if (start_->isEnabled()) start_->setFocus();
}

bool CLogger::SaveCsv() {
    const bool saved = model_.SaveCsv();
    Sync();
    return saved;
}

void CLogger::FileRead() {
    model_.FileRead();
    Sync();
}

void CLogger::Print() {
    if (!model_.PrintAllowed()) return;
    const auto choice = prompter_.ChoosePrinter({kPrintDocumentName, true, 1, 1});
    if (!choice) return;
    const auto printer = ui::MakePrinter(*choice, kPrintDocumentName);
    printer->setPageOrientation(QPageLayout::Landscape);  // the graph is drawn for a landscape page
    PaintPrintout(*printer, model_);
}

void CLogger::OfferRecovery() {
    if (logger::OfferRecovery(model_, journal_, prompter_)) Sync();
}

void CLogger::DeclineUnsaved() {
    if (model_.DataState() == DataState::Unsaved && !model_.Running()) journal_.Discard();
}

void CLogger::MoveCursor(int step) {
    model_.MoveCursor(step);
    Sync();
}

void CLogger::RedrawGraph() {
    RebuildCanvas();
    update();
}

void CLogger::OnTimer() {
    model_.Tick(clock_.Millis());
    Sync();
    if (model_.Running()) {
        const std::uint32_t wait = model_.MillisUntilNextPoll(clock_.Millis());
        timer_.start(static_cast<int>(std::min<std::uint32_t>(wait, 250)));
    } else if (start_->isEnabled()) {
        start_->setFocus();
    }
}

void CLogger::Sync() {
    syncing_ = true;
    const Controls& c = model_.ControlState();
    start_->setEnabled(c.start);
    stop_->setEnabled(c.stop);
    fileRead_->setEnabled(c.fileRead);
    csvSave_->setEnabled(c.csvSave);
    print_->setEnabled(c.print);
    period_->setEnabled(c.combo);
    for (auto* t : traces_) t->setEnabled(c.traces);
    for (int t = 0; t < 4; ++t) traces_[t]->setChecked(model_.TraceShown(t));

    QStringList items;
    for (const auto& item : c.comboItems) items << QString::fromStdString(item);
    QStringList shown;
    for (int i = 0; i < period_->count(); ++i) shown << period_->itemText(i);
    if (items != shown) {
        period_->clear();
        period_->addItems(items);
    }
    period_->setCurrentIndex(model_.PeriodIndex());

    methods_[0]->setEnabled(c.fixedEnabled && !model_.Running());
    methods_[1]->setEnabled(c.averageEnabled && !model_.Running());
    methods_[2]->setEnabled(c.maximumEnabled && !model_.Running());
    methods_[model_.SamplingMethod()]->setChecked(true);

    scroll_->setEnabled(c.scrollEnabled);
    scroll_->setRange(0, std::max(0, c.scrollMax));
    scroll_->setValue(model_.ScrollDivision());

    const QString readout = QString::fromStdString(model_.ReadoutText());
    if (readout_->text() != readout) readout_->setText(readout);
    syncing_ = false;

    DrawRequests requests = model_.TakeDrawRequests();
    if (requests.full || canvas_.isNull()) {
        RebuildCanvas();
    } else if (!requests.newSegments.empty()) {
        QPainter p(&canvas_);
        for (int slot : requests.newSegments) PaintSegment(p, model_, GraphForm{}, slot);
    }
    update(GraphRegion(DefaultLayout()));
    emit DataChanged();
}

void CLogger::RebuildCanvas() {
    const PageLayout& l = DefaultLayout();
    const qreal ratio = devicePixelRatioF();
    QPixmap pixmap(QSize(l.width, l.height) * ratio);
    pixmap.setDevicePixelRatio(ratio);
    pixmap.fill(Qt::transparent);
    {
        QPainter p(&pixmap);
        // One white band across the whole page: the labels, the plot, the time axis (whose
        // right label reaches past the plot) and the legend share it, so no strip of the
        // page colour is left between them.
        p.fillRect(GraphRegion(l), Qt::white);
        PaintGraph(p, model_, GraphForm{});
    }
    canvas_ = std::move(pixmap);
}

void CLogger::paintEvent(QPaintEvent*) {
    QPainter p(this);
    // A page wider than its layout carries the graph's white band on to its right edge.
    const QRect band = GraphRegion(DefaultLayout());
    if (width() > band.right() + 1) {
        p.fillRect(QRect(band.right() + 1, band.top(), width() - band.right() - 1, band.height()), Qt::white);
    }
    if (!canvas_.isNull()) p.drawPixmap(0, 0, canvas_);
    PaintCursor(p, model_, GraphForm{});
}

void CLogger::showEvent(QShowEvent* event) {
    ui::SheetPage::showEvent(event);
    // The page in front when the window opens never becomes "current" afterwards, so it
    // reads the meter itself the first time it is shown; later showings come with the
    // sheet's own refresh.
    if (!shownBefore_) {
        shownBefore_ = true;
        Refresh();
    }
}

void CLogger::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        model_.PlaceCursor(event->position().toPoint().x(), event->position().toPoint().y());
        Sync();
    }
    ui::SheetPage::mousePressEvent(event);
}

}  // namespace tessera::logger
