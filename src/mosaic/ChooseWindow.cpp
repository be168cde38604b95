#include "mosaic/ChooseWindow.h"

#include "catalogue/CamCategory.h"
#include "gui/OcListView.h"
#include "gui/OcStatusBar.h"
#include "gui/WindowKit.h"
#include "imaging/QtBitmap.h"
#include "mosaic/ChooseRules.h"
#include "net/Url.h"
#include "settings/CamViewer.h"
#include "settings/MessageTexts.h"
#include "settings/PlainText.h"
#include "util/QtText.h"

#include <QCloseEvent>
#include <QDate>
#include <QDateTime>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QLocale>
#include <QPainter>
#include <QSplitter>
#include <QToolTip>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>
#include <unordered_set>

namespace {

constexpr int kCategoryRole = Qt::UserRole + 1;
constexpr int kWebcamRole = Qt::UserRole + 2;

template <class T> T* Pointer(const QVariant& v) {
    return reinterpret_cast<T*>(v.value<quintptr>());
}

template <class T> QVariant Data(T* p) {
    return QVariant::fromValue(reinterpret_cast<quintptr>(p));
}

// Until its picture arrives an item keeps the room of one, so the icons do not move.
const QPixmap& EmptyThumbnail() {
    static const QPixmap kEmpty = [] {
        QPixmap p(ocelis::kThumbWidth, ocelis::kThumbHeight);
        p.fill(Qt::transparent);
        return p;
    }();
    return kEmpty;
}

} // namespace

namespace ocelis {

const QImage& ChooseErrorPicture() {
    static const QImage kPicture = [] {
        QImage img(kThumbWidth, kThumbHeight, QImage::Format_RGB32);
        img.fill(Qt::white);
        QPainter p(&img);
        p.setRenderHint(QPainter::Antialiasing);
        const QPointF centre(kThumbWidth / 2.0, kThumbHeight / 2.0);
        const double r = 34;
        p.setPen(QPen(QColor(220, 0, 0), 9));
        p.setBrush(Qt::NoBrush);
        p.drawEllipse(centre, r, r);
        const double d = r * std::sqrt(0.5);
        p.drawLine(centre + QPointF(-d, -d), centre + QPointF(d, d));
        return img;
    }();
    return kPicture;
}

QImage DrawChooseThumbnail(const QImage& picture, int sourceW, int sourceH) {
    QImage out(kThumbWidth, kThumbHeight, QImage::Format_RGB32);
    out.fill(QColor(255, 0, 255));
    const TChooseThumbRect r = ChooseThumbRect(sourceW, sourceH);
    if (r.Width <= 0 || r.Height <= 0 || picture.isNull())
        return out;
    QPainter p(&out);
    if (picture.width() == r.Width && picture.height() == r.Height)
        p.drawImage(r.X, r.Y, picture);
    else
        p.drawImage(
            r.X, r.Y,
            picture.scaled(r.Width, r.Height, Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
    return out;
}

QPixmap ChooseListIcon(const QImage& thumbnail) {
    QImage img = thumbnail.convertToFormat(QImage::Format_ARGB32);
    const QRgb magenta = qRgb(255, 0, 255);
    for (int y = 0; y < img.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(img.scanLine(y));
        for (int x = 0; x < img.width(); ++x)
            if (line[x] == magenta)
                line[x] = qRgba(0, 0, 0, 0);
    }
    return QPixmap::fromImage(img);
}

QString LastUpdatedText(double dateTime) {
    const double whole = std::trunc(dateTime);
    const QDate date = QDate(1899, 12, 30).addDays(static_cast<qint64>(whole));
    const long long secs = std::llround(std::fabs(dateTime - whole) * 86400.0);
    const QLocale locale = QLocale::system();
    if (secs >= 86400)
        return locale.toString(date.addDays(1), QLocale::ShortFormat);
    QString text = locale.toString(date, QLocale::ShortFormat);
    if (secs == 0)
        return text;
    // The long time format without a time zone.
    QString format = locale.timeFormat(QLocale::LongFormat);
    format.remove(QLatin1Char('t'));
    const QTime time = QTime(0, 0).addSecs(static_cast<int>(secs));
    return text + QLatin1Char(' ') + locale.toString(time, format.simplified());
}

} // namespace ocelis

TCamImages::TCamImages(QObject* parent) : QObject(parent) {}

int TCamImages::Width() const {
    return ocelis::kThumbWidth;
}

int TCamImages::Height() const {
    return ocelis::kThumbHeight;
}

void TCamImages::Put(int index, const QPixmap& image) {
    if (index < 0)
        return;
    if (static_cast<size_t>(index) >= FImages.size())
        FImages.resize(static_cast<size_t>(index) + 1);
    FImages[static_cast<size_t>(index)] = image;
}

QPixmap TCamImages::Item(int index) const {
    if (index < 0 || static_cast<size_t>(index) >= FImages.size())
        return {};
    return FImages[static_cast<size_t>(index)];
}

TfoChoose::TfoChoose(QWidget* parent) : TSForm(QStringLiteral("foChoose"), parent) {
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("Choose a Webcam"));
    resize(520, 375);
    ocelis::CentreOnScreen(this, ocelis::TScreenArea::Whole);
    setFont(QFont(QStringLiteral("MS Sans Serif"), 8));

    CamTree = new QTreeWidget;
    CamTree->setObjectName(QStringLiteral("CamTree"));
    CamTree->setHeaderHidden(true);
    CamTree->setEditTriggers(QAbstractItemView::NoEditTriggers);
    CamTree->setIndentation(19);

    auto* list = new TOcListView;
    list->Columns()->Add(QString(), 50);
    CamList = list;
    CamList->setObjectName(QStringLiteral("CamList"));
    CamList->setViewMode(QListView::IconMode);
    CamList->setIconSize(QSize(ocelis::kThumbWidth, ocelis::kThumbHeight));
    CamList->setMovement(QListView::Static);
    // Re-arranged on every resize, from the top.
    CamList->setResizeMode(QListView::Adjust);
    CamList->setFlow(QListView::LeftToRight);
    CamList->setWrapping(true);
    CamList->setWordWrap(true);
    CamList->setSpacing(4);
    CamList->setEditTriggers(QAbstractItemView::NoEditTriggers);
    CamList->viewport()->installEventFilter(this);
    CamList->installEventFilter(this);

    CamImages = new TCamImages(this);
    CamImages->setObjectName(QStringLiteral("CamImages"));

    Splitter1 = new QSplitter(Qt::Horizontal);
    Splitter1->setObjectName(QStringLiteral("Splitter1"));
    Splitter1->setHandleWidth(4);
    Splitter1->setOpaqueResize(true);
    Splitter1->setChildrenCollapsible(false);
    Splitter1->addWidget(CamTree);
    Splitter1->addWidget(CamList);
    Splitter1->setStretchFactor(0, 0);
    Splitter1->setStretchFactor(1, 1);
    Splitter1->setSizes({121, width() - 121 - 4});

    StatusBar = new TOcStatusBar;
    StatusBar->setObjectName(QStringLiteral("StatusBar"));

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(Splitter1, 1);
    layout->addWidget(StatusBar);

    // The selection, not the current item: the view makes its first row current when it
    // gets the focus, and opening the window must not start fetching.
    connect(CamTree, &QTreeWidget::itemSelectionChanged, this, [this] {
        const QList<QTreeWidgetItem*> selected = CamTree->selectedItems();
        CamTreeChange(selected.isEmpty() ? nullptr : selected.front());
    });
    connect(CamList, &QListWidget::itemDoubleClicked, this, [this] { CamListDblClick(); });
    FinishCreate();
}

TfoChoose::~TfoChoose() {
    StopThread();
}

void TfoChoose::AddNodes(QTreeWidgetItem* parent, const TCamCategory& category) {
    for (int i = 0; i < category.Categories.Count(); ++i) {
        TCamCategory* sub = category.Categories.Items(i);
        auto* node = new QTreeWidgetItem(QStringList{ocelis::ToQ(sub->Name)});
        node->setData(0, kCategoryRole, Data(sub));
        if (parent)
            parent->addChild(node);
        else
            CamTree->addTopLevelItem(node);
        AddNodes(node, *sub);
    }
}

void TfoChoose::FormCreate() {
    // The root has no node: webcams kept directly in it are not shown here.
    if (CamViewer && CamViewer->RootCategory)
        AddNodes(nullptr, *CamViewer->RootCategory);
}

QTreeWidgetItem* TfoChoose::NodeOf(const TCamCategory* category) const {
    for (QTreeWidgetItemIterator it(CamTree); *it; ++it)
        if (Pointer<TCamCategory>((*it)->data(0, kCategoryRole)) == category)
            return *it;
    return nullptr;
}

TCamWebcam* TfoChoose::ItemWebcam(const QListWidgetItem* item) const {
    return item ? Pointer<TCamWebcam>(item->data(kWebcamRole)) : nullptr;
}

void TfoChoose::StopThread() {
    for (TMireThreadRef& t : FThreads)
        t.Stop();
    FThreads.clear();
    FQueue->Wake();
}

bool TfoChoose::ThreadRunning() const {
    return std::any_of(FThreads.begin(), FThreads.end(),
                       [](const TMireThreadRef& t) { return t.Alive(); });
}

void TfoChoose::CamTreeChange(QTreeWidgetItem* node) {
    // The old category's fetches end here: nothing of them reaches the new list.
    StopThread();
    CamList->clear();
    CamImages->Clear();
    FCategory = node ? Pointer<TCamCategory>(node->data(0, kCategoryRole)) : nullptr;
    if (!FCategory)
        return;
    for (int i = 0; i < FCategory->Cams.Count(); ++i) {
        TCamWebcam* cam = FCategory->Cams.Items(i);
        auto* item = new QListWidgetItem(EmptyThumbnail(), ocelis::ToQ(cam->Name));
        item->setData(kWebcamRole, Data(cam));
        CamList->addItem(item);
    }
    FCategoryImages = 0;
    if (FCategory->Cams.Count() == 0)
        return;
    std::vector<ocelis::TMireCell> cells;
    std::unordered_set<std::string> servers;
    for (int i = 0; i < FCategory->Cams.Count(); ++i) {
        const TCamWebcam* cam = FCategory->Cams.Items(i);
        cells.push_back({ocelis::MireServer(cam->Url), cam->Refresh, true});
        servers.insert(cells.back().Server);
    }
    FQueue->SetCells(std::move(cells));
    StatusBar->SetSimpleText(
        ocelis::DisplayText(Refreshing + ocelis::UrlForDisplay(FCategory->Cams.Items(0)->Url)));
    const std::size_t count = std::min(ocelis::TMireSchedule::kMaxInFlight, servers.size());
    for (std::size_t n = 0; n < count; ++n) {
        auto* thread = new TMireThread();
        thread->Queue = FQueue;
        thread->OnImage = [this](TMireThread& t) { ThreadImage(t); };
        thread->OnNext = [this](TMireThread& t) { ThreadNext(t); };
        thread->Index = -1;
        // The first webcams' inputs straight away: their fetches need no hand-over first.
        if (thread->TakeFirst())
            ThreadNext(*thread);
        if (ThreadSetup)
            ThreadSetup(*thread);
        FThreads.emplace_back(thread);
        thread->Resume();
    }
}

void TfoChoose::ThreadNext(TMireThread& thread) {
    try {
        if (!FCategory || thread.Index < 0 || thread.Index >= FCategory->Cams.Count()) {
            thread.Terminate();
            return;
        }
        const TCamWebcam* cam = FCategory->Cams.Items(thread.Index);
        thread.Url = cam->Url;
        // Every webcam afresh.
        thread.LastModified = {};
        thread.Content = {};
        thread.ContentLength = 0;
        // Decoded on the worker at the smallest scale that still covers a thumbnail.
        thread.PictureWidth = ocelis::kThumbWidth;
        thread.PictureHeight = ocelis::kThumbHeight;
        StatusBar->SetSimpleText(ocelis::DisplayText(Refreshing + ocelis::UrlForDisplay(cam->Url)));
        thread.Referer = cam->Referer;
    } catch (...) {
        thread.Terminate();
    }
}

void TfoChoose::ThreadImage(TMireThread& thread) {
    ++FImageCount;
    if (FCategory && ++FCategoryImages >= FCategory->Cams.Count()) {
        // Each webcam once: the threads end by themselves.
        for (TMireThreadRef& t : FThreads)
            t.Forget();
        FThreads.clear();
        StatusBar->SetSimpleText(QString());
    }
    try {
        const int i = thread.Index;
        if (!FCategory || i < 0 || i >= FCategory->Cams.Count() || i >= CamList->count())
            return;
        const bool decoded = !thread.Picture.Empty();
        QImage thumbnail;
        if (decoded) {
            // The margins follow the picture's own size, not that of its reduced decode.
            thumbnail = ocelis::DrawChooseThumbnail(ocelis::ViewAsQImage(thread.Picture),
                                                    thread.FullWidth, thread.FullHeight);
        } else {
            thumbnail = ocelis::DrawChooseThumbnail(ocelis::ChooseErrorPicture(),
                                                    ocelis::kThumbWidth, ocelis::kThumbHeight);
        }
        // A picture that could not be shown has no date and is not online.
        const ocelis::TDateTime modified = decoded ? thread.LastModified.Local : 0;
        FCategory->Cams.Items(i)->LastUpdated = modified;
        QListWidgetItem* item = CamList->item(i);
        if (modified != 0 &&
            ocelis::WithinOnlineTime(thread.LastModified.Utc, QDateTime::currentMSecsSinceEpoch()))
            item->setText(item->text() + ocelis::ToQ(OnlineText));
        CamImages->Put(i, ocelis::ChooseListIcon(thumbnail));
        item->setIcon(CamImages->Item(i));
    } catch (...) {
        // No error reaches the user; this webcam keeps an empty picture.
    }
}

QString TfoChoose::CamListInfoTip(const QListWidgetItem* item) const {
    const TCamWebcam* cam = ItemWebcam(item);
    if (!cam)
        return {};
    const std::string date =
        cam->LastUpdated == 0 ? Unknow : ocelis::FromQ(ocelis::LastUpdatedText(cam->LastUpdated));
    return ocelis::DisplayText(ocelis::CamHintText(CamHint, *cam, date));
}

void TfoChoose::CamListDblClick() {
    const QList<QListWidgetItem*> selected = CamList->selectedItems();
    if (selected.isEmpty())
        return;
    if (TCamWebcam* cam = ItemWebcam(selected.front()); cam && OnOpenViewer)
        OnOpenViewer(*cam);
}

bool TfoChoose::eventFilter(QObject* watched, QEvent* event) {
    // Enter opens the selected webcam's viewer, as a double click does.
    if (watched == CamList && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if ((key == Qt::Key_Return || key == Qt::Key_Enter) &&
            !CamList->selectedItems().isEmpty()) {
            CamListDblClick();
            return true;
        }
    }
    if (watched == CamList->viewport() && event->type() == QEvent::ToolTip) {
        auto* help = static_cast<QHelpEvent*>(event);
        QListWidgetItem* item = CamList->itemAt(help->pos());
        if (item)
            QToolTip::showText(help->globalPos(), ocelis::PlainToolTip(CamListInfoTip(item)),
                               CamList->viewport(), CamList->visualItemRect(item));
        else
            QToolTip::hideText();
        return true;
    }
    return TSForm::eventFilter(watched, event);
}

void TfoChoose::reject() {
    close();
}

void TfoChoose::closeEvent(QCloseEvent* event) {
    FormClose();
    event->accept();
}

void TfoChoose::FormClose() {
    StopThread();
    // The records the tree and the list refer to may be gone before the window is.
    FCategory = nullptr;
    {
        const QSignalBlocker block(CamTree);
        CamTree->clear();
    }
    CamList->clear();
    CamImages->Clear();
    StatusBar->SetSimpleText(QString());
    if (auto onClose = std::move(OnFormClose)) {
        OnFormClose = nullptr;
        onClose();
    }
}
