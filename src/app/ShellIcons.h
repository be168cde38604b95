// The program's icon and the tray menu's small action icons, drawn in code so that a copy
// run from the build folder needs no installed theme.
#pragma once

#include <QIcon>

namespace ocelis {

QIcon ProgramIcon();

enum class TShellGlyph { Close, Avi, Edit, Mosaic, Options, Language, Windows, Exit };
QIcon ShellActionIcon(TShellGlyph glyph);

} // namespace ocelis
