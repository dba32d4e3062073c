#include "entire_read/CEntireRead.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPrinter>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "entire_read/EntireReadPrint.h"
#include "link/Stores.h"
#include "ui/EditableList.h"
#include "ui/Fonts.h"
#include "ui/IconButton.h"
#include "ui/Icons.h"
#include "ui/QtPrompter.h"

namespace tessera::entire_read {

namespace {

Qt::Alignment AlignmentOf(const ColumnSpec& c) { return c.leftAligned ? Qt::AlignLeft : Qt::AlignHCenter; }
}  // namespace

CEntireRead::CEntireRead(link::MeterPort& meter, page::Prompter& prompter, QWidget* parent)
    : ui::SheetPage(parent), prompter_(prompter), model_(meter, prompter) {
    QFont century = font();
    century.setFamilies(ui::CenturyFamilies());
    setFont(century);

    read_ = new QPushButton(QStringLiteral("Read"), this);
    clear_ = new QPushButton(QStringLiteral("Memory Clear"), this);
    save_ = new QPushButton(QStringLiteral("CSV Save"), this);
    fileRead_ = new QPushButton(QStringLiteral("File Read"), this);
    print_ = new ui::IconButton(QStringLiteral("Print"), this);
    print_->SetIcon(ui::ResourceIcon(ui::kPrintIcon));
    // A raised button like its neighbours, not a flat picture.
    print_->SetFlat(false, false);

    unitBox_ = new QComboBox(this);
    for (int u = 0; u < kDisplayUnitChoices; ++u)
        unitBox_->addItem(QString::fromLatin1(DisplayUnitText(u).data(), static_cast<int>(DisplayUnitText(u).size())));
    unitBox_->setCurrentIndex(kOriginalUnit);
    unitChange_ = new QPushButton(QStringLiteral("Unit Change(Only for Magnetic Flux Density) "), this);
    rxyz_ = new QRadioButton(QStringLiteral("Rxyz"), this);
    displayed_ = new QRadioButton(QStringLiteral("Displayed Value on the QM8620"), this);
    auto* radios = new QButtonGroup(this);
    radios->addButton(rxyz_);
    radios->addButton(displayed_);
    rxyz_->setChecked(true);

    auto* top = new QHBoxLayout;
    top->addWidget(
        ui::IconGroupBox(this, QStringLiteral("            QM8620 Operation"), ui::kMeterOperationIcon, read_, clear_));
    top->addWidget(ui::IconGroupBox(this, QStringLiteral("            TESSERA Operation"), ui::kFileOperationIcon,
                                    save_, fileRead_));
    top->addWidget(print_, 0, Qt::AlignBottom);
    top->addStretch(1);

    auto* units = new QHBoxLayout;
    units->addWidget(unitBox_);
    units->addWidget(unitChange_);
    units->addSpacing(24);
    units->addWidget(rxyz_);
    units->addWidget(displayed_);
    units->addStretch(1);

    table_ = new ui::EditableList(this);
    const auto& columns = Columns(kRxyz);
    for (int c = 0; c < static_cast<int>(columns.size()); ++c) {
        table_->InsertColumn(c, QString::fromLatin1(columns[c].title.data(), static_cast<int>(columns[c].title.size())),
                             AlignmentOf(columns[c]), columns[c].width);
        table_->SetReadOnlyColumn(c, true);
        if (c > 0) table_->SetAllowedCharacters(c, QString());
    }
    table_->SetDropDownScrollBar(true);
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setSelectionMode(QAbstractItemView::SingleSelection);
    table_->setShowGrid(true);
    table_->horizontalHeader()->setSectionsClickable(false);

    auto* page = new QVBoxLayout(this);
    page->addLayout(top);
    page->addLayout(units);
    page->addWidget(table_, 1);

    connect(read_, &QPushButton::clicked, this, [this] { OnRead(); });
    connect(clear_, &QPushButton::clicked, this, [this] {
        model_.MemoryClear();
        Sync();
    });
    connect(save_, &QPushButton::clicked, this, [this] { SaveCsv(); });
    connect(fileRead_, &QPushButton::clicked, this, [this] {
        model_.FileRead();
        if (!model_.Downloading()) downloadTimer_.stop();
        Sync();
    });
    connect(print_, &QPushButton::clicked, this, [this] { OnPrint(); });
    connect(unitBox_, &QComboBox::currentIndexChanged, this, [this](int index) {
        if (index >= 0) model_.SetUnitSelection(index);
    });
    connect(unitChange_, &QPushButton::clicked, this, [this] {
        model_.SetUnitSelection(unitBox_->currentIndex());
        model_.UnitChange();
        Sync();
    });
    connect(rxyz_, &QRadioButton::clicked, this, [this] {
        model_.ShowRxyz();
        Sync();
    });
    connect(displayed_, &QRadioButton::clicked, this, [this] {
        model_.ShowDisplayedValue();
        Sync();
    });

    // One record per tick; a zero interval lets the window handle its events between
    // records without idling a millisecond each time.
    downloadTimer_.setSingleShot(true);
    downloadTimer_.setInterval(0);
    connect(&downloadTimer_, &QTimer::timeout, this, [this] { OnDownloadTick(); });

    save_->setEnabled(false);
    print_->setEnabled(false);
    Sync(false);
}

CEntireRead::~CEntireRead() = default;

QPushButton* CEntireRead::PrintButton() const { return print_; }

bool CEntireRead::SaveCsv() {
    const bool written = model_.SaveCsv();
    Sync();
    return written;
}

void CEntireRead::Refresh() { Sync(true); }

void CEntireRead::OnRead() {
    model_.Read();
    Sync();
    if (model_.Downloading()) downloadTimer_.start();
}

void CEntireRead::OnDownloadTick() {
    const bool more = model_.Step();
    // Rows and buttons follow each record; the state check waits for the end, as the
    // table grows and the buttons are already right between records.
    Sync(!more);
    if (more) downloadTimer_.start();
}

void CEntireRead::OnPrint() {
    const auto job = model_.PrintData();
    if (!job) {
        Sync();
        return;
    }
    const auto choice = prompter_.ChoosePrinter({kPrintDocumentName});
    if (!choice) return;
    const auto printer = ui::MakePrinter(*choice, kPrintDocumentName);
    PrintTo(*printer, *job);  // a printer that refuses the document prints nothing, silently
}

void CEntireRead::SyncColumns() {
    const int layout = model_.DisplayMode();
    if (layout == shownLayout_) return;
    if (layout == kDisplayedValue) {
        for (int i = 0; i < 4; ++i) table_->removeColumn(4);  // R, x, y, z
        for (int i = 0; i < 2; ++i) table_->removeColumn(6);  // R+Accuracy, R-Accuracy
        table_->InsertColumn(4, QStringLiteral("Displayed Value"), Qt::AlignHCenter, 120);
    } else {
        table_->removeColumn(4);
        const auto& columns = Columns(kRxyz);
        for (int c : {4, 5, 6, 7, 10, 11})
            table_->InsertColumn(
                c, QString::fromLatin1(columns[c].title.data(), static_cast<int>(columns[c].title.size())),
                AlignmentOf(columns[c]), columns[c].width);
    }
    shownLayout_ = layout;
}

void CEntireRead::SyncTable() {
    const auto& rows = model_.Rows();
    const int count = static_cast<int>(rows.size());
    int first = table_->rowCount();
    if (model_.TableVersion() != shownVersion_ || first > count) {
        table_->setRowCount(0);
        first = 0;
        shownVersion_ = model_.TableVersion();
    }
    for (int r = first; r < count; ++r) {
        const auto cells = model_.RowCells(r);
        for (int c = 0; c < static_cast<int>(cells.size()); ++c)
            table_->SetCellText(r, c, QString::fromStdString(cells[c]));
        // The mode column is narrower than its longest names; the whole name on hover.
        if (QTableWidgetItem* mode = table_->item(r, 1)) mode->setToolTip(mode->text());
    }
    if (count > first) {
        // A new row is shown selected and focused.
        table_->selectRow(count - 1);
        table_->scrollToItem(table_->item(count - 1, 0));
    }
}

void CEntireRead::Sync(bool paint) {
    if (paint) {
        link::loggerPageShown = false;  // the arrow keys are the logger's only while it is shown
        model_.Refresh();
    }
    SyncColumns();
    SyncTable();
    rxyz_->setChecked(model_.DisplayMode() == kRxyz);
    displayed_->setChecked(model_.DisplayMode() == kDisplayedValue);
    const int selection = model_.UnitSelection();
    const QSignalBlocker block(unitBox_);
    unitBox_->setCurrentIndex(selection >= 0 && selection < kDisplayUnitChoices ? selection : -1);
    read_->setEnabled(model_.ReadEnabled());
    clear_->setEnabled(model_.ReadEnabled());
    save_->setEnabled(model_.SaveAndPrintEnabled());
    print_->setEnabled(model_.SaveAndPrintEnabled());
}

}  // namespace tessera::entire_read
