#include "ui/Icons.h"

#include <QFile>

namespace tessera::ui {

QString IconPath(int id) { return QStringLiteral(":/icons/%1.svg").arg(id); }

QIcon ResourceIcon(int id) {
    const QString path = IconPath(id);
    if (!QFile::exists(path)) return {};
    return QIcon(path);
}

}  // namespace tessera::ui
