#include "catalogue/EditCams.h"

#include "catalogue/CamCategory.h"
#include "catalogue/CamUrlTestJob.h"
#include "gui/WindowKit.h"
#include "imaging/QtBitmap.h"
#include "net/Url.h"
#include "settings/MessageTexts.h"
#include "settings/PlainText.h"
#include "util/QtText.h"
#include "util/Text.h"

#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>
#include <QScrollArea>
#include <QSpinBox>
#include <QTabBar>
#include <QTabWidget>
#include <QVBoxLayout>
#include <climits>
#include <cmath>

using ocelis::FromQ;
using ocelis::ToQ;

namespace {

constexpr int kCatNodeType = QTreeWidgetItem::UserType + 1;
constexpr int kCamNodeType = QTreeWidgetItem::UserType + 2;
constexpr int kPreviewWidth = 96;
constexpr int kPreviewHeight = 72;

class TCatNode final : public QTreeWidgetItem {
public:
    explicit TCatNode(std::string name) : QTreeWidgetItem(kCatNodeType) {
        Info.Name = std::move(name);
        setText(0, ToQ(Info.Name));
    }
    TfoEditCams::TCatInfo Info;
};

class TCamNode final : public QTreeWidgetItem {
public:
    explicit TCamNode(TfoEditCams::TCamInfo info)
        : QTreeWidgetItem(kCamNodeType), Info(std::move(info)) {
        setText(0, ToQ(Info.Name));
    }
    TfoEditCams::TCamInfo Info;
};

QList<QTreeWidgetItem*> BuildNodes(const TCamCategory& category) {
    QList<QTreeWidgetItem*> nodes;
    nodes.reserve(category.Categories.Count() + category.Cams.Count());
    for (int i = 0; i < category.Categories.Count(); ++i) {
        const TCamCategory& sub = *category.Categories.Items(i);
        auto* node = new TCatNode(sub.Name);
        node->addChildren(BuildNodes(sub));
        nodes.append(node);
    }
    for (int i = 0; i < category.Cams.Count(); ++i) {
        const TCamWebcam& w = *category.Cams.Items(i);
        nodes.append(
            new TCamNode({w.Refresh, w.Homepage, w.Url, w.Email, w.Name, w.Referer, w.LastId}));
    }
    return nodes;
}

void Rebuild(QTreeWidgetItem* node, TCamCategory& into) {
    if (const auto* cat = TfoEditCams::CatInfo(node)) {
        TCamCategory* sub = into.Categories.Add();
        sub->Name = cat->Name;
        for (int i = 0; i < node->childCount(); ++i)
            Rebuild(node->child(i), *sub);
    } else if (const auto* cam = TfoEditCams::CamInfo(node)) {
        TCamWebcam* w = into.Cams.Add();
        w->Refresh = cam->Refresh;
        w->Homepage = cam->Homepage;
        w->Url = cam->Url;
        w->Email = cam->Email;
        w->Name = cam->Name;
        w->Referer = cam->Referer;
        w->LastId = cam->LastId;
    }
}

} // namespace

TfoEditCams::TfoEditCams(QWidget* parent)
    : TSForm(QStringLiteral("foEditCams"), parent,
             Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowCloseButtonHint) {
    setWindowTitle(QStringLiteral("Edit Cams"));
    BuildLayout();
    setMinimumSize(500, 380);
    setMaximumSize(1000, 1000);
    resize(500, 384);
    ocelis::CentreOnScreen(this);
    FinishCreate();
}

TfoEditCams::~TfoEditCams() {
    CancelTest();
}

void TfoEditCams::BuildLayout() {
    CamList = new TCamTree(this);
    CamList->setObjectName(QStringLiteral("CamList"));
    CamList->setHeaderHidden(true);
    CamList->setColumnCount(1);
    CamList->setEditTriggers(QAbstractItemView::NoEditTriggers);
    CamList->setSelectionMode(QAbstractItemView::SingleSelection);
    CamList->setIndentation(19);
    CamList->setDragEnabled(true);
    CamList->setAcceptDrops(true);
    CamList->viewport()->setAcceptDrops(true);
    CamList->setDragDropMode(QAbstractItemView::DragDrop);
    CamList->setDropIndicatorShown(false);
    // All rows have one height: lets the view lay out a huge catalogue at once.
    CamList->setUniformRowHeights(true);
    CamList->OnDragOver = [this](const QPoint& pos) { return CamListDragOver(pos); };
    CamList->OnDragDrop = [this](const QPoint& pos) { CamListDragDrop(pos); };

    AddButton = ocelis::NewButton(this, "AddButton", QStringLiteral("Add Category"));
    AddCamButton = ocelis::NewButton(this, "AddCamButton", QStringLiteral("Add Webcam"));
    DeleteButton = ocelis::NewButton(this, "DeleteButton", QStringLiteral("Delete"));
    OkButton = ocelis::NewButton(this, "OkButton", QStringLiteral("&OK"));
    CancelButton = ocelis::NewButton(this, "CancelButton", QStringLiteral("&Cancel"));

    Pages = new QTabWidget(this);
    Pages->setObjectName(QStringLiteral("Pages"));
    CatSheet = new QWidget(Pages);
    CatSheet->setObjectName(QStringLiteral("CatSheet"));
    CamSheet = new QWidget(Pages);
    CamSheet->setObjectName(QStringLiteral("CamSheet"));
    NullSheet = new QWidget(Pages);
    NullSheet->setObjectName(QStringLiteral("NullSheet"));
    Pages->addTab(CatSheet, QStringLiteral("CatSheet"));
    Pages->addTab(CamSheet, QStringLiteral("CamSheet"));
    Pages->addTab(NullSheet, QStringLiteral("NullSheet"));

    auto* catGrid = new QGridLayout(CatSheet);
    CatName = ocelis::NewEdit(CatSheet, "CatName");
    catGrid->addWidget(ocelis::NewLabel(CatSheet, "Label1", QStringLiteral("Name")), 0, 0);
    catGrid->addWidget(CatName, 0, 1);
    catGrid->setRowStretch(1, 1);

    auto* camGrid = new QGridLayout(CamSheet);
    camGrid->setVerticalSpacing(4);
    CamName = ocelis::NewEdit(CamSheet, "CamName");
    CamUrl = ocelis::NewEdit(CamSheet, "CamUrl");
    CamReferer = ocelis::NewEdit(CamSheet, "CamReferer");
    CamHome = ocelis::NewEdit(CamSheet, "CamHome");
    CamEmail = ocelis::NewEdit(CamSheet, "CamEmail");
    CamRefresh = new QSpinBox(CamSheet);
    CamRefresh->setObjectName(QStringLiteral("CamRefresh"));
    CamRefresh->setRange(INT_MIN, INT_MAX);
    const std::pair<const char*, const char*> labels[] = {
        {"Label2", "Name"},     {"Label3", "Url"},   {"Label4", "Referer"},
        {"Label5", "Homepage"}, {"Label6", "Email"}, {"Label7", "Refresh"}};
    QWidget* edits[] = {CamName, CamUrl, CamReferer, CamHome, CamEmail};
    for (int row = 0; row < 6; ++row)
        camGrid->addWidget(
            ocelis::NewLabel(CamSheet, labels[row].first, QString::fromLatin1(labels[row].second)),
            row, 0);
    for (int row = 0; row < 5; ++row)
        camGrid->addWidget(edits[row], row, 1, 1, 3);
    camGrid->addWidget(CamRefresh, 5, 1);
    camGrid->addWidget(ocelis::NewLabel(CamSheet, "Label8", QStringLiteral("seconds")), 5, 2);

    TestButton = ocelis::NewButton(CamSheet, "TestButton", QStringLiteral("Test"));
    UseAddressButton =
        ocelis::NewButton(CamSheet, "UseAddressButton", QStringLiteral("Use this address"));
    UseAddressButton->hide();
    TestResult = ocelis::NewLabel(CamSheet, "TestResult", QString());
    TestResult->setWordWrap(true);
    TestResult->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    TestResult->setTextInteractionFlags(Qt::TextSelectableByMouse);
    TestResult->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Preferred);
    TestPreview = ocelis::NewLabel(CamSheet, "TestPreview", QString());
    TestPreview->setFixedSize(kPreviewWidth, kPreviewHeight);
    TestPreview->setAlignment(Qt::AlignCenter);
    // The test sits beside the refresh: the result needs the height below.
    camGrid->addWidget(TestButton, 5, 3);
    // A long result (a German one) scrolls instead of being cut off; wrapped at the room's
    // width, but never narrower than its longest word (an address).
    TestResultScroll = new QScrollArea(CamSheet);
    TestResultScroll->setObjectName(QStringLiteral("TestResultScroll"));
    TestResultScroll->setFrameShape(QFrame::NoFrame);
    TestResultScroll->setWidgetResizable(true);
    TestResultScroll->setWidget(TestResult);
    // The page shows through, as it does around the other controls.
    TestResultScroll->viewport()->setAutoFillBackground(false);
    TestResult->setAutoFillBackground(false);
    auto* resultColumn = new QVBoxLayout;
    resultColumn->addWidget(TestResultScroll, 1);
    resultColumn->addWidget(UseAddressButton, 0, Qt::AlignLeft);
    auto* resultRow = new QHBoxLayout;
    resultRow->setSpacing(8);
    resultRow->addWidget(TestPreview, 0, Qt::AlignTop);
    resultRow->addLayout(resultColumn, 1);
    camGrid->addLayout(resultRow, 6, 0, 1, 4);
    camGrid->setRowStretch(6, 1);
    camGrid->setColumnStretch(1, 1);

    QFrame* bevel = ocelis::NewBevel(this, "Bevel1");

    auto* topButtons = new QHBoxLayout;
    topButtons->addWidget(AddButton);
    topButtons->addWidget(AddCamButton);
    topButtons->addWidget(DeleteButton);
    auto* right = new QVBoxLayout;
    right->addLayout(topButtons);
    right->addWidget(Pages, 1);
    auto* upper = new QHBoxLayout;
    upper->addWidget(CamList, 2);
    upper->addLayout(right, 3);
    auto* bottomButtons = new QHBoxLayout;
    bottomButtons->addStretch(1);
    bottomButtons->addWidget(OkButton);
    bottomButtons->addWidget(CancelButton);
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(6, 6, 6, 6);
    outer->addLayout(upper, 1);
    outer->addWidget(bevel);
    outer->addLayout(bottomButtons);

    setTabOrder(CamList, AddButton);
    setTabOrder(AddButton, AddCamButton);
    setTabOrder(AddCamButton, DeleteButton);
    setTabOrder(DeleteButton, CatName);
    setTabOrder(CatName, CamName);
    setTabOrder(CamName, CamUrl);
    setTabOrder(CamUrl, CamReferer);
    setTabOrder(CamReferer, CamHome);
    setTabOrder(CamHome, CamEmail);
    setTabOrder(CamEmail, CamRefresh);
    setTabOrder(CamRefresh, TestButton);
    setTabOrder(TestButton, UseAddressButton);
    setTabOrder(UseAddressButton, OkButton);
    setTabOrder(OkButton, CancelButton);

    connect(CamList, &QTreeWidget::itemSelectionChanged, this, &TfoEditCams::CamListChange);
    connect(AddButton, &QPushButton::clicked, this, &TfoEditCams::AddButtonClick);
    connect(AddCamButton, &QPushButton::clicked, this, &TfoEditCams::AddCamButtonClick);
    connect(DeleteButton, &QPushButton::clicked, this, &TfoEditCams::DeleteButtonClick);
    connect(OkButton, &QPushButton::clicked, this, &QDialog::accept);
    connect(CancelButton, &QPushButton::clicked, this, &QDialog::reject);
    connect(CatName, &QLineEdit::textChanged, this, &TfoEditCams::CatNameChange);
    for (QLineEdit* edit : {CamName, CamUrl, CamReferer, CamHome, CamEmail})
        connect(edit, &QLineEdit::textChanged, this, &TfoEditCams::CamNameChange);
    connect(CamRefresh, &QSpinBox::valueChanged, this, &TfoEditCams::CamNameChange);
    connect(TestButton, &QPushButton::clicked, this, &TfoEditCams::TestButtonClick);
    connect(UseAddressButton, &QPushButton::clicked, this, &TfoEditCams::UseAddressButtonClick);
}

void TfoEditCams::FormCreate() {
    Modified = false;
    Pages->tabBar()->hide();
    Pages->setCurrentWidget(NullSheet);
}

void TfoEditCams::done(int result) {
    CancelTest();
    TSForm::done(result);
}

void TfoEditCams::hideEvent(QHideEvent* event) {
    CancelTest();
    TSForm::hideEvent(event);
}

TfoEditCams::TCatInfo* TfoEditCams::CatInfo(QTreeWidgetItem* node) {
    return node && node->type() == kCatNodeType ? &static_cast<TCatNode*>(node)->Info : nullptr;
}

TfoEditCams::TCamInfo* TfoEditCams::CamInfo(QTreeWidgetItem* node) {
    return node && node->type() == kCamNodeType ? &static_cast<TCamNode*>(node)->Info : nullptr;
}

QTreeWidgetItem* TfoEditCams::SelectedNode() const {
    const QList<QTreeWidgetItem*> selected = CamList->selectedItems();
    return selected.isEmpty() ? nullptr : selected.front();
}

void TfoEditCams::LoadTree(const TCamCategory& root) {
    CamList->clear();
    // One insertion for the whole tree: the view sees a single change.
    CamList->addTopLevelItems(BuildNodes(root));
    CamListChange();
}

void TfoEditCams::ApplyTree(TCamCategory& root) {
    if (!Modified)
        return;
    root.Clear();
    for (int i = 0; i < CamList->topLevelItemCount(); ++i)
        Rebuild(CamList->topLevelItem(i), root);
}

void TfoEditCams::CamListChange() {
    Updating = true;
    QTreeWidgetItem* node = SelectedNode();
    if (const TCamInfo* cam = CamInfo(node)) {
        Pages->setCurrentWidget(CamSheet);
        CamName->setText(ToQ(cam->Name));
        CamUrl->setText(ToQ(cam->Url));
        CamReferer->setText(ToQ(cam->Referer));
        CamHome->setText(ToQ(cam->Homepage));
        CamEmail->setText(ToQ(cam->Email));
        CamRefresh->setValue(cam->Refresh);
    } else if (const TCatInfo* cat = CatInfo(node)) {
        Pages->setCurrentWidget(CatSheet);
        CatName->setText(ToQ(cat->Name));
    } else {
        Pages->setCurrentWidget(NullSheet);
    }
    Updating = false;
    // A result belongs to the node it was asked for.
    CancelTest();
    TestResult->clear();
    TestPreview->clear();
    UseAddressButton->hide();
}

void TfoEditCams::CatNameChange() {
    if (Updating)
        return;
    QTreeWidgetItem* node = SelectedNode();
    TCatInfo* cat = CatInfo(node);
    if (!cat)
        return;
    cat->Name = FromQ(CatName->text());
    node->setText(0, CatName->text());
    Modified = true;
}

void TfoEditCams::CamNameChange() {
    if (Updating)
        return;
    QTreeWidgetItem* node = SelectedNode();
    TCamInfo* cam = CamInfo(node);
    if (!cam)
        return;
    cam->Name = FromQ(CamName->text());
    cam->Url = FromQ(CamUrl->text());
    cam->Referer = FromQ(CamReferer->text());
    cam->Homepage = FromQ(CamHome->text());
    cam->Email = FromQ(CamEmail->text());
    cam->Refresh = CamRefresh->value();
    node->setText(0, CamName->text());
    Modified = true;
}

QTreeWidgetItem* TfoEditCams::AddTarget() const {
    QTreeWidgetItem* node = SelectedNode();
    if (CamInfo(node))
        node = node->parent(); // beside a webcam; at the top level there is none
    return node;
}

void TfoEditCams::AddNode(QTreeWidgetItem* node) {
    // With nothing selected the node goes to the top level, so that an empty catalogue can
    // get its first entry.
    if (QTreeWidgetItem* parent = AddTarget())
        parent->addChild(node);
    else
        CamList->addTopLevelItem(node);
    SelectNode(node);
    Modified = true;
}

void TfoEditCams::SelectNode(QTreeWidgetItem* node) {
    CamList->setCurrentItem(node);
    if (node)
        CamList->scrollToItem(node);
}

void TfoEditCams::AddButtonClick() {
    AddNode(new TCatNode(NewCat));
}

void TfoEditCams::AddCamButtonClick() {
    TCamInfo info;
    info.Name = NewCam;
    info.Url = "http://";
    info.Refresh = 30;
    AddNode(new TCamNode(std::move(info)));
}

void TfoEditCams::DeleteButtonClick() {
    QTreeWidgetItem* node = SelectedNode();
    if (!node)
        return;
    delete node; // with everything below it and the payloads
    Modified = true;
    CamListChange();
}

bool TfoEditCams::CamListDragOver(const QPoint& pos) {
    return CamList->itemAt(pos) != nullptr;
}

void TfoEditCams::CamListDragDrop(const QPoint& pos) {
    MoveBefore(SelectedNode(), CamList->itemAt(pos));
}

void TfoEditCams::MoveBefore(QTreeWidgetItem* moved, QTreeWidgetItem* target) {
    if (!moved || !target)
        return;
    for (QTreeWidgetItem* p = target; p; p = p->parent())
        if (p == moved)
            return; // on itself or into its own subtree
    if (QTreeWidgetItem* from = moved->parent())
        from->takeChild(from->indexOfChild(moved));
    else
        CamList->takeTopLevelItem(CamList->indexOfTopLevelItem(moved));
    if (QTreeWidgetItem* to = target->parent()) {
        to->insertChild(to->indexOfChild(target), moved);
        to->setExpanded(true);
    } else {
        CamList->insertTopLevelItem(CamList->indexOfTopLevelItem(target), moved);
    }
    SelectNode(moved);
    Modified = true;
}

void TfoEditCams::TestButtonClick() {
    CancelTest();
    UseAddressButton->hide();
    TestPreview->clear();
    ocelis::SetPlainLabel(TestResult, ocelis::DisplayText(TestRunning));
    auto* job = new TCamUrlTestJob(FromQ(CamUrl->text()), FromQ(CamReferer->text()), TestTiming,
                                   kPreviewWidth, kPreviewHeight);
    job->OnDone = [this](const TCamUrlTestResult& result) { ShowTestResult(result); };
    FTest = ocelis::TWorkerRef<TCamUrlTestJob>(job);
    job->Resume();
}

void TfoEditCams::CancelTest() {
    FTest.Stop();
}

namespace {
// Whole pictures a second, or tenths below ten of them.
std::string PaceText(double perSecond) {
    if (perSecond >= 9.95)
        return std::to_string(static_cast<long>(std::lround(perSecond)));
    const long tenths = std::lround(perSecond * 10);
    return std::to_string(tenths / 10) + (tenths % 10 ? "." + std::to_string(tenths % 10) : "");
}
} // namespace

void TfoEditCams::ShowTestResult(const TCamUrlTestResult& r) {
    FTest.Forget();
    auto orNone = [](const std::string& s) { return s.empty() ? TestNone : s; };
    std::string text;
    switch (r.Kind) {
    case TCamUrlTestKind::NotHttp:
        text = TestNotHttp;
        break;
    case TCamUrlTestKind::NameNotResolved:
        text = ocelis::FillArgs(TestNoName, {r.Host});
        break;
    case TCamUrlTestKind::ConnectionRefused:
        text = TestRefused;
        break;
    case TCamUrlTestKind::TimeOut:
        text = ocelis::FillArgs(TestTimeOut, {std::to_string((r.TimeOutMs + 999) / 1000)});
        break;
    case TCamUrlTestKind::HttpStatus:
        text = ocelis::FillArgs(TestStatus, {r.StatusLine});
        break;
    case TCamUrlTestKind::Redirect:
        text = ocelis::FillArgs(TestRedirect, {orNone(ocelis::UrlForDisplay(r.Location))});
        FRedirect = r.Location;
        UseAddressButton->setVisible(!r.Location.empty());
        break;
    case TCamUrlTestKind::NotJpeg:
        text = ocelis::FillArgs(TestNotJpeg, {orNone(r.Detail), std::to_string(r.BodySize)});
        break;
    case TCamUrlTestKind::AuthNeeded:
        text = TestAuthNeeded;
        break;
    case TCamUrlTestKind::AuthRefused:
        text = TestAuthRefused;
        break;
    case TCamUrlTestKind::Failed:
        text = ocelis::FillArgs(TestFailed, {r.Detail});
        break;
    case TCamUrlTestKind::Jpeg: {
        if (r.Stream) {
            // A viewer reads a stream as it comes: no HEAD, no polling to explain.
            text = ocelis::FillArgs(TestStream, {std::to_string(r.Width), std::to_string(r.Height),
                                                 PaceText(r.PicturesPerSecond)});
            if (!r.Auth.empty())
                text += "\r\n" + ocelis::FillArgs(
                                     r.Auth == "Basic" && !r.AuthOverTls ? TestAuthPlain : TestAuth,
                                     {r.Auth});
            TestPreview->setPixmap(QPixmap::fromImage(ocelis::ToQImage(r.Preview)));
            break;
        }
        text = ocelis::FillArgs(TestJpeg,
                                {std::to_string(r.Width), std::to_string(r.Height),
                                 r.ContentLength >= 0 ? std::to_string(r.ContentLength) : TestNone,
                                 orNone(r.LastModified)});
        const std::string& head = !r.HeadAnswered                            ? TestHeadFailed
                                  : r.HeadHasLength && r.HeadHasLastModified ? TestHeadBoth
                                  : r.HeadHasLength                          ? TestHeadLength
                                  : r.HeadHasLastModified                    ? TestHeadDate
                                                                             : TestHeadNone;
        // Polled by content at the webcam's own interval, once a second at the least.
        text += "\r\n" + ocelis::FillArgs(head, {std::to_string(std::max(1, CamRefresh->value()))});
        if (!r.Auth.empty())
            text += "\r\n" +
                    ocelis::FillArgs(r.Auth == "Basic" && !r.AuthOverTls ? TestAuthPlain : TestAuth,
                                     {r.Auth});
        TestPreview->setPixmap(QPixmap::fromImage(ocelis::ToQImage(r.Preview)));
        break;
    }
    case TCamUrlTestKind::Cancelled:
        break;
    }
    ocelis::SetPlainLabel(TestResult, ocelis::DisplayText(text));
}

void TfoEditCams::UseAddressButtonClick() {
    UseAddressButton->hide();
    if (!FRedirect.empty())
        CamUrl->setText(ToQ(FRedirect)); // an ordinary edit: CamNameChange sets Modified
}
