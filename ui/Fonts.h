#pragma once
// The pages and printouts are set in "Century". Where that face is missing, its Schoolbook
// cousins keep the look (Century Schoolbook, which Microsoft Office brings; C059 from URW on
// Linux), then the serif faces every Windows has, so a stock Windows never falls back to a
// sans-serif face.

#include <QFont>
#include <QStringList>

namespace tessera::ui {

inline void InstallFontSubstitutes() {
    QFont::insertSubstitutions(QStringLiteral("Century"),
                               {QStringLiteral("Century Schoolbook"), QStringLiteral("C059"), QStringLiteral("Georgia"),
                                QStringLiteral("Times New Roman")});
}

}  // namespace tessera::ui
