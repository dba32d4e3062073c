#include "shell/CVersion.h"

#include <QFrame>
#include <QLabel>

#include "link/Stores.h"
#include "shell/DialogUnits.h"
#include "shell/Texts.h"
#include "ui/Fonts.h"
#include "ui/IconButton.h"
#include "ui/Icons.h"

namespace tessera::shell {

namespace {
const char* const kNotice =
    "Companion program for the QM8620 three-axis magnetic field meter\n"
    "with the 8621 (100 cm\u00B2) and 8622 (3 cm\u00B2) sensors.\n"
    "Reads the meter's memory, logs effective values and sets the meter up.\n"
    "Plug the meter in at any time: it is found as soon as it is connected.";
}  // namespace

CVersion::CVersion(QWidget* parent) : SheetPage(parent) {
    setObjectName(QStringLiteral("CVersion"));
    // The page face is Century; where it is missing, its Schoolbook cousins keep the look.
    QFont century = font();
    century.setFamilies(ui::CenturyFamilies());
    setFont(century);
    const DialogUnits du(font());
    setMinimumSize(du.Size(518, 337));

    frame_ = new QFrame(this);
    frame_->setFrameStyle(QFrame::Box | QFrame::Sunken);  // etched
    frame_->setGeometry(du.Rect(52, 86, 414, 165));

    logo_ = new ui::IconButton(this);
    logo_->setObjectName(QStringLiteral("VersionLogo"));
    logo_->SetFlatBorder(false);  // flat, no border at all: only the picture shows
    logo_->setFocusPolicy(Qt::NoFocus);
    const QRect logoRect = du.Rect(86, 131, 64, 64);
    logo_->setGeometry(QRect(logoRect.topLeft(), QSize(logoRect.width(), logoRect.width())));
    logo_->setIconSize(logo_->size() - QSize(8, 8));

    title_ = new QLabel(QString::fromUtf8(kVersionTitle), this);
    QFont bold = title_->font();
    bold.setBold(true);
    title_->setFont(bold);
    title_->setGeometry(du.Rect(173, 132, 256, 8).adjusted(0, -2, 0, 4));

    notice_ = new QLabel(QString::fromUtf8(kNotice), this);
    notice_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    notice_->setGeometry(du.Rect(173, 166, 287, 57));

    logoTimer_.setInterval(kLogoInterval);
    connect(&logoTimer_, &QTimer::timeout, this, &CVersion::OnLogoTimer);
}

void CVersion::showEvent(QShowEvent* event) {
    SheetPage::showEvent(event);
    if (!initialised_) Initialise();
    Refresh();
}

void CVersion::Initialise() {
    initialised_ = true;
    ShowLogo(ui::kLogoIconFirst);
    nextLogo_ = ui::kLogoIconSecond;
    logoTimer_.start();
}

void CVersion::Refresh() {
    // This page is now the one shown: the arrow keys are no longer the logger cursor's.
    link::loggerPageShown = false;
}

void CVersion::OnLogoTimer() {
    const int now = nextLogo_;
    nextLogo_ = (now == ui::kLogoIconFirst) ? ui::kLogoIconSecond : ui::kLogoIconFirst;
    ShowLogo(now);
}

void CVersion::ShowLogo(int id) {
    shownLogo_ = id;
    logo_->SetIcon(ui::ResourceIcon(id));
}

}  // namespace tessera::shell
