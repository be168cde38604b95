// A window holding every kind of component a language file can address, shared by the
// translator tests, the base-form tests and the language-file fuzzer.
#pragma once

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QStatusBar>
#include <QTabWidget>
#include <QToolButton>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <QWidget>

#include "gui/OcFileDialog.h"
#include "gui/OcListView.h"
#include "gui/OcStatusBar.h"

namespace ocelis_test {

template <class T> T* Named(T* object, const char* name) {
    object->setObjectName(QString::fromLatin1(name));
    return object;
}

// Builds the components into window (its objectName is left as it is).
inline void BuildAllComponents(QWidget* window) {
    auto* layout = new QVBoxLayout(window);
    auto* group = Named(new QGroupBox(QStringLiteral("Group"), window), "Group1");
    auto* gl = new QVBoxLayout(group);
    gl->addWidget(Named(new QLabel(QStringLiteral("Label"), group), "Label1"));
    gl->addWidget(Named(new QPushButton(QStringLiteral("Button"), group), "Button1"));
    auto* check = Named(new QCheckBox(QStringLiteral("Check"), group), "CheckBox1");
    gl->addWidget(check);
    gl->addWidget(Named(new QLineEdit(QStringLiteral("edit"), group), "Edit1"));
    auto* spin = Named(new QSpinBox(group), "Spin1");
    spin->setRange(0, 10000000);
    spin->setValue(500);
    gl->addWidget(spin);
    layout->addWidget(group);

    auto* combo = Named(new QComboBox(window), "Combo1");
    combo->addItems({QStringLiteral("c0"), QStringLiteral("c1"), QStringLiteral("c2")});
    layout->addWidget(combo);
    auto* listBox = Named(new QListWidget(window), "FilesBox");
    listBox->addItems({QStringLiteral("l0"), QStringLiteral("l1"), QStringLiteral("l2")});
    layout->addWidget(listBox);
    auto* memo = Named(new QPlainTextEdit(window), "Memo1");
    memo->setPlainText(QStringLiteral("m0\nm1\nm2"));
    layout->addWidget(memo);

    auto* tree = Named(new QTreeWidget(window), "CamTree");
    tree->setHeaderHidden(true);
    auto* a = new QTreeWidgetItem(tree, {QStringLiteral("A")});
    new QTreeWidgetItem(a, {QStringLiteral("A1")});
    auto* a2 = new QTreeWidgetItem(a, {QStringLiteral("A2")});
    new QTreeWidgetItem(a2, {QStringLiteral("A2x")});
    new QTreeWidgetItem(tree, {QStringLiteral("B")});
    tree->expandAll();
    layout->addWidget(tree);

    auto* view = Named(new TOcListView(window), "CamList");
    view->Columns()->Add(QStringLiteral("Name"), 120);
    view->Columns()->Add(QStringLiteral("Url"), 200);
    auto* i0 = new QListWidgetItem(QStringLiteral("cam0"), view);
    TOcListView::SetSubItems(i0, {QStringLiteral("url0")});
    new QListWidgetItem(QStringLiteral("cam1"), view);
    layout->addWidget(view);

    auto* pages = Named(new QTabWidget(window), "Pages");
    pages->addTab(Named(new QWidget, "CatSheet"), QStringLiteral("Category"));
    pages->addTab(Named(new QWidget, "CamSheet"), QStringLiteral("Webcam"));
    layout->addWidget(pages);

    auto* status = Named(new TOcStatusBar(window), "StatusBar");
    for (int w : {100, 100, 34, 40})
        status->Panels()->Add(w);
    status->Panels()->Item(3)->SetText(QStringLiteral("webcam"));
    auto* progress = Named(new QProgressBar(status), "ProgressBar");
    progress->setGeometry(2, 2, 95, 15);
    progress->setValue(40);
    auto* speed = Named(new QToolButton(status), "SpeedButton1");
    speed->setGeometry(204, 2, 14, 14);
    layout->addWidget(status);
    auto* simple = Named(new QStatusBar(window), "StatusBar2");
    layout->addWidget(simple);

    auto* actions = Named(new QObject(window), "ActionList1");
    auto* refresh = Named(new QAction(QStringLiteral("&Refresh"), actions), "actRefresh");
    refresh->setShortcut(QKeySequence(Qt::Key_F5));
    auto* hide = Named(new QAction(QStringLiteral("&Hide"), actions), "actHide");
    hide->setShortcut(QKeySequence(Qt::Key_Escape));
    auto* onTop = Named(new QAction(QStringLiteral("&Always on Top"), actions), "actAlwaysOnTop");
    onTop->setCheckable(true);
    auto* site = Named(new QAction(actions), "actSite");
    site->setToolTip(QStringLiteral("Surf to Website"));
    speed->setDefaultAction(site);
    window->addActions({refresh, hide, onTop});

    auto* popup = Named(new QMenu(window), "PopupMenu");
    popup->addAction(hide);
    popup->addAction(refresh);
    auto* sizeMenu = Named(popup->addMenu(QStringLiteral("Size")), "SizeMenu");
    sizeMenu->addAction(onTop);

    auto* save =
        new TOcFileDialog(TOcFileDialog::TKind::Save, QStringLiteral("SaveDialog"), window);
    save->SetFilter(QStringLiteral("JPEG File (*.jpg)|*.jpg"));
    save->SetDefaultExt(QStringLiteral("jpg"));
    (void)check;
}

} // namespace ocelis_test
