#pragma once
// Routes the left and right arrow keys to the logger's cursor: only for keys aimed at the
// main window or a widget inside it, only while the logger page was the page shown last,
// and only while the window is open. Everything else goes its normal way.

#include <QObject>
#include <QPointer>

namespace tessera::shell {

class CSheet;

class KeyRouter : public QObject {
    Q_OBJECT
public:
    explicit KeyRouter(CSheet* sheet, QObject* parent = nullptr);
    ~KeyRouter() override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QPointer<CSheet> sheet_;
};

}  // namespace tessera::shell
