// TOcDirectoryEdit: the layouts' folder edit, a text field with a button that opens the
// folder browser (through the dialog seam) and puts the chosen folder into the field. Tab
// stops at the field only.
#pragma once

#include <QString>
#include <QWidget>

class QLineEdit;
class QToolButton;

class TOcDirectoryEdit : public QWidget {
    Q_OBJECT
    Q_PROPERTY(QString Text READ Text WRITE SetText)
    Q_PROPERTY(QString DialogText READ DialogText WRITE SetDialogText)
public:
    explicit TOcDirectoryEdit(QWidget* parent = nullptr);

    QString Text() const;
    void SetText(const QString& text);
    // The folder browser's title.
    QString DialogText() const { return FDialogText; }
    void SetDialogText(const QString& text) { FDialogText = text; }

    QLineEdit* Edit() const { return FEdit; }
    QToolButton* Button() const { return FButton; }

    // Opens the folder browser at the field's folder; a chosen folder replaces the text.
    void ButtonClick();

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    QLineEdit* FEdit = nullptr;
    QToolButton* FButton = nullptr;
    QString FDialogText;
};
