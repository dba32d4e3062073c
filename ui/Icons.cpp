#include "ui/Icons.h"

#include <QFile>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>

namespace tessera::ui {

QString IconPath(int id) { return QStringLiteral(":/icons/%1" TESSERA_ICON_SUFFIX).arg(id); }

QIcon ResourceIcon(int id) {
    const QString path = IconPath(id);
    if (!QFile::exists(path)) return {};
    return QIcon(path);
}

QGroupBox* IconGroupBox(QWidget* parent, const QString& title, int iconId, QPushButton* first, QPushButton* second) {
    constexpr int kIconSize = 24;
    auto* group = new QGroupBox(title, parent);
    auto* buttons = new QHBoxLayout(group);
    buttons->setContentsMargins(12, kIconSize / 2 + 10, 12, 10);
    buttons->addWidget(first);
    buttons->addWidget(second);
    auto* icon = new QLabel(group);
    icon->setPixmap(ResourceIcon(iconId).pixmap(kIconSize, kIconSize));
    icon->setGeometry(8, 0, kIconSize, kIconSize);
    icon->setAttribute(Qt::WA_TransparentForMouseEvents);
    return group;
}

}  // namespace tessera::ui
