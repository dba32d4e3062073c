#pragma once
// The program's icons, drawn as SVG and built into the program: 132 program icon,
// 140 meter operations, 141 file operations, 142 print, 143 and 144 the two logo frames.
// Each is also reachable by path, ":/icons/<id>.svg" (":/icons/<id>.png" in a build whose Qt
// has no SVG module, where they are rendered at build time).

#include <QIcon>
#include <QString>

class QGroupBox;
class QPushButton;
class QWidget;

namespace tessera::ui {

inline constexpr int kProgramIcon = 132;
inline constexpr int kMeterOperationIcon = 140;
inline constexpr int kFileOperationIcon = 141;
inline constexpr int kPrintIcon = 142;
inline constexpr int kLogoIconFirst = 143;
inline constexpr int kLogoIconSecond = 144;

QString IconPath(int id);
// A null icon when the id names none of the icons above.
QIcon ResourceIcon(int id);

// A group box of two buttons with an icon on its top-left corner, in the room the title's
// leading blanks leave ("            QM8620 Operation").
QGroupBox* IconGroupBox(QWidget* parent, const QString& title, int iconId, QPushButton* first, QPushButton* second);

}  // namespace tessera::ui
