// TOcSpinEdit: whole numbers with up and down buttons, with the layouts' property names.
#pragma once

#include <QSpinBox>

class TOcSpinEdit : public QSpinBox {
    Q_OBJECT
    Q_PROPERTY(int Value READ value WRITE setValue)
    Q_PROPERTY(int MinValue READ minimum WRITE setMinimum)
    Q_PROPERTY(int MaxValue READ maximum WRITE setMaximum)
public:
    explicit TOcSpinEdit(QWidget* parent = nullptr);
};
