#pragma once
// The pages and printouts are set in "Century". Where that face is missing, its Schoolbook
// cousins keep the look (Century Schoolbook, which Microsoft Office brings; C059 from URW on
// Linux), then the serif faces every Windows has, so a stock Windows never falls back to a
// sans-serif face.

#include <QFont>
#include <QStringList>

namespace tessera::ui {

// "Century" and its Schoolbook cousins, in the order a face is looked for.
inline QStringList CenturyFamilies() {
    return {QStringLiteral("Century"), QStringLiteral("Century Schoolbook"), QStringLiteral("C059")};
}

// A face asked for as "Century" anywhere in the program falls back to the cousins, then to
// the serif faces every Windows has.
inline void InstallFontSubstitutes() {
    QStringList substitutes = CenturyFamilies();
    substitutes.removeFirst();
    substitutes << QStringLiteral("Georgia") << QStringLiteral("Times New Roman");
    QFont::insertSubstitutions(QStringLiteral("Century"), substitutes);
}

}  // namespace tessera::ui
