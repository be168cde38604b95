#include "viewer/ViewerWindow.h"

#include "gui/OcFileDialog.h"
#include "gui/OcStatusBar.h"
#include "gui/WindowKit.h"
#include "imaging/Jpeg.h"
#include "net/HttpThread.h"
#include "net/Url.h"
#include "platform/Dialogs.h"
#include "settings/CamViewer.h"
#include "settings/MessageTexts.h"
#include "util/QtText.h"
#include "util/Text.h"
#include "viewer/FormMagnet.h"
#include "viewer/FramelessDrag.h"
#include "viewer/OcImage.h"
#include "viewer/ViewerHealth.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QContextMenuEvent>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QMenu>
#include <QPainter>
#include <QPainterPath>
#include <QProgressBar>
#include <QScreen>
#include <QStandardPaths>
#include <QToolButton>
#include <mutex>
#include <optional>

using namespace ocelis;

namespace {

int Tag(const QAction* action) {
    return action->property("Tag").toInt();
}

void SetTag(QAction* action, int tag) {
    action->setProperty("Tag", tag);
}

// A greyed copy of a glyph for the disabled state.
QPixmap Greyed(const QImage& normal) {
    QImage grey = normal.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < grey.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(grey.scanLine(y));
        for (int x = 0; x < grey.width(); ++x) {
            const int g = 128 + qGray(line[x]) / 2;
            line[x] = qRgba(g, g, g, qAlpha(line[x]));
        }
    }
    return QPixmap::fromImage(grey);
}

QIcon IconFrom(const QImage& normal) {
    QIcon icon;
    icon.addPixmap(QPixmap::fromImage(normal), QIcon::Normal);
    icon.addPixmap(Greyed(normal), QIcon::Disabled);
    return icon;
}

QImage NewGlyph() {
    QImage img(14, 14, QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::transparent);
    return img;
}

} // namespace

namespace ocelis {

QUrl SafeHomepageUrl(const std::string& homepage) {
    std::string text = Trim(homepage);
    if (SameText(std::string_view(text).substr(0, 4), "www."))
        text.insert(0, "http://");
    const std::optional<TUrl> parsed = TUrl::Parse(text);
    if (!parsed || (!parsed->IsHttp() && !parsed->IsHttps()) || parsed->Host().empty())
        return {};
    QUrl url;
    url.setScheme(ToQ(AnsiLower(parsed->Scheme())));
    if (parsed->HasUserInfo()) {
        url.setUserName(ToQ(parsed->User()), QUrl::DecodedMode);
        if (!parsed->Password().empty())
            url.setPassword(ToQ(parsed->Password()), QUrl::DecodedMode);
    }
    url.setHost(ToQ(parsed->Host()), QUrl::StrictMode);
    if (const std::string& port = parsed->Port(); !port.empty()) {
        const std::optional<int64_t> number = TryStrToInt64(port);
        if (port.find_first_not_of("0123456789") != std::string::npos || !number || *number > 65535)
            return {};
        url.setPort(static_cast<int>(*number));
    }
    // A bare site address opens as written, without a slash.
    if (parsed->Path() != "/")
        url.setPath(ToQ(parsed->Path()), QUrl::TolerantMode);
    if (parsed->HasQuery())
        url.setQuery(ToQ(parsed->Query()), QUrl::TolerantMode);
    return url.isValid() ? url : QUrl();
}

QUrl SafeMailtoUrl(const std::string& email) {
    QString address = ToQ(Trim(email));
    if (address.startsWith(QLatin1String("mailto:"), Qt::CaseInsensitive))
        address = address.mid(7);
    // One plain address: no header fields (?subject=, &attach=), no lists, no blanks.
    const int at = address.indexOf(QLatin1Char('@'));
    if (at <= 0 || at != address.lastIndexOf(QLatin1Char('@')) || at == address.size() - 1)
        return {};
    for (const QChar c : address) {
        if (c.unicode() <= 32 || c.unicode() == 127 ||
            QStringLiteral("?#&,;:<>\"\\/%()[]").contains(c))
            return {};
    }
    QUrl url;
    url.setScheme(QStringLiteral("mailto"));
    url.setPath(address, QUrl::DecodedMode);
    return url.isValid() ? url : QUrl();
}

QIcon HomepageIcon() {
    QImage img = NewGlyph();
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF globe(1.5, 1.5, 11, 11);
    p.setPen(QPen(QColor(0, 40, 140), 1));
    p.setBrush(QColor(70, 140, 230));
    p.drawEllipse(globe);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(220, 235, 255), 0.8));
    p.drawEllipse(QRectF(4.5, 1.5, 5, 11)); // meridians
    p.drawLine(QPointF(7, 1.5), QPointF(7, 12.5));
    p.drawLine(QPointF(1.5, 7), QPointF(12.5, 7));     // equator
    p.drawLine(QPointF(2.6, 4.3), QPointF(11.4, 4.3)); // parallels
    p.drawLine(QPointF(2.6, 9.7), QPointF(11.4, 9.7));
    p.end();
    return IconFrom(img);
}

QIcon EmailIcon() {
    QImage img = NewGlyph();
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF body(0.5, 2.5, 13, 9);
    p.setPen(QPen(QColor(90, 70, 30), 1));
    p.setBrush(QColor(255, 250, 225));
    p.drawRect(body);
    QPainterPath flap;
    flap.moveTo(0.5, 2.5);
    flap.lineTo(7, 8);
    flap.lineTo(13.5, 2.5);
    p.setBrush(Qt::NoBrush);
    p.drawPath(flap);
    p.drawLine(QPointF(0.5, 11.5), QPointF(5.2, 6.6));
    p.drawLine(QPointF(13.5, 11.5), QPointF(8.8, 6.6));
    p.end();
    return IconFrom(img);
}

} // namespace ocelis

TfoViewer::TfoViewer(QWidget* parent)
    : TSForm(QStringLiteral("foViewer"), parent, Qt::Window | Qt::FramelessWindowHint),
      FWebcam(std::make_unique<TCamWebcam>()) {
    setAttribute(Qt::WA_DeleteOnClose);
    setMinimumSize(kViewerMinWidth, kViewerMinHeight);
    resize(308, 253);
    CascadeOnScreen(this, TScreenArea::Whole);
    setFont(QFont(QStringLiteral("MS Sans Serif"), 8));

    CamImage = new TOcImage(this);
    CamImage->setObjectName(QStringLiteral("CamImage"));
    CamImage->SetAutoZoom(true);

    BuildActions();
    BuildMenus();
    BuildStatusBar();
    FHealth = new TViewerHealth(CamImage, StatusBar, this);
    FHealth->OnChange = [this](THealthNotice notice) {
        if (OnHealth)
            OnHealth(*this, notice);
    };

    BUFormMagnet1 = std::make_unique<TOcFormMagnet>();
    BUFormMagnet1->Active = true;

    FDrag = new TFramelessDrag(this);
    FDrag->Watch(CamImage, TFramelessDrag::TChild::Mover);
    FDrag->Watch(StatusBar, TFramelessDrag::TChild::EdgesOnly);
    FDrag->SizeCheck = [this](const QSize& proposed) {
        const TViewerSize s = CheckSize({proposed.width(), proposed.height()});
        return QSize(s.Width, s.Height);
    };
    FDrag->MoveCheck = [this](const QRect& cur, const QRect& p) {
        const TMagnetRect current{cur.left(), cur.top(), cur.left() + cur.width(),
                                  cur.top() + cur.height()};
        const TMagnetRect proposed{p.left(), p.top(), p.left() + p.width(), p.top() + p.height()};
        TMagnetRect workArea = proposed;
        if (QScreen* s = QGuiApplication::primaryScreen()) {
            const QRect wa = s->availableGeometry();
            workArea = {wa.left(), wa.top(), wa.left() + wa.width(), wa.top() + wa.height()};
        }
        const TMagnetRect r = BUFormMagnet1->Moving(current, proposed, workArea);
        return QPoint(r.Left, r.Top);
    };

    SaveDialog = new TOcFileDialog(TOcFileDialog::TKind::Save, QStringLiteral("SaveDialog"), this);
    SaveDialog->SetDefaultExt(QStringLiteral("jpg"));
    SaveDialog->SetFilter(QStringLiteral("JPEG File (*.jpg)|*.jpg"));

    LayoutChildren();
    FinishCreate();
}

TfoViewer::~TfoViewer() {
    DetachThreads();
}

void TfoViewer::BuildActions() {
    const auto ks = [](QKeyCombination k) { return QKeySequence(k); };
    const Qt::KeyboardModifiers ctrlShift = Qt::ControlModifier | Qt::ShiftModifier;
    actHide = NewAction(this, "actHide", tr("&Hide"), ks(Qt::Key_Escape));
    actSnooze = NewAction(this, "actSnooze", tr("&Snooze"), ks(Qt::ShiftModifier | Qt::Key_Escape));
    actRefresh = NewAction(this, "actRefresh", tr("&Refresh"), ks(Qt::Key_F5));
    actStopRefresh = NewAction(this, "actStopRefresh", tr("&Stop Refreshing"),
                               ks(Qt::ControlModifier | Qt::Key_Escape));
    actRefresh1 = NewAction(this, "actRefresh1", tr("1 second"));
    actRefresh2 = NewAction(this, "actRefresh2", tr("2 seconds"));
    actRefresh5 = NewAction(this, "actRefresh5", tr("5 seconds"));
    actRefresh10 = NewAction(this, "actRefresh10", tr("10 seconds"));
    actRefresh20 = NewAction(this, "actRefresh20", tr("20 seconds"));
    actRefresh60 = NewAction(this, "actRefresh60", tr("60 seconds"));
    actRefresh0 = NewAction(this, "actRefresh0", tr("Always refresh"));
    actRefreshBrute = NewAction(this, "actRefreshBrute", tr("&Brute Refresh"));
    actRefreshCustom = NewAction(this, "actRefreshCustom", tr("&Custom..."));
    act300x200 =
        NewAction(this, "act300x200", QStringLiteral("300*200"), ks(ctrlShift | Qt::Key_4));
    act600x400 =
        NewAction(this, "act600x400", QStringLiteral("600*400"), ks(ctrlShift | Qt::Key_5));
    act50 = NewAction(this, "act50", QStringLiteral("50%"), ks(ctrlShift | Qt::Key_0));
    act100 = NewAction(this, "act100", QStringLiteral("100%"), ks(ctrlShift | Qt::Key_1));
    act150 = NewAction(this, "act150", QStringLiteral("150%"), ks(ctrlShift | Qt::Key_2));
    act200 = NewAction(this, "act200", QStringLiteral("200%"), ks(ctrlShift | Qt::Key_3));
    actFullScreen =
        NewAction(this, "actFullScreen", tr("FullScreen"), ks(Qt::ControlModifier | Qt::Key_F));
    actAlwaysOnTop = NewAction(this, "actAlwaysOnTop", tr("&Always on Top"),
                               ks(Qt::ControlModifier | Qt::Key_T));
    actProportional = NewAction(this, "actProportional", tr("Proportional Resize"),
                                ks(Qt::ControlModifier | Qt::Key_R));
    actStatus =
        NewAction(this, "actStatus", tr("Show Status"), ks(Qt::ControlModifier | Qt::Key_U));
    actSite = NewAction(this, "actSite", QString());
    actEmail = NewAction(this, "actEmail", QString());
    actSave =
        NewAction(this, "actSave", QStringLiteral("actSave"), ks(Qt::ControlModifier | Qt::Key_S));
    actClose = NewAction(this, "actClose", tr("&Close"), ks(Qt::ControlModifier | Qt::Key_F4));

    // The interval each entry sets; the rest keep 0.
    for (const auto& [action, seconds] :
         {std::pair{actRefresh1, 1}, std::pair{actRefresh2, 2}, std::pair{actRefresh5, 5},
          std::pair{actRefresh10, 10}, std::pair{actRefresh20, 20}, std::pair{actRefresh60, 60},
          std::pair{actRefresh0, 0}, std::pair{actRefreshBrute, -1}})
        SetTag(action, seconds);

    actAlwaysOnTop->setCheckable(true);
    actProportional->setCheckable(true);
    actStatus->setCheckable(true);
    actStatus->setChecked(true);
    actSite->setToolTip(tr("Surf to Website"));
    actEmail->setToolTip(tr("Send Email"));
    actSite->setIcon(HomepageIcon());
    actEmail->setIcon(EmailIcon());
    actSite->setEnabled(false);
    actEmail->setEnabled(false);

    connect(actHide, &QAction::triggered, this, [this] { actHideExecute(); });
    connect(actSnooze, &QAction::triggered, this, [this] { actSnoozeExecute(); });
    connect(actRefresh, &QAction::triggered, this, [this] { actRefreshExecute(); });
    connect(actStopRefresh, &QAction::triggered, this, [this] { actStopRefreshExecute(); });
    for (QAction* a : {actRefresh1, actRefresh2, actRefresh5, actRefresh10, actRefresh20,
                       actRefresh60, actRefresh0, actRefreshBrute})
        connect(a, &QAction::triggered, this, [this, a] { IntervalChange(a); });
    connect(actRefreshCustom, &QAction::triggered, this, [this] { actRefreshCustomExecute(); });
    // The size button names the size chosen in fixed texts, whatever the language of the
    // menu entries; only the full-screen entry lends it its caption.
    connect(act300x200, &QAction::triggered, this,
            [this] { SetViewSize(300, 200, QStringLiteral("300*200")); });
    connect(act600x400, &QAction::triggered, this,
            [this] { SetViewSize(600, 400, QStringLiteral("600*400")); });
    connect(act50, &QAction::triggered, this, [this] { ZoomExecute(50); });
    connect(act100, &QAction::triggered, this, [this] { ZoomExecute(100); });
    connect(act150, &QAction::triggered, this, [this] { ZoomExecute(150); });
    connect(act200, &QAction::triggered, this, [this] { ZoomExecute(200); });
    connect(actFullScreen, &QAction::triggered, this, [this] { actFullScreenExecute(); });
    connect(actAlwaysOnTop, &QAction::triggered, this, [this] { actAlwaysOnTopExecute(); });
    connect(actProportional, &QAction::triggered, this, [this] { actProportionalExecute(); });
    connect(actStatus, &QAction::triggered, this, [this] { actStatusExecute(); });
    connect(actSite, &QAction::triggered, this, [this] { actSiteExecute(); });
    connect(actEmail, &QAction::triggered, this, [this] { actEmailExecute(); });
    connect(actSave, &QAction::triggered, this, [this] { actSaveExecute(); });
    connect(actClose, &QAction::triggered, this, [this] { close(); });
}

void TfoViewer::BuildMenus() {
    PopupMenu = new QMenu(this);
    PopupMenu->setObjectName(QStringLiteral("PopupMenu"));

    // The interval entries are menu items of their own: they carry the shortcuts and the
    // radio mark, and run their action.
    RefreshMenu = new QMenu(tr("Refresh Inteval"), PopupMenu);
    RefreshMenu->setObjectName(QStringLiteral("RefreshInteval1"));
    RefreshGroup = new QActionGroup(RefreshMenu);
    RefreshGroup->setExclusive(true);
    struct TEntry {
        const char* Name;
        QAction* Action;
        QKeyCombination Key;
    };
    const Qt::KeyboardModifiers ctrlAlt = Qt::ControlModifier | Qt::AltModifier;
    const TEntry entries[] = {
        {"N1second1", actRefresh1, ctrlAlt | Qt::Key_1},
        {"N2seconds1", actRefresh2, ctrlAlt | Qt::Key_2},
        {"N5seconds1", actRefresh5, ctrlAlt | Qt::Key_3},
        {"N10seconds1", actRefresh10, ctrlAlt | Qt::Key_4},
        {"N20seconds1", actRefresh20, ctrlAlt | Qt::Key_5},
        {"N60seconds1", actRefresh60, ctrlAlt | Qt::Key_6},
        {nullptr, nullptr, {}},
        {"Alwaysrefresh1", actRefresh0, ctrlAlt | Qt::Key_9},
        {"BruteRefresh1", actRefreshBrute, ctrlAlt | Qt::Key_0},
        {"Custom1", actRefreshCustom, ctrlAlt | Qt::Key_Minus},
    };
    for (const TEntry& e : entries) {
        if (!e.Action) {
            RefreshMenu->addSeparator();
            continue;
        }
        auto* item = new QAction(e.Action->text(), RefreshGroup);
        item->setObjectName(QLatin1String(e.Name));
        item->setCheckable(true);
        item->setShortcut(QKeySequence(e.Key));
        QAction* action = e.Action;
        connect(item, &QAction::triggered, this, [action] { action->trigger(); });
        connect(action, &QAction::changed, item, [item, action] {
            item->setText(action->text());
            item->setEnabled(action->isEnabled());
        });
        RefreshMenu->addAction(item);
        addAction(item);
    }

    SizeMenu = new QMenu(tr("Size"), PopupMenu);
    actSize = SizeMenu->menuAction();
    actSize->setObjectName(QStringLiteral("actSize"));
    SizePopup = new QMenu(this);
    SizePopup->setObjectName(QStringLiteral("SizePopup"));
    for (QMenu* m : {SizeMenu, SizePopup}) {
        m->addAction(act300x200);
        m->addAction(act600x400);
        m->addSeparator();
        m->addAction(act50);
        m->addAction(act100);
        m->addAction(act150);
        m->addAction(act200);
        m->addSeparator();
        m->addAction(actFullScreen);
    }

    PopupMenu->addAction(actHide);
    PopupMenu->addAction(actSnooze);
    PopupMenu->addSeparator();
    PopupMenu->addAction(actRefresh);
    PopupMenu->addAction(actStopRefresh);
    PopupMenu->addMenu(RefreshMenu);
    PopupMenu->addAction(actSize);
    PopupMenu->addSeparator();
    PopupMenu->addAction(actAlwaysOnTop);
    PopupMenu->addAction(actProportional);
    PopupMenu->addAction(actStatus);
    PopupMenu->addSeparator();
    PopupMenu->addAction(actClose);
}

void TfoViewer::BuildStatusBar() {
    StatusBar = new TOcStatusBar(this);
    StatusBar->setObjectName(QStringLiteral("StatusBar"));
    StatusBar->setFixedHeight(kViewerStatusHeight);
    StatusBar->setAutoFillBackground(true);
    for (int w : {100, 100, 34, 40})
        StatusBar->Panels()->Add(w);

    ProgressBar = new QProgressBar(StatusBar);
    ProgressBar->setObjectName(QStringLiteral("ProgressBar"));
    ProgressBar->setGeometry(2, 2, 95, 15);
    ProgressBar->setRange(0, 100);
    ProgressBar->setTextVisible(false);
    ProgressBar->hide();

    SizeButton = new QToolButton(StatusBar);
    SizeButton->setObjectName(QStringLiteral("SizeButton"));
    SizeButton->setAutoRaise(true);
    SizeButton->setGeometry(104, 4, 93, 14);
    SizeButton->setText(QStringLiteral("320*200"));
    SizeButton->setFocusPolicy(Qt::NoFocus);
    connect(SizeButton, &QToolButton::clicked, this, [this] { SizeButtonClick(); });

    const auto smallButton = [this](const char* name, int left, QAction* action) {
        auto* b = new QToolButton(StatusBar);
        b->setObjectName(QLatin1String(name));
        b->setAutoRaise(true);
        b->setFocusPolicy(Qt::NoFocus);
        b->setGeometry(left, 3, 14, 14);
        b->setIconSize(QSize(14, 14));
        b->setDefaultAction(action);
        b->setToolButtonStyle(Qt::ToolButtonIconOnly);
        return b;
    };
    SpeedButton1 = smallButton("SpeedButton1", 204, actSite);
    SpeedButton2 = smallButton("SpeedButton2", 218, actEmail);
}

void TfoViewer::FormCreate() {
    FResizing = false;
    if (CamViewer) {
        if (CamViewer->AlwaysOnTop)
            actAlwaysOnTop->trigger();
        if (CamViewer->PropResize)
            actProportional->trigger();
        if (!CamViewer->Status)
            actStatus->trigger();
    }
    LayoutChildren();
    update();
}

void TfoViewer::SetWebcam(const TCamWebcam& webcam) {
    FWebcam->Assign(webcam);
    CamImage->setProperty("Hint", ToQ(FWebcam->Name)); // kept, never shown
    const QString name = ToQ(ocelis::ElideMiddle(FWebcam->Name));
    setWindowTitle(QString(name).replace(QLatin1String("[*]"), QLatin1String("[*][*]")));
    StatusBar->Panels()->Item(3)->SetText(name);
    actSite->setEnabled(!FWebcam->Homepage.empty());
    actEmail->setEnabled(!FWebcam->Email.empty());
    FHealth->Start(FWebcam->Url, FWebcam->Refresh);
    StartThread();
}

void TfoViewer::StartThread() {
    auto* thread = new THttpThread();
    thread->OnImage = [this](THttpThread& t) { ThreadImage(t); };
    thread->OnProgress = [this](THttpThread& t) { ThreadProgress(t); };
    thread->OnTick = [this](THttpThread& t) { ThreadTick(t); };
    thread->OnFetched = [this](THttpThread& t) { ThreadFetched(t); };
    thread->Url = FWebcam->Url;
    thread->Referer = FWebcam->Referer;
    thread->Refresh.store(FWebcam->Refresh, std::memory_order_relaxed);
    thread->FreeOnTerminate = true;
    if (ThreadSetup)
        ThreadSetup(*thread);
    FThread = ocelis::TWorkerRef<THttpThread>(thread);
    thread->Resume();
}

bool TfoViewer::ThreadRunning() const {
    return FThread.Exists();
}

void TfoViewer::ForgetThread(bool clearHandlers) {
    // A forgotten thread keeps its handlers and may still deliver; remember it so that the
    // window can detach it before it goes away.
    std::erase_if(FOldThreads, [](const auto& t) { return !t.Exists(); });
    if (!clearHandlers && FThread.Exists())
        FOldThreads.push_back(FThread);
    if (clearHandlers)
        FThread.Stop();
    else
        FThread.Terminate();
}

void TfoViewer::DetachThreads() {
    ForgetThread(true);
    for (auto& old : FOldThreads)
        old.Stop();
    FOldThreads.clear();
}

void TfoViewer::SetThreadRefresh(int32_t refresh) {
    FThread.With(
        [refresh](THttpThread& t) { t.Refresh.store(refresh, std::memory_order_relaxed); });
}

void TfoViewer::ThreadImage(THttpThread& thread) {
    // A picture cut short is no new picture: nothing is shown, archived or sounded, and the
    // previous one stays. Data that is no JPEG at all still counts as a hand-over.
    bool cutShort = !thread.BodyComplete;
    // The same bytes again are no new picture either: no beep, no archive file, no count.
    if (!cutShort && !FPictures.IsNew(thread.Stream)) {
        ProgressBar->hide();
        return;
    }
    std::optional<TOcImage::TJpegPicture> image;
    if (!cutShort && !thread.Stream.empty()) {
        try {
            // Decoded only as large as the window shows it; the bytes stay for more.
            image = CamImage->DecodeForShow(thread.Stream);
        } catch (const EJpegTruncatedError&) {
            cutShort = true;
        } catch (...) {
            // Not a picture: the window goes on with what it shows.
        }
    }
    if (cutShort) {
        ProgressBar->hide();
        return;
    }
    ++FBusy;
    if (Tag(actSnooze) == 1) {
        show();
        SetTag(actSnooze, 0);
    }
    ProgressBar->hide();
    if (image) {
        try {
            // Shared: the events processed while archiving may bring the next picture.
            const std::shared_ptr<const std::string> bytes = image->Bytes;
            CamImage->SetJpeg(std::move(*image));
            if (CamViewer && CamViewer->SaveImages)
                CamViewer->SaveImage(*FWebcam, *bytes, [] { QCoreApplication::processEvents(); });
        } catch (...) {
            // The archive failed: the new picture is already shown.
        }
    }
    update();
    if (CamViewer && CamViewer->Beep)
        QApplication::beep();
    ++FImageCount;
    FHealth->NewPicture();
    if (FImageCount == 1)
        act100->trigger();
    --FBusy;
    if (FBusy == 0 && FDeleteDeferred) {
        FDeleteDeferred = false;
        QCoreApplication::postEvent(this, new QDeferredDeleteEvent());
    }
}

void TfoViewer::ThreadProgress(THttpThread& thread) {
    // Each text change repaints the whole status bar; the panel is usually empty already.
    if (!StatusBar->Panels()->Item(0)->Text().isEmpty())
        StatusBar->Panels()->Item(0)->SetText(QString());
    ProgressBar->show();
    const int32_t max = thread.ContentLength;
    const int32_t pos = thread.Received;
    if (max > 0 && pos >= 0 && pos <= max) {
        ProgressBar->setRange(0, max);
        ProgressBar->setValue(pos);
    } else {
        // No usable length (no HEAD, none in the answer, or more bytes than announced).
        ProgressBar->setRange(0, 0);
    }
}

void TfoViewer::ThreadTick(THttpThread& thread) {
    StatusBar->Panels()->Item(0)->SetText(
        ToQ(CountdownText(thread.Countdown, TestingRefresh, TimeLeftOne, TimeLeft)));
}

QImage TfoViewer::Picture() const {
    // A deep copy: the control's view is valid only until its next picture.
    return CamImage->Picture().copy();
}

void TfoViewer::ThreadFetched(THttpThread& thread) {
    FHealth->Fetched(thread.Failure);
}

void TfoViewer::actHideExecute() {
    hide();
}

void TfoViewer::actSnoozeExecute() {
    SetTag(actSnooze, 1);
    actHide->trigger();
}

void TfoViewer::actRefreshExecute() {
    ForgetThread(false);
    StartThread();
    FHealth->Resume();
}

void TfoViewer::actStopRefreshExecute() {
    ForgetThread(false);
    FHealth->Pause();
    StatusBar->Panels()->Item(0)->SetText(QString());
}

void TfoViewer::IntervalChange(QAction* action) {
    const int32_t t = Tag(action);
    FWebcam->Refresh = t;
    FHealth->SetRefresh(t);
    if (ThreadRunning())
        SetThreadRefresh(t);
    else
        actRefresh->trigger();
}

void TfoViewer::actRefreshCustomExecute() {
    const std::optional<QString> text = TDialogs::InputText(
        this, ToQ(RefreshTitle), ToQ(RefreshCaption), QString::number(FWebcam->Refresh));
    if (!text)
        return;
    const std::optional<int64_t> v = TryStrToInt64(Trim(FromQ(*text)));
    if (v && *v >= INT32_MIN && *v <= INT32_MAX)
        FWebcam->Refresh = static_cast<int32_t>(*v);
    FHealth->SetRefresh(FWebcam->Refresh);
    if (ThreadRunning())
        SetThreadRefresh(FWebcam->Refresh);
}

void TfoViewer::ZoomExecute(int percent) {
    const TViewerSize s = ZoomSize(CamImage->PictureWidth(), CamImage->PictureHeight(), percent);
    SetViewSize(s.Width, s.Height, QString::number(percent) + QLatin1Char('%'));
}

void TfoViewer::actFullScreenExecute() {
    setWindowState((windowState() & ~Qt::WindowMinimized) | Qt::WindowMaximized);
    SizeButton->setText(actFullScreen->text());
}

void TfoViewer::actAlwaysOnTopExecute() {
    const bool visible = isVisible();
    const QRect geometryBefore = geometry();
    // Changing the flag re-creates the native window; keep place and size.
    setWindowFlag(Qt::WindowStaysOnTopHint, actAlwaysOnTop->isChecked());
    if (visible) {
        setGeometry(geometryBefore);
        show();
    }
}

void TfoViewer::actProportionalExecute() {
    ResizeHandler();
}

void TfoViewer::actStatusExecute() {
    StatusBar->setVisible(actStatus->isChecked());
    // One pixel narrower, then one wider, each through the size check: that fits the window
    // to the picture's proportions again. The check reads nothing of the current size, so
    // the window takes the end of the two steps at once. Outside the normal state the check
    // changes nothing, and a maximised window is left to the window manager.
    if (NormalState()) {
        const TViewerSize narrower = CheckSize({width() - 1, height()});
        const TViewerSize s = CheckSize({narrower.Width + 1, narrower.Height});
        resize(s.Width, s.Height);
    }
    LayoutChildren();
    update();
}

void TfoViewer::actSiteExecute() {
    const QUrl url = SafeHomepageUrl(FWebcam->Homepage);
    if (url.isValid())
        QDesktopServices::openUrl(url);
}

void TfoViewer::actEmailExecute() {
    const QUrl url = SafeMailtoUrl(FWebcam->Email);
    if (url.isValid())
        QDesktopServices::openUrl(url);
}

void TfoViewer::actSaveExecute() {
    // Pictures go where the archive keeps them, or where the desktop keeps pictures; never
    // into whatever folder the program happened to start in.
    QString start;
    std::error_code ec;
    if (CamViewer && !CamViewer->SavePath.empty() &&
        std::filesystem::is_directory(CamViewer->SavePath, ec))
        start = ToQ(CamViewer->SavePath);
    else
        start = QStandardPaths::writableLocation(QStandardPaths::PicturesLocation);
    if (start.isEmpty() || !QFileInfo(start).isDir())
        start = QDir::homePath();
    SaveDialog->SetInitialDir(start);
    // A slash in the name would make the dialog look for a folder.
    SaveDialog->SetFileName(ToQ(FWebcam->Name).replace(QLatin1Char('/'), QLatin1Char('-')));
    const std::optional<QString> path = SaveDialog->Execute(this);
    if (!path)
        return;
    try {
        const QByteArray file = QFile::encodeName(*path);
        // From a full-size decode, whatever scale the window holds.
        SaveJpegFile(std::filesystem::path(file.toStdString()), CamImage->FullBitmap(), 90);
    } catch (...) {
        // Saving failures are not reported.
    }
}

void TfoViewer::SizeButtonClick() {
    SizePopup->popup(SizeButton->mapToGlobal(QPoint(0, SizeButton->height())));
}

bool TfoViewer::NormalState() const {
    return !(windowState() & (Qt::WindowMaximized | Qt::WindowFullScreen | Qt::WindowMinimized));
}

TViewerSize TfoViewer::CheckSize(TViewerSize proposed) const {
    TViewerSizeContext c;
    c.Proportional = actProportional->isChecked();
    c.Resizing = FResizing;
    c.NormalState = NormalState();
    c.StatusVisible = !StatusBar->isHidden();
    c.PictureWidth = CamImage->PictureWidth();
    c.PictureHeight = CamImage->PictureHeight();
    QScreen* s = screen() ? screen() : QGuiApplication::primaryScreen();
    if (s) {
        c.ScreenWidth = s->geometry().width();
        c.ScreenHeight = s->geometry().height();
    }
    return CheckViewerSize(proposed, c);
}

void TfoViewer::SetViewSize(int w, int h, const QString& caption) {
    const TViewerSize s = CheckSize({w, h});
    FResizing = true;
    if (!NormalState())
        setWindowState(windowState() &
                       ~(Qt::WindowMaximized | Qt::WindowFullScreen | Qt::WindowMinimized));
    resize(s.Width, s.Height);
    FResizing = false;
    SizeButton->setText(caption);
    LayoutChildren();
    CamImage->update();
    update();
}

void TfoViewer::LayoutChildren() {
    const int w = width();
    const int h = height();
    if (StatusBar->isHidden()) {
        CamImage->setGeometry(0, 0, w, h);
    } else {
        CamImage->setGeometry(0, 0, w, std::max(0, h - kViewerStatusHeight));
        StatusBar->setGeometry(0, h - kViewerStatusHeight, w, kViewerStatusHeight);
    }
    if (FHealth)
        FHealth->Layout();
}

void TfoViewer::ResizeHandler() {
    if (FResizing)
        return;
    FResizing = true;
    if ((QGuiApplication::mouseButtons() & Qt::LeftButton) || actProportional->isChecked()) {
        SizeButton->setText(
            ToQ(ZoomCaption(CamImage->width(), CamImage->height(), CamImage->PictureWidth(),
                            CamImage->PictureHeight(), width(), height())));
    }
    FResizing = false;
}

void TfoViewer::resizeEvent(QResizeEvent* event) {
    TSForm::resizeEvent(event);
    LayoutChildren();
    ResizeHandler();
}

void TfoViewer::showEvent(QShowEvent* event) {
    TSForm::showEvent(event);
    LayoutChildren();
}

void TfoViewer::changeEvent(QEvent* event) {
    TSForm::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && isActiveWindow()) {
        LayoutChildren();
        update();
    }
}

bool TfoViewer::event(QEvent* event) {
    // SaveImage lets pending events run in the middle of an image hand-over; a close that
    // comes in then must not free the window under it.
    if (event->type() == QEvent::DeferredDelete && FBusy > 0) {
        FDeleteDeferred = true;
        return true;
    }
    return TSForm::event(event);
}

void TfoViewer::paintEvent(QPaintEvent*) {
    // The desktop colour behind a picture smaller than the window (not the palette's, which
    // the status bar and its buttons inherit).
    QPainter p(this);
    p.fillRect(rect(), Qt::black);
}

void TfoViewer::contextMenuEvent(QContextMenuEvent* event) {
    PopupMenu->popup(event->globalPos());
    event->accept();
}
