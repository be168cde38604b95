// TSForm and FormList: names, order, translation at creation, the "arial" face.
#include <QLabel>
#include <algorithm>
#include <gtest/gtest.h>
#include <memory>
#include <stdexcept>

#include "gui/SForm.h"
#include "platform/Dialogs.h"
#include "settings/LangTestWindow.h"
#include "settings/Translator.h"

namespace {

bool gThrowInCreate = false;

class TfoTest : public TSForm {
public:
    explicit TfoTest(const QString& layoutName = QStringLiteral("foViewer")) : TSForm(layoutName) {
        ocelis_test::BuildAllComponents(this);
        FinishCreate();
    }
    QString captionInCreate;
    bool listedInCreate = false;
    bool visibleInCreate = true;
    int creates = 0;

protected:
    void FormCreate() override {
        ++creates;
        captionInCreate = windowTitle();
        listedInCreate = std::find(FormList.begin(), FormList.end(), this) != FormList.end();
        visibleInCreate = isVisible();
        if (gThrowInCreate)
            throw std::runtime_error("creation failed");
    }
};

class SFormFixture : public ::testing::Test {
protected:
    void SetUp() override {
        main = std::make_unique<QWidget>();
        main->setObjectName(QStringLiteral("foCamMain"));
        translator = new TOcTranslator(main.get());
        TOcTranslator::SetInstance(translator);
        gThrowInCreate = false;
    }
    void TearDown() override {
        windows.clear();
        main.reset();
        TOcTranslator::SetInstance(nullptr);
        ocelis::TDialogs::SetTestMode(false);
        ocelis::TDialogs::ClearTestState();
        gThrowInCreate = false;
    }
    TfoTest* Open(const char* name = "foViewer") {
        windows.push_back(std::make_unique<TfoTest>(QString::fromLatin1(name)));
        return windows.back().get();
    }
    void Close(TfoTest* w) {
        windows.erase(std::find_if(windows.begin(), windows.end(),
                                   [w](const auto& p) { return p.get() == w; }));
    }
    static QString Caption(QWidget* w) {
        return w->findChild<QLabel*>(QStringLiteral("Label1"))->text();
    }

    std::unique_ptr<QWidget> main;
    TOcTranslator* translator = nullptr;
    std::vector<std::unique_ptr<TfoTest>> windows;
};

} // namespace

TEST_F(SFormFixture, UniqueNamesAndCreationOrder) {
    TfoTest* a = Open();
    TfoTest* b = Open();
    TfoTest* c = Open();
    TfoTest* mire = Open("foMire");
    EXPECT_EQ(a->objectName(), QStringLiteral("foViewer"));
    EXPECT_EQ(b->objectName(), QStringLiteral("foViewer_1"));
    EXPECT_EQ(c->objectName(), QStringLiteral("foViewer_2"));
    EXPECT_EQ(mire->objectName(), QStringLiteral("foMire"));
    EXPECT_EQ(FormList, (std::vector<TSForm*>{a, b, c, mire}));

    // Closing the middle viewer keeps the others in order; the freed name is reused.
    Close(b);
    EXPECT_EQ(FormList, (std::vector<TSForm*>{a, c, mire}));
    TfoTest* d = Open();
    EXPECT_EQ(d->objectName(), QStringLiteral("foViewer_1"));
    EXPECT_EQ(FormList, (std::vector<TSForm*>{a, c, mire, d}));
    Close(a);
    EXPECT_EQ(Open()->objectName(), QStringLiteral("foViewer"));
    windows.clear();
    EXPECT_TRUE(FormList.empty());
}

TEST_F(SFormFixture, TranslatedThenListedThenCreated) {
    translator->ApplyLanguageText("<T><foViewer Caption='Betrachter'/></T>");
    TfoTest* w = Open();
    EXPECT_EQ(w->creates, 1);
    EXPECT_EQ(w->captionInCreate, QStringLiteral("Betrachter"));
    EXPECT_TRUE(w->listedInCreate);
}

TEST_F(SFormFixture, LaterLanguageReachesEveryWindowOfTheKindAndNewWindowsInFull) {
    TfoTest* a = Open();
    TfoTest* b = Open();
    TfoTest* c = Open();
    translator->ApplyLanguageText(
        "<T><foViewer Caption='Viewer DE'><Label1 Caption='Bild'/></foViewer></T>");
    EXPECT_EQ(a->windowTitle(), QStringLiteral("Viewer DE"));
    EXPECT_EQ(Caption(a), QStringLiteral("Bild"));
    EXPECT_EQ(Caption(b), QStringLiteral("Bild"));
    EXPECT_EQ(c->windowTitle(), QStringLiteral("Viewer DE"));
    TfoTest* d = Open();
    EXPECT_EQ(d->objectName(), QStringLiteral("foViewer_3"));
    EXPECT_EQ(d->windowTitle(), QStringLiteral("Viewer DE"));
    EXPECT_EQ(Caption(d), QStringLiteral("Bild"));
}

TEST_F(SFormFixture, ArialFaceOnEveryShowSizeAndStyleKept) {
    TfoTest* w = Open();
    QFont f(QStringLiteral("Courier"), 13);
    f.setBold(true);
    w->setFont(f);
    w->show();
    EXPECT_EQ(w->font().family(), QStringLiteral("arial"));
    EXPECT_EQ(w->font().pointSize(), 13);
    EXPECT_TRUE(w->font().bold());
    // Controls that take their font from the window follow.
    EXPECT_EQ(w->findChild<QLabel*>(QStringLiteral("Label1"))->font().family(),
              QStringLiteral("arial"));
    w->hide();
    QFont g = w->font();
    g.setFamily(QStringLiteral("Times"));
    w->setFont(g);
    w->show();
    EXPECT_EQ(w->font().family(), QStringLiteral("arial"));
    EXPECT_TRUE(w->font().bold());
}

TEST_F(SFormFixture, HiddenWindowsStayListed) {
    TfoTest* w = Open();
    w->show();
    w->hide();
    EXPECT_EQ(FormList, std::vector<TSForm*>{w});
}

TEST_F(SFormFixture, ErrorInCreationHandlerIsReportedAndTheWindowStays) {
    ocelis::TDialogs::SetTestMode(true);
    gThrowInCreate = true;
    TfoTest* w = Open();
    ASSERT_EQ(ocelis::TDialogs::Messages().size(), 1u);
    EXPECT_EQ(ocelis::TDialogs::Messages()[0].Title, QStringLiteral("Ocelis"));
    EXPECT_EQ(ocelis::TDialogs::Messages()[0].Text, QStringLiteral("creation failed."));
    EXPECT_EQ(ocelis::TDialogs::Messages()[0].Icon, QMessageBox::Critical);
    EXPECT_EQ(FormList, std::vector<TSForm*>{w});
}

TEST_F(SFormFixture, ALanguageFileCannotShowAWindowBeingBuilt) {
    translator->ApplyLanguageText("<T><foViewer Visible='True' Caption='x'/></T>");
    TfoTest* w = Open();
    EXPECT_FALSE(w->visibleInCreate);
    EXPECT_FALSE(w->isVisible());
    EXPECT_EQ(w->windowTitle(), QStringLiteral("x"));
    // Once built, the window is an ordinary window for the translator.
    translator->ApplyLanguageText("<T><foViewer Visible='True'/></T>");
    EXPECT_TRUE(w->isVisible());
}

TEST_F(SFormFixture, WithoutTranslatorWindowsAreCreatedUntranslated) {
    TOcTranslator::SetInstance(nullptr);
    TfoTest* w = Open();
    EXPECT_EQ(w->creates, 1);
    EXPECT_EQ(Caption(w), QStringLiteral("Label"));
    EXPECT_EQ(FormList, std::vector<TSForm*>{w});
}
