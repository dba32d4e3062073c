#pragma once
// The Version page: title and version, a four-line notice and the program logo, which
// alternates between its two pictures every two seconds once the page has been shown.

#include <QTimer>

#include "ui/SheetPage.h"

class QLabel;
class QFrame;

namespace tessera::ui {
class IconButton;
}

namespace tessera::shell {

class CVersion : public ui::SheetPage {
    Q_OBJECT
public:
    static constexpr int kLogoInterval = 2000;  // ms

    explicit CVersion(QWidget* parent = nullptr);

    void Refresh() override;
    // The logo picture now shown (143 or 144); 0 before the page was first shown.
    int ShownLogo() const { return shownLogo_; }
    int NextLogo() const { return nextLogo_; }
    bool Initialised() const { return initialised_; }
    ui::IconButton* Logo() const { return logo_; }
    const QTimer& LogoTimer() const { return logoTimer_; }
    // Timer 1041: the other picture.
    void OnLogoTimer();

protected:
    void showEvent(QShowEvent* event) override;

private:
    void Initialise();
    void ShowLogo(int id);

    ui::IconButton* logo_ = nullptr;
    QLabel* title_ = nullptr;
    QLabel* notice_ = nullptr;
    QFrame* frame_ = nullptr;
    QTimer logoTimer_;
    bool initialised_ = false;
    int shownLogo_ = 0;
    int nextLogo_ = 0;
};

}  // namespace tessera::shell
