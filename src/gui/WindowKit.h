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
// Centres the first window of its kind (its name up to the first "_"); a further one, while
// others of the kind are open, goes kCascadeStep right of and below the newest of them.
void CascadeOnScreen(QWidget* window, TScreenArea within = TScreenArea::Available);
// At the given place when that lies in the work screen's available area, else as far from
// that area's corner; kept inside it.
void MoveOnScreen(QWidget* window, int left, int top);
// Makes the window, frame included, fit the available area of the work screen: its size and
// minimum size give way to a smaller screen, then it moves back inside. A maximised or full
// screen window is left alone.
void KeepOnScreen(QWidget* window);

// Device-independent pixels between cascaded windows: about a title bar.
constexpr int kCascadeStep = 24;

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
