// Base of every secondary window (viewer, mosaic, chooser, editor, options, AVI creator).
//
// A subclass builds its layout in its own constructor and ends it with FinishCreate():
//
//   TfoViewer::TfoViewer(QWidget* parent) : TSForm("foViewer", parent) {
//       ... build controls, actions (objectNames = layout names) ...
//       FinishCreate(); // translate, join FormList, run FormCreate()
//   }
//
// The window's objectName is the layout name made unique (foViewer, foViewer_1, ...).
// Each show sets the font face to "arial" (size and style kept). Destruction removes the
// window from FormList (searching from the end). Hidden windows stay listed.
// QDialog is the base so modal windows can exec(); the default flags make a normal
// top-level window. Note that QDialog closes on Esc unless a shortcut takes the key.
#pragma once

#include <QDialog>
#include <QString>
#include <string>
#include <vector>

class TSForm;

// Open secondary windows in creation order; not owning.
extern std::vector<TSForm*> FormList;

class TSForm : public QDialog {
    Q_OBJECT
public:
    explicit TSForm(const QString& layoutName, QWidget* parent = nullptr,
                    Qt::WindowFlags flags = Qt::Window);
    ~TSForm() override;

    // The smallest free name: base, else base_1, base_2 ... (among open windows).
    static QString UniqueName(const QString& base);

protected:
    // Call once at the end of the subclass constructor, after the layout is built.
    void FinishCreate();
    // The subclass's creation handler; sees translated captions. An error escaping it is
    // shown in the generic error box ("Ocelis", error icon) and the window stays usable.
    virtual void FormCreate() {}
    void showEvent(QShowEvent* event) override;

private:
    bool FListed = false;
    bool FPlaced = false;
};

namespace ocelis {

// The generic error report: message box captioned "Ocelis", error icon, the text with the
// full-stop rule. The program goes on.
void ShowErrorReport(const std::string& message);

} // namespace ocelis
