#include "shell/KeyRouter.h"

#include <QApplication>
#include <QKeyEvent>

#include "link/Stores.h"
#include "shell/CSheet.h"

namespace tessera::shell {

KeyRouter::KeyRouter(CSheet* sheet, QObject* parent) : QObject(parent), sheet_(sheet) {
    qApp->installEventFilter(this);
}

KeyRouter::~KeyRouter() {
    if (qApp) qApp->removeEventFilter(this);
}

bool KeyRouter::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::KeyPress) return false;
    if (!sheet_ || sheet_->IsClosed() || !link::loggerPageShown) return false;
    const int key = static_cast<QKeyEvent*>(event)->key();
    const int step = key == Qt::Key_Left ? -1 : key == Qt::Key_Right ? 1 : 0;
    if (step == 0) return false;
    auto* target = qobject_cast<QWidget*>(watched);
    if (!target || (target != sheet_ && !sheet_->isAncestorOf(target))) return false;
    return sheet_->MoveLoggerCursor(step);
}

}  // namespace tessera::shell
