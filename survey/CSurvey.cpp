#include "survey/CSurvey.h"

#include <QApplication>
#include <QButtonGroup>
#include <QClipboard>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QStaticText>
#include <QStyledItemDelegate>
#include <QTableWidget>
#include <QVBoxLayout>

#include <filesystem>

#include "entire_read/EntireReadModel.h"
#include "logger/LoggerModel.h"
#include "platform/FileReplace.h"
#include "platform/Files.h"
#include "platform/NumberMarks.h"
#include "platform/Paths.h"
#include "survey/CRecordNotes.h"
#include "survey/ReportDialog.h"
#include "ui/Fonts.h"

namespace tessera::survey {
namespace {

const page::FileFilter kOpenFilter{"8620 CSV file(*.CSV)", "*.CSV"};

QString Q(const std::string& s) { return QString::fromStdString(s); }

}  // namespace

// Cells drawn as plain text: a live run rewrites most of the table with every sample, and
// the style's full cell painting, and laying out the same texts again and again, would
// cost more than the statistics themselves. Laid-out texts are kept.
class PlainCells final : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter* p, const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        const bool selected = option.state & QStyle::State_Selected;
        if (selected) p->fillRect(option.rect, option.palette.highlight());
        p->setPen(selected ? option.palette.color(QPalette::HighlightedText) : option.palette.color(QPalette::Text));
        const QString text = index.data().toString();
        if (texts_.size() > 1000) texts_.clear();
        auto it = texts_.find(text);
        if (it == texts_.end()) {
            QStaticText laidOut(text);
            laidOut.setTextFormat(Qt::PlainText);
            laidOut.prepare(QTransform(), option.font);
            it = texts_.insert(text, laidOut);
        }
        // Cut at the cell's edge; the whole text is in the cell's tool tip and in "Copy".
        p->save();
        p->setClipRect(option.rect.adjusted(0, 0, -3, 0));
        const QSizeF size = it->size();
        p->drawStaticText(
            QPointF(option.rect.left() + 4, option.rect.top() + (option.rect.height() - size.height()) / 2), *it);
        p->restore();
    }

private:
    mutable QHash<QString, QStaticText> texts_;
};

// The time graph: the model's picture, and the two cursors a drag places.
class CSurvey::TimeGraph final : public QWidget {
public:
    explicit TimeGraph(CSurvey& page) : QWidget(&page), page_(page) {
        setMinimumSize(380, 200);
        setCursor(Qt::CrossCursor);
    }
    int Columns() const { return std::max(TimePlotRect(rect()).width(), 1); }
    // Repaints only when a pixel would change.
    void Follow() {
        std::string key = TimeGraphDataKey(rect(), *page_.model_, page_.marks_);
        if (key == shownKey_) return;
        shownKey_ = std::move(key);
        update();
    }
    int ColumnAt(int x) const { return std::clamp(x - TimePlotRect(rect()).left(), 0, Columns() - 1); }

protected:
    void paintEvent(QPaintEvent*) override {
        // The axes and labels change seldom; during a live run only the readings are new.
        const std::string key = TimeGraphBackgroundKey(rect(), *page_.model_);
        const qreal ratio = devicePixelRatioF();
        if (key != backgroundKey_ || background_.devicePixelRatio() != ratio) {
            background_ = QPixmap(size() * ratio);
            background_.setDevicePixelRatio(ratio);
            QPainter b(&background_);
            PaintTimeGraphBackground(b, rect(), *page_.model_);
            backgroundKey_ = key;
        }
        QPainter p(this);
        p.drawPixmap(0, 0, background_);
        PaintTimeGraphData(p, rect(), *page_.model_, page_.marks_);
    }
    void mousePressEvent(QMouseEvent* e) override {
        if (e->button() != Qt::LeftButton) return;
        pressed_ = ColumnAt(e->position().toPoint().x());
        page_.marks_.span.reset();
        page_.marks_.pending = page_.model_->SampleAtColumn(*pressed_, Columns());
        page_.model_->ClearCursors();
        page_.Sync();
    }
    void mouseMoveEvent(QMouseEvent* e) override {
        if (pressed_) page_.SelectColumns(*pressed_, ColumnAt(e->position().toPoint().x()));
    }
    void mouseReleaseEvent(QMouseEvent* e) override {
        if (!pressed_) return;
        page_.SelectColumns(*pressed_, ColumnAt(e->position().toPoint().x()));
        pressed_.reset();
    }
    void mouseDoubleClickEvent(QMouseEvent*) override {
        page_.marks_ = {};
        page_.model_->ClearCursors();
        page_.Sync();
    }

private:
    CSurvey& page_;
    std::optional<int> pressed_;
    QPixmap background_;
    std::string backgroundKey_;
    std::string shownKey_;
};

class CSurvey::HistogramView final : public QWidget {
    std::string shownKey_;

public:
    explicit HistogramView(CSurvey& page) : QWidget(&page), page_(page) { setMinimumSize(380, 130); }
    void Follow() {
        std::string key = HistogramKey(rect(), *page_.model_);
        if (key == shownKey_) return;
        shownKey_ = std::move(key);
        update();
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        PaintHistogram(p, rect(), *page_.model_);
    }

private:
    CSurvey& page_;
};

CSurvey::CSurvey(page::Prompter& prompter, std::unique_ptr<SurveyModel> model, QWidget* parent)
    : ui::SheetPage(parent), prompter_(prompter), ownModel_(model ? std::move(model) : std::make_unique<SurveyModel>()),
      model_(ownModel_.get()), cancel_(std::make_shared<std::atomic<bool>>(false)) {
    setWindowTitle(QString::fromLatin1(kPageTitle));
    QFont century = font();
    century.setFamilies(ui::CenturyFamilies());
    setFont(century);

    loggerSource_ = new QRadioButton(QStringLiteral("Effective Value Logger"), this);
    entireSource_ = new QRadioButton(QStringLiteral("Entire Read"), this);
    filesSource_ = new QRadioButton(QStringLiteral("File"), this);
    auto* sources = new QButtonGroup(this);
    sources->addButton(loggerSource_);
    sources->addButton(entireSource_);
    sources->addButton(filesSource_);
    loggerSource_->setChecked(true);
    filesSource_->setEnabled(false);
    open_ = new QPushButton(QStringLiteral("Open..."), this);
    stop_ = new QPushButton(QStringLiteral("Stop"), this);
    stop_->setVisible(false);
    copy_ = new QPushButton(QStringLiteral("Copy"), this);
    copy_->setToolTip(QStringLiteral("Copy everything the page shows as text"));
    export_ = new QPushButton(QStringLiteral("Export..."), this);
    export_->setToolTip(QStringLiteral("Write the samples for other programs: open CSV, JSON Lines or a spreadsheet"));
    auto* forms = new QMenu(export_);
    forms->addAction(QStringLiteral("Open CSV (ISO 8601 times)..."), this, [this] { OnExport(ExportForm::OpenCsv); });
    forms->addAction(QStringLiteral("JSON Lines..."), this, [this] { OnExport(ExportForm::Jsonl); });
    forms->addAction(QStringLiteral("Spreadsheet (this computer's number format)..."), this,
                     [this] { OnExport(ExportForm::Spreadsheet); });
    export_->setMenu(forms);
    report_ = new QPushButton(QStringLiteral("Report..."), this);
    report_->setToolTip(QStringLiteral("Print a survey report of the data shown (or save it as PDF)"));
    sourceText_ = new QLabel(this);
    sourceText_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    progress_ = new QProgressBar(this);
    progress_->setRange(0, 1000);
    progress_->setTextVisible(false);
    progress_->setVisible(false);
    progress_->setMaximumHeight(14);

    quantity_ = new QComboBox(this);
    for (const char* q : {"R", "x", "y", "z"}) quantity_->addItem(QString::fromLatin1(q));
    unit_ = new QComboBox(this);
    reference_ = new QComboBox(this);
    reference_->setEditable(true);
    reference_->setInsertPolicy(QComboBox::NoInsert);
    reference_->addItem(QStringLiteral("None"), QString());
    for (const Profile& p : model_->Profiles().Profiles()) reference_->addItem(Q(p.name), Q(p.id));
    reference_->setMinimumContentsLength(22);
    reference_->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    reference_->setToolTip(QStringLiteral("A profile, or a value such as 0.4uT"));
    frequency_ = new QLineEdit(QStringLiteral("50 Hz"), this);
    frequency_->setMaximumWidth(80);
    thresholds_ = new QLineEdit(this);
    thresholds_->setPlaceholderText(QStringLiteral("e.g. 0.2uT, 1uT"));

    table_ = new QTableWidget(0, 3, this);
    table_->setHorizontalHeaderLabels({QString(), QStringLiteral("Whole series"), QStringLiteral("Between cursors")});
    table_->verticalHeader()->setVisible(false);
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->setSelectionMode(QAbstractItemView::ContiguousSelection);
    table_->setWordWrap(false);
    table_->setShowGrid(true);
    table_->verticalHeader()->setDefaultSectionSize(table_->fontMetrics().height() + 4);
    table_->horizontalHeader()->setSectionsClickable(false);
    table_->horizontalHeader()->setStretchLastSection(true);
    table_->setColumnWidth(0, 150);
    table_->setColumnWidth(1, 150);
    table_->setMinimumWidth(450);

    table_->setItemDelegate(new PlainCells(table_));
    table_->installEventFilter(this);

    graph_ = new TimeGraph(*this);
    histogram_ = new HistogramView(*this);
    // Remarks and the reference's sources: three lines in view, the rest a scroll away, so
    // the pictures keep their room.
    notes_ = new QPlainTextEdit(this);
    notes_->setReadOnly(true);
    notes_->setFrameShape(QFrame::NoFrame);
    notes_->setBackgroundRole(QPalette::Window);
    notes_->viewport()->setAutoFillBackground(false);
    notes_->setFixedHeight(3 * notes_->fontMetrics().lineSpacing() + 8);

    auto* top = new QHBoxLayout;
    top->addWidget(new QLabel(QStringLiteral("Data:"), this));
    top->addWidget(loggerSource_);
    top->addWidget(entireSource_);
    top->addWidget(filesSource_);
    top->addWidget(open_);
    top->addWidget(stop_);
    top->addStretch(1);
    top->addWidget(export_);
    top->addWidget(copy_);
    top->addWidget(report_);

    auto* status = new QHBoxLayout;
    status->addWidget(sourceText_, 1);
    status->addWidget(progress_, 1);

    // Marks during a logging run, notes on the Entire Read records.
    markText_ = new QLineEdit(this);
    markText_->setPlaceholderText(QStringLiteral("e.g. heater on"));
    markText_->setMaxLength(static_cast<int>(logger::kMarkTextLimit));
    mark_ = new QPushButton(QStringLiteral("Mark"), this);
    mark_->setToolTip(QStringLiteral("Mark the present sample of the logging run with this text"));
    recordNotes_ = new QPushButton(QStringLiteral("Notes..."), this);
    recordNotes_->setToolTip(QStringLiteral("Location, height, source and a note for each Entire Read record"));
    status->addWidget(markText_);
    status->addWidget(mark_);
    status->addWidget(recordNotes_);
    connect(mark_, &QPushButton::clicked, this, &CSurvey::OnMark);
    connect(markText_, &QLineEdit::returnPressed, this, &CSurvey::OnMark);
    connect(recordNotes_, &QPushButton::clicked, this, &CSurvey::OnRecordNotes);

    auto* settings = new QHBoxLayout;
    settings->addWidget(new QLabel(QStringLiteral("Quantity"), this));
    settings->addWidget(quantity_);
    settings->addSpacing(8);
    settings->addWidget(new QLabel(QStringLiteral("Unit"), this));
    settings->addWidget(unit_);
    settings->addSpacing(8);
    settings->addWidget(new QLabel(QStringLiteral("Reference"), this));
    settings->addWidget(reference_, 1);
    settings->addWidget(new QLabel(QStringLiteral("at"), this));
    settings->addWidget(frequency_);
    settings->addSpacing(8);
    settings->addWidget(new QLabel(QStringLiteral("Thresholds"), this));
    settings->addWidget(thresholds_, 1);

    auto* pictures = new QVBoxLayout;
    pictures->addWidget(graph_, 3);
    pictures->addWidget(histogram_, 2);
    auto* middle = new QHBoxLayout;
    middle->addWidget(table_, 0);
    middle->addLayout(pictures, 1);

    auto* page = new QVBoxLayout(this);
    page->addLayout(top);
    page->addLayout(status);
    page->addLayout(settings);
    page->addLayout(middle, 1);
    page->addWidget(notes_);

    connect(sources, &QButtonGroup::buttonClicked, this, [this](QAbstractButton* b) {
        if (b == loggerSource_) model_->ShowLogger();
        else if (b == entireSource_) model_->ShowEntireRead(entireReadCount_ ? entireReadCount_() : 0);
        else if (b == filesSource_) model_->ShowStoredFiles();
        marks_ = {};
        Sync();
    });
    connect(open_, &QPushButton::clicked, this, &CSurvey::OnOpen);
    connect(stop_, &QPushButton::clicked, this, [this] {
        if (Exporting()) StopExporting();
        else StopReading();
    });
    connect(copy_, &QPushButton::clicked, this, [this] { QApplication::clipboard()->setText(Q(model_->PageText())); });
    connect(report_, &QPushButton::clicked, this, [this] {
        ReportDialog dialog(this);
        if (dialog.exec() == QDialog::Accepted)
            PrintPageReport(prompter_, *model_,
                            {entireReadCount_ ? entireReadCount_() : 0, entireRead_ ? &entireRead_->Notes() : nullptr,
                             entireRead_ ? entireRead_->File() : std::string()},
                            dialog.Fields({}));
    });
    connect(quantity_, &QComboBox::activated, this, [this](int i) {
        model_->SetQuantity(static_cast<Quantity>(i == 0 ? kR : i - 1));
        marks_ = {};
        Sync();
    });
    connect(unit_, &QComboBox::activated, this, [this](int) {
        model_->SetUnit(unit_->currentText().toStdString());
        marks_ = {};
        Sync();
    });
    connect(reference_, &QComboBox::activated, this, [this](int i) {
        model_->SetReference(reference_->itemData(i).toString().toStdString());
        marks_ = {};
        Sync();
    });
    connect(reference_->lineEdit(), &QLineEdit::editingFinished, this, [this] {
        // A typed value ("0.4uT") or a name; the list's own entries come through activated.
        const QString text = reference_->currentText().trimmed();
        const int known = reference_->findText(text);
        const std::string wanted =
            known >= 0 ? reference_->itemData(known).toString().toStdString() : text.toStdString();
        if (!model_->SetReference(wanted))
            prompter_.Inform("\"" + text.toStdString() + "\" is no reference profile and no value such as 0.4uT.");
        marks_ = {};
        Sync();
    });
    connect(frequency_, &QLineEdit::editingFinished, this, [this] {
        const auto hz = ParseFrequency(frequency_->text().toStdString());
        if (hz) model_->SetFrequency(*hz);
        marks_ = {};
        Sync();
    });
    connect(thresholds_, &QLineEdit::editingFinished, this, [this] {
        std::string why;
        if (!model_->SetThresholds(thresholds_->text().toStdString(), &why)) prompter_.Inform(why + ".");
        marks_ = {};
        Sync();
    });
    Sync();
}

QWidget* CSurvey::Graph() const { return graph_; }

CSurvey::~CSurvey() {
    *cancel_ = true;
    if (reader_.joinable()) reader_.join();
    if (exportCancel_) *exportCancel_ = true;
    if (exporter_.joinable()) exporter_.join();
}

bool CSurvey::eventFilter(QObject* watched, QEvent* event) {
    if (watched == table_ && event->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent*>(event)->matches(QKeySequence::Copy)) {
        QString text;
        for (const QTableWidgetSelectionRange& range : table_->selectedRanges()) {
            for (int r = range.topRow(); r <= range.bottomRow(); ++r) {
                QStringList cells;
                for (int c = range.leftColumn(); c <= range.rightColumn(); ++c)
                    cells << (table_->item(r, c) ? table_->item(r, c)->text() : QString());
                text += cells.join(QLatin1Char('\t')) + QLatin1Char('\n');
            }
        }
        QApplication::clipboard()->setText(text);
        return true;
    }
    return ui::SheetPage::eventFilter(watched, event);
}

void CSurvey::SetLogger(const logger::LoggerModel* logger) {
    logger_ = logger;
    model_->SetLogger(logger);
    if (model_->CurrentSource() == Source::Logger) {
        model_->ShowLogger();
        Sync();
    }
}

void CSurvey::LoggerChanged() {
    if (model_->LoggerChanged()) Sync();
    else SyncMarkAndNotes();  // a run may have begun or ended
}

void CSurvey::SyncMarkAndNotes() {
    const bool running = logger_ && logger_->Running() && marker_;
    if (mark_->isEnabled() != running) {
        mark_->setEnabled(running);
        markText_->setEnabled(running);
    }
    const bool notes = entireRead_ && model_->CurrentSource() == Source::EntireRead && entireRead_->RecordCount() > 0;
    if (recordNotes_->isEnabled() != notes) recordNotes_->setEnabled(notes);
}

void CSurvey::OnMark() {
    if (!mark_->isEnabled() || !marker_) return;
    std::string text = logger::MarkText(markText_->text().toStdString());
    // A mark without words is still a moment worth finding again.
    if (text.empty()) text = "mark " + std::to_string(logger_->Marks().marks.size() + 1);
    if (marker_(text)) markText_->clear();
    model_->LoggerChanged();  // the mark is drawn at once, not with the next sample
    Sync();
}

void CSurvey::OnRecordNotes() {
    if (!entireRead_ || entireRead_->RecordCount() == 0) return;
    EditRecordNotes(this, *entireRead_, prompter_);
}

void CSurvey::Refresh() {
    // The other pages may have new data since this page was last in front.
    if (model_->CurrentSource() == Source::EntireRead) {
        model_->ShowEntireRead(entireReadCount_ ? entireReadCount_() : 0);
        marks_ = {};
    } else {
        model_->LoggerChanged();
    }
    Sync();
}

void CSurvey::SelectColumns(int from, int to) {
    const int columns = graph_->Columns();
    const std::size_t a = model_->SampleAtColumn(std::min(from, to), columns);
    std::size_t b = model_->SampleAtColumn(std::max(from, to) + 1, columns);
    if (b > a) --b;  // the last sample of the column the drag ended in
    model_->SetCursors(a, b);
    marks_.pending.reset();
    marks_.span = model_->Span();
    Sync();
}

void CSurvey::OnOpen() {
    const std::string path = prompter_.ChooseOpenFile(kOpenFilter);
    if (path.empty()) return;
    OpenFiles({path});
}

void CSurvey::OpenFiles(const std::vector<std::string>& paths) {
    StopReading();
    cancel_ = std::make_shared<std::atomic<bool>>(false);
    progress_->setValue(0);
    progress_->setVisible(true);
    stop_->setVisible(true);
    open_->setEnabled(false);
    sourceText_->setText(QStringLiteral("Reading..."));
    // The reading runs beside the window; its progress and its result come back as events.
    auto cancel = cancel_;
    reader_ = std::thread([this, paths, cancel] {
        auto result = std::make_shared<std::variant<Series, std::string>>(
            ReadFiles(paths, kAllChannels, [this, cancel](double done) {
                if (*cancel) return false;
                QMetaObject::invokeMethod(
                    this, [this, done] { progress_->setValue(static_cast<int>(done * 1000)); }, Qt::QueuedConnection);
                return true;
            }));
        if (*cancel) return;
        QMetaObject::invokeMethod(
            this, [this, result] { OnFilesRead(result); }, Qt::QueuedConnection);
    });
}

void CSurvey::StopReading() {
    *cancel_ = true;
    if (reader_.joinable()) reader_.join();
    progress_->setVisible(false);
    stop_->setVisible(false);
    open_->setEnabled(true);
}

void CSurvey::OnFilesRead(std::shared_ptr<std::variant<Series, std::string>> result) {
    if (reader_.joinable()) reader_.join();
    progress_->setVisible(false);
    stop_->setVisible(false);
    open_->setEnabled(true);
    if (auto* message = std::get_if<std::string>(result.get())) {
        prompter_.Inform(*message);
    } else {
        model_->ShowFiles(std::move(std::get<Series>(*result)));
        filesSource_->setEnabled(true);
        filesSource_->setChecked(true);
        marks_ = {};
    }
    Sync();
    emit FilesRead();
}

void CSurvey::Sync() {
    SyncMarkAndNotes();
    syncing_ = true;
    // Only what changed is touched: a live run calls this for every sample.
    auto setText = [](QLabel* label, const QString& text) {
        if (label->text() != text) label->setText(text);
    };
    if (!Reading()) setText(sourceText_, Q(model_->SourceText()));
    switch (model_->CurrentSource()) {
        case Source::Logger: loggerSource_->setChecked(true); break;
        case Source::EntireRead: entireSource_->setChecked(true); break;
        case Source::Files: filesSource_->setChecked(true); break;
    }
    filesSource_->setEnabled(model_->HasFiles());
    const Quantity q = model_->CurrentQuantity();
    const int quantityIndex = q == kR ? 0 : static_cast<int>(q) + 1;
    if (quantity_->currentIndex() != quantityIndex) quantity_->setCurrentIndex(quantityIndex);
    QStringList units;
    for (const std::string& u : model_->UnitChoices()) units << Q(u);
    QStringList shown;
    for (int i = 0; i < unit_->count(); ++i) shown << unit_->itemText(i);
    if (units != shown) {
        unit_->clear();
        unit_->addItems(units);
    }
    if (unit_->currentText() != Q(model_->ShownUnit().name)) unit_->setCurrentText(Q(model_->ShownUnit().name));
    const QString thresholds = Q(model_->ThresholdText());
    if (!thresholds_->hasFocus() && thresholds_->text() != thresholds) thresholds_->setText(thresholds);
    if (!reference_->lineEdit()->hasFocus()) {
        const auto& reference = model_->Reference();
        const int at = reference ? reference_->findData(Q(reference->id)) : 0;
        if (at >= 0) {
            if (reference_->currentIndex() != at || reference_->currentText() != reference_->itemText(at))
                reference_->setCurrentIndex(at);
        } else if (reference_->currentText() != Q(reference->name)) {
            reference_->setEditText(Q(reference->name));
        }
        reference_->lineEdit()->setCursorPosition(0);  // a long name shows its beginning
    }
    SyncTable();
    QString notes;
    for (const std::string& n : model_->Notes()) notes += Q(n) + QLatin1Char('\n');
    if (notes_->toPlainText() != notes.trimmed()) notes_->setPlainText(notes.trimmed());
    syncing_ = false;
    graph_->Follow();
    histogram_->Follow();
}

void CSurvey::SyncTable() {
    // The span's column is there once two cursors are placed.
    table_->setColumnHidden(2, !model_->HasSpan());
    const std::vector<TableRow> rows = model_->Table();
    if (table_->rowCount() != static_cast<int>(rows.size())) table_->setRowCount(static_cast<int>(rows.size()));
    auto set = [this](int r, int c, const std::string& text) {
        QTableWidgetItem* item = table_->item(r, c);
        const QString value = Q(text);
        if (!item) {
            item = new QTableWidgetItem(value);
            table_->setItem(r, c, item);
        } else if (item->text() != value) {
            item->setText(value);
        }
        // A cell too narrow for its text shows all of it when pointed at.
        if (item->toolTip() != value) item->setToolTip(value);
    };
    for (int r = 0; r < static_cast<int>(rows.size()); ++r) {
        set(r, 0, rows[static_cast<std::size_t>(r)].label);
        set(r, 1, rows[static_cast<std::size_t>(r)].whole);
        set(r, 2, rows[static_cast<std::size_t>(r)].span);
    }
}

namespace {

const char* ExtensionOf(ExportForm form) { return form == ExportForm::Jsonl ? ".jsonl" : ".csv"; }

page::FileFilter ExportFilter(ExportForm form) {
    switch (form) {
        case ExportForm::OpenCsv: return {"Open CSV file(*.csv)", "*.csv"};
        case ExportForm::Jsonl: return {"JSON Lines file(*.jsonl)", "*.jsonl"};
        case ExportForm::Spreadsheet: break;
    }
    return {"Spreadsheet CSV file(*.csv)", "*.csv"};
}

}  // namespace

void CSurvey::OnExport(ExportForm form) {
    if (Exporting()) return;
    if (model_->Shown().Empty()) {
        prompter_.Inform(page::kNothingToSave);
        return;
    }
    std::string path = prompter_.ChooseSaveFile(ExportFilter(form));
    if (path.empty()) return;
    // A name without an extension takes the form's.
    if (const auto name = path.find_last_of("/\\");
        path.find('.', name == std::string::npos ? 0 : name) == std::string::npos)
        path += ExtensionOf(form);
    if (platform::FileExists(path) &&
        prompter_.AskYesNo({page::Topic::Overwrite, page::kOverwriteFileQuestion}) != page::Answer::Yes)
        return;
    ExportTo(form, path);
}

void CSurvey::ExportTo(ExportForm form, const std::string& path) {
    if (Exporting()) return;
    const Series& shown = model_->Shown();
    for (const Part& p : shown.Parts()) {
        if (platform::SameFile(path, p.source)) {
            prompter_.Inform("\"" + path + "\" is one of the files exported; choose another name.");
            emit FilesExported();
            return;
        }
    }
    // The export works on its own copy: a live run goes on appending to the page's series.
    auto series = std::make_shared<const Series>(shown);
    const Unit unit = model_->ShownUnit();
    ExportFacts facts;
    const Source source = model_->CurrentSource();
    if (source == Source::Logger && logger_) {
        const logger::LogHeader header{logger_->RecordInForce(), logger_->StartTimeOfData(), logger_->DataPeriodIndex(),
                                       logger_->DataMethod()};
        facts = FactsOfLogger(header, unit, LiveLogger::SourceName(), logger_->Marks().utcOffsetMinutes,
                              logger_->Marks().sensor);
    } else if (source == Source::EntireRead) {
        facts = FactsOfRecords(*series, unit);
    }
    const bool factsFromFiles = source == Source::Files;
    const RowForm rows(form, series->StoredUnit(), unit, platform::UserNumberMarks());

    exportCancel_ = std::make_shared<std::atomic<bool>>(false);
    progress_->setValue(0);
    progress_->setVisible(true);
    stop_->setVisible(true);
    export_->setEnabled(false);
    sourceText_->setText(QStringLiteral("Exporting..."));
    auto cancel = exportCancel_;
    exporter_ = std::thread([this, series, facts, factsFromFiles, rows, path, cancel]() mutable {
        if (factsFromFiles) facts = FactsOfFiles(*series, rows.Shown());
        // Written as it is made: the export of weeks of samples is never held whole in memory.
        const auto progress = [this, cancel](double done) {
            if (*cancel) return false;
            QMetaObject::invokeMethod(
                this, [this, done] { progress_->setValue(static_cast<int>(done * 1000)); }, Qt::QueuedConnection);
            return true;
        };
        std::string why;
        const bool written = platform::ReplaceFileWith(
            path,
            [&](const platform::PieceWriter& write) { return WriteExport(*series, facts, rows, write, progress); },
            &why);
        std::string message;
        bool failed = false;
        if (!written && *cancel) {
            message = "The export was stopped; nothing was written.";
        } else if (!written) {
            message = page::FileNotWrittenMessage(path);
            failed = true;
        } else {
            message =
                std::to_string(series->Size()) + (series->Timed() ? " samples" : " records") + " exported to " + path;
        }
        QMetaObject::invokeMethod(
            this, [this, message, failed] { OnExported(message, failed); }, Qt::QueuedConnection);
    });
}

void CSurvey::OnExported(const std::string& message, bool failed) {
    if (exporter_.joinable()) exporter_.join();
    progress_->setVisible(Reading());
    stop_->setVisible(Reading());
    export_->setEnabled(true);
    if (failed) prompter_.Inform(message);
    Sync();
    if (!failed) sourceText_->setText(Q(message));
    emit FilesExported();
}

void CSurvey::StopExporting() {
    // The export ends at its next batch and says so (OnExported).
    if (exportCancel_) *exportCancel_ = true;
}

}  // namespace tessera::survey
