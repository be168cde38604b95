#include "gui/OcSpinEdit.h"

TOcSpinEdit::TOcSpinEdit(QWidget* parent) : QSpinBox(parent) {}
