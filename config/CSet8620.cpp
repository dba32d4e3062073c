#include "config/CSet8620.h"

#include <QComboBox>
#include <QFont>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "link/Stores.h"
#include "settings/Vocabulary.h"
#include "ui/EditableList.h"
#include "ui/Fonts.h"
#include "ui/Icons.h"

namespace tessera::config {

namespace {

struct ColumnSpec {
    const char* title;
    Qt::Alignment alignment;
    int width;
};
constexpr ColumnSpec kColumns[] = {
    {"No.", Qt::AlignRight, 40},
    {"Item", Qt::AlignLeft, 150},
    {"Current Setting", Qt::AlignLeft, 235},
    {"New Setting", Qt::AlignLeft, 235},
};

// The widest text a settings cell can hold, as the in-place drop-down needs it in `font`:
// the longest mode name, the exposure variants of the output and range.
int WidestSettingCell(const QFont& font) {
    QComboBox probe;
    probe.setFont(font);
    for (char mode = '0'; mode <= '4'; ++mode) probe.addItem(QString::fromStdString(settings::ModeText(mode)));
    for (auto column : {settings::Column::Current, settings::Column::NewSetting}) {
        for (char output = '0'; output <= '2'; ++output)
            probe.addItem(QString::fromStdString(settings::OutputText(output, '3', column)));
        probe.addItem(QString::fromStdString(settings::RangeText('3', 4, column)));
    }
    probe.setSizeAdjustPolicy(QComboBox::AdjustToContents);
    return probe.sizeHint().width();
}

}  // namespace

CSet8620::CSet8620(link::MeterPort& meter, page::Prompter& prompter, QWidget* parent)
    : ui::SheetPage(parent), model_(meter, prompter) {
    setObjectName("CSet8620");
    // The page face is Century; where it is missing, its Schoolbook cousins keep the look
    // the other pages have.
    QFont century("Century", 10);
    century.setFamilies(ui::CenturyFamilies());
    setFont(century);

    configure_ = new QPushButton("Configure the QM8620", this);
    initialize_ = new QPushButton("Initialize the QM8620", this);
    save_ = new QPushButton("Setting Save", this);
    read_ = new QPushButton("Setting Read", this);
    read_->setDefault(true);

    auto* groups = new QHBoxLayout;
    groups->addWidget(
        ui::IconGroupBox(this, "            QM8620 Operation", ui::kMeterOperationIcon, configure_, initialize_));
    groups->addWidget(ui::IconGroupBox(this, "            TESSERA Operation", ui::kFileOperationIcon, save_, read_));

    table_ = new ui::EditableList(this);
    for (int c = 0; c < 4; ++c)
        table_->InsertColumn(c, kColumns[c].title, kColumns[c].alignment | Qt::AlignVCenter, kColumns[c].width);
    // The layout's widths suit a small dialog font; where the table's font is wider, the
    // settings columns grow so that no mode name is cut off, in the cell or its drop-down.
    const int settingWidth = std::max(kColumns[kColumnNew].width, WidestSettingCell(table_->font()));
    table_->setColumnWidth(kColumnCurrent, settingWidth);
    table_->setColumnWidth(kColumnNew, settingWidth);
    table_->SetReadOnlyColumn(kColumnNumber, true);
    table_->SetReadOnlyColumn(kColumnItem, true);
    table_->SetReadOnlyColumn(kColumnCurrent, true);
    table_->SetDropDownColumn(kColumnNew, true);
    table_->setRowCount(settings::kRowCount);
    table_->setSelectionMode(QAbstractItemView::SingleSelection);
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setShowGrid(true);
    table_->setSortingEnabled(false);
    table_->horizontalHeader()->setSectionsClickable(false);
    table_->horizontalHeader()->setStretchLastSection(false);
    table_->verticalHeader()->setVisible(false);
    for (int row = 0; row < settings::kRowCount; ++row) {
        table_->SetCellText(row, kColumnNumber, QString::number(row + 1));
        table_->SetCellText(row, kColumnItem, QString::fromStdString(model_.CellText(row, kColumnItem)));
    }
    table_->setCurrentCell(0, kColumnNew);

    auto* page = new QVBoxLayout(this);
    page->addLayout(groups);
    page->addWidget(table_, 1);

    model_.onTextsChanged = [this] {
        FillColumns();
        UpdateButtons();
    };
    model_.onConfigured = [this] { emit Configured(); };

    connect(table_, &ui::EditableList::ChoicesRequested, this, [this](int row, int column, QStringList* choices) {
        choices->clear();
        for (const std::string& text : model_.Choices(row, column)) choices->append(QString::fromStdString(text));
    });
    connect(table_, &ui::EditableList::Edited, this, [this](int row, int column, const QString& text) {
        model_.ApplyEdit(row, column, text.toStdString());
        // Always refilled: the rules may have changed other rows, and a text that changed
        // nothing goes back to what the New Setting holds.
        FillColumns();
    });
    connect(configure_, &QPushButton::clicked, this, &CSet8620::OnConfigure);
    connect(initialize_, &QPushButton::clicked, this, [this] {
        model_.InitializeMeter();
        UpdateButtons();
    });
    connect(save_, &QPushButton::clicked, this, [this] { model_.SettingSave(); });
    connect(read_, &QPushButton::clicked, this, [this] { model_.SettingRead(); });

    configurationTimer_.setSingleShot(true);
    configurationTimer_.setInterval(1);
    connect(&configurationTimer_, &QTimer::timeout, this, &CSet8620::OnConfigurationTimer);

    // The New Setting is taken when the sheet first shows the page (showEvent), not here: a
    // page never opened must not offer a meter's settings for saving at the close.
    FillColumns();
    UpdateButtons();
}

CSet8620::~CSet8620() = default;

void CSet8620::showEvent(QShowEvent* event) {
    ui::SheetPage::showEvent(event);
    if (startingSettingTaken_) return;
    startingSettingTaken_ = true;
    model_.TakeStartingSetting();
    FillColumns();
    UpdateButtons();
}

void CSet8620::Refresh() {
    link::loggerPageShown = false;
    FillColumns();
    UpdateButtons();
}

void CSet8620::FillColumns() {
    for (int column : {kColumnCurrent, kColumnNew})
        for (int row = 0; row < settings::kRowCount; ++row)
            table_->SetCellText(row, column, QString::fromStdString(model_.CellText(row, column)));
}

void CSet8620::UpdateButtons() {
    const bool usable = model_.MeterKnown() && !model_.Configuring();
    configure_->setEnabled(usable);
    initialize_->setEnabled(usable);
}

void CSet8620::OnConfigure() {
    if (model_.StartConfigure()) {
        UpdateButtons();
        configurationTimer_.start();
    }
}

void CSet8620::OnConfigurationTimer() {
    model_.RunConfiguration();
    UpdateButtons();
}

}  // namespace tessera::config
