// What every window builds with: its place on the screen and its named controls. A control's
// name is its objectName, by which language files reach it.
#pragma once

#include <QKeySequence>
#include <QString>

class QAction;
class QCheckBox;
class QFrame;
class QLabel;
class QLineEdit;
class QPushButton;
class QScreen;
class QWidget;

namespace ocelis {

enum class TScreenArea {
    Available, // without the panels and docks of the desktop
    Whole,
};

// The screen the user works on: the one under the mouse pointer, else the primary screen.
QScreen* WorkScreen();
// Centres the window (at its current size) on that screen's area, kept inside it.
void CentreOnScreen(QWidget* window, TScreenArea within = TScreenArea::Available);

// A caption as written: no rich text, no mnemonic.
QLabel* NewLabel(QWidget* parent, const char* name, const QString& caption);
// Never the default button: Enter in a window presses none of them.
QPushButton* NewButton(QWidget* parent, const char* name, const QString& caption);
// Added to the owner, so that its shortcut (also one a language file gives it later) works
// while the window has the focus, whether or not a menu shows the action.
QAction* NewAction(QWidget* owner, const char* name, const QString& caption,
                   const QKeySequence& key = {});
QCheckBox* NewCheckBox(QWidget* parent, const char* name, const QString& caption);
QLineEdit* NewEdit(QWidget* parent, const char* name);
// A sunken horizontal line between groups of controls.
QFrame* NewBevel(QWidget* parent, const char* name);

} // namespace ocelis
