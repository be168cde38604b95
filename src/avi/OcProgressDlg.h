// TOcProgressDlg: the component that shows a small progress window (TFormProg) with a bar
// and a Cancel button. The window is a plain top-level window, not a TSForm; it closes only
// through the component, and closing hides it.
#pragma once

#include <QObject>
#include <QString>
#include <QWidget>
#include <memory>

class QFrame;
class QLabel;
class QProgressBar;
class QPushButton;

class TFormProg : public QWidget {
    Q_OBJECT
public:
    TFormProg();

    QFrame* Panel1 = nullptr;
    QLabel* Label1 = nullptr;
    QProgressBar* ProgressBar1 = nullptr;
    // Asks the running work to stop; the work's owner decides when the window goes.
    QPushButton* CancelButton = nullptr;

    bool Closable = true;

protected:
    void closeEvent(QCloseEvent* event) override;
    // Esc and Alt+F4 reach the window as keys or close requests: neither may end it.
    void keyPressEvent(QKeyEvent* event) override;
};

class TOcProgressDlg : public QObject {
    Q_OBJECT
    Q_PROPERTY(int Maximum READ Maximum WRITE SetMaximum)
    Q_PROPERTY(int Value READ Value WRITE SetValue)
    Q_PROPERTY(QString Text READ Text WRITE SetText)
    Q_PROPERTY(bool StayOnTop READ StayOnTop WRITE SetStayOnTop)
    // The window is no component of the window that owns this one: a language file reaches
    // its button's caption here.
    Q_PROPERTY(QString CancelCaption READ CancelCaption WRITE SetCancelCaption)
public:
    explicit TOcProgressDlg(const QString& name, QObject* owner);
    ~TOcProgressDlg() override;

    int Maximum() const { return FMaximum; }
    void SetMaximum(int maximum);
    int Value() const { return FValue; }
    void SetValue(int value);
    QString Text() const { return FText; }
    void SetText(const QString& text);
    bool StayOnTop() const { return FStayOnTop; }
    void SetStayOnTop(bool on);
    QString CancelCaption() const;
    void SetCancelCaption(const QString& caption);

    void Show();
    void Close();

    TFormProg* Form() const { return FForm.get(); }

signals:
    void CancelClicked();

private:
    void ApplyStayOnTop();

    // Without a parent widget: disabling the window that owns the component must leave
    // the Cancel button usable.
    std::unique_ptr<TFormProg> FForm;
    int FMaximum = 100;
    int FValue = 0;
    QString FText = QStringLiteral("Progress");
    bool FStayOnTop = true;
};
