#pragma once
// A page of the main sheet. Refresh() stands for the page's paint-time state check:
// the sheet calls it when the page becomes current, after a device change and after a
// configuration; it re-reads what the page needs and enables its meter buttons. A page
// never does I/O in paintEvent.

#include <QWidget>

namespace tessera::ui {

class SheetPage : public QWidget {
    Q_OBJECT
public:
    using QWidget::QWidget;
    virtual void Refresh() {}
};

}  // namespace tessera::ui
