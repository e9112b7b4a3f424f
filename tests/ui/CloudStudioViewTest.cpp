#include "studio/CloudStudioView.h"
#include "cloud/StudioFixture.h"
#include "kit/AquaButton.h"
#include "kit/SegmentedControl.h"
#include "kit/Spinner.h"
#include "kit/SymbolLabel.h"
#include "store/AppState.h"
#include "studio/KeySheet.h"
#include "studio/StatusText.h"
#include "studio/StudioRules.h"

#include <QCheckBox>
#include <QComboBox>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QPlainTextEdit>
#include <QScreen>
#include <QSignalSpy>

namespace {

using TestSupport::HttpReply;

CloudModel entry(const QString& id, const QString& provider, bool available)
{
    return {id, id.toUpper(), provider, 4, available, u"1k"_qs, u"low"_qs};
}

QByteArray catalog(const QList<CloudModel>& models)
{
    QJsonArray array;
    for (const CloudModel& entry : models)
        array.append(entry.toJson());
    return QJsonDocument(QJsonObject{{u"models"_qs, array}}).toJson(QJsonDocument::Compact);
}

TEST(StudioRules, ListsModelsByRoute)
{
    const QList<CloudModel> models{entry(u"a"_qs, u"xAI"_qs, false),
                                   entry(u"b"_qs, u"xai"_qs, false),
                                   entry(u"c"_qs, u"Other"_qs, true)};
    EXPECT_EQ(StudioRules::listedModels(models, false), QList<CloudModel>{models[2]});
    // On the own-key route only the exact provider "xAI" adds unavailable models.
    EXPECT_EQ(StudioRules::listedModels(models, true), (QList<CloudModel>{models[0], models[2]}));
    EXPECT_EQ(StudioRules::availableCount(models), 1);
    EXPECT_EQ(StudioRules::modelRowText(models[0], true), u"A · Provider billing"_qs);
    EXPECT_EQ(StudioRules::selectedModel(models, u"b"_qs), models[1]);
    EXPECT_FALSE(StudioRules::selectedModel(models, u"B"_qs));
    EXPECT_EQ(StudioRules::enhancementPrompt.size(), 196);
}

TEST(StudioRules, GenerateNeedsEveryConditionInOrder)
{
    const CloudModel offline = entry(u"a"_qs, u"xAI"_qs, false);
    EXPECT_FALSE(StudioRules::canGenerate(true, u"p"_qs, offline, true, true));
    EXPECT_FALSE(StudioRules::canGenerate(false, QString(), offline, true, true));
    EXPECT_TRUE(StudioRules::canGenerate(false, u"  "_qs, offline, true, true));
    EXPECT_FALSE(StudioRules::canGenerate(false, u"p"_qs, std::nullopt, true, true));
    EXPECT_FALSE(StudioRules::canGenerate(false, u"p"_qs, offline, true, false));
    EXPECT_FALSE(StudioRules::canGenerate(false, u"p"_qs, offline, false, true));
}

class CloudStudioViewTest : public StudioTest {
protected:
    void SetUp() override
    {
        StudioTest::SetUp();
        state = std::make_unique<AppState>(
            std::make_unique<QSettings>(folder.filePath("app.ini"), QSettings::IniFormat));
    }

    // The sheet, shown, with the catalogue loaded.
    std::unique_ptr<CloudStudioView> open(const QList<CloudModel>& models)
    {
        server.reply("GET", u"/api/models"_qs, HttpReply::json(200, catalog(models)));
        auto view = std::make_unique<CloudStudioView>(*state, environment());
        view->setAttribute(Qt::WA_DeleteOnClose, false);
        view->show();
        EXPECT_TRUE(QTest::qWaitFor([&] { return server.requestCount() > 0; }, 5000));
        // Asked is not answered: under load the catalogue may arrive well after its request.
        EXPECT_TRUE(QTest::qWaitFor([&] { return view->studio().models() == models; }, 10000));
        EXPECT_TRUE(QTest::qWaitFor([&] { return !view->studio().isReadingKey(); }, 5000));
        QTest::qWait(50);
        return view;
    }

    Item queued(const QString& name)
    {
        Item item;
        item.id = QUuid::createUuid();
        item.path = pathIn(name);
        return item;
    }

    void useOwnKey(CloudStudioView& view) { view.routePicker()->activated(1); }

    std::unique_ptr<AppState> state;
};

TEST_F(CloudStudioViewTest, AnEmptyCatalogueShowsItsNoteOnTheServiceRouteOnly)
{
    auto view = open({});
    EXPECT_FALSE(view->ownKey()) << "opens on the service";
    EXPECT_EQ(view->modelPicker()->count(), 0);
    EXPECT_FALSE(view->row(u"emptyNote"_qs)->isHidden());
    EXPECT_TRUE(view->row(u"comingSoon"_qs)->isHidden());
    EXPECT_FALSE(view->generateButton()->isEnabled());
    useOwnKey(*view);
    EXPECT_TRUE(view->row(u"emptyNote"_qs)->isHidden());
    EXPECT_FALSE(view->row(u"ownKey"_qs)->isHidden());
}

TEST_F(CloudStudioViewTest, UnavailableModelsShowOnlyOnTheOwnKeyRoute)
{
    auto view =
        open({entry(u"grok-1k-low"_qs, u"xAI"_qs, false), entry(u"other"_qs, u"xai"_qs, false)});
    EXPECT_EQ(view->modelPicker()->count(), 0);
    EXPECT_EQ(view->modelPicker()->currentIndex(), -1);
    EXPECT_FALSE(view->row(u"emptyNote"_qs)->isHidden());
    view->promptEditor()->setPlainText(u"a lighthouse"_qs);
    EXPECT_FALSE(view->generateButton()->isEnabled()) << "the service needs an available model";

    storeKey("xai-0123456789abcdefghijklmnop");
    view->studio().setHasOwnKey(true);
    useOwnKey(*view);
    ASSERT_EQ(view->modelPicker()->count(), 1);
    EXPECT_EQ(view->modelPicker()->itemText(0), u"GROK-1K-LOW · Provider billing"_qs);
    EXPECT_EQ(view->modelPicker()->currentIndex(), 0);
    EXPECT_TRUE(view->generateButton()->isEnabled()) << "own key ignores availability";
}

TEST_F(CloudStudioViewTest, TheReferenceFollowsTheSelection)
{
    const Item first = queued(u"first.png"_qs);
    const Item second = queued(u"second.png"_qs);
    state->setItems({first, second});
    auto view = open({entry(u"grok-1k-low"_qs, u"xAI"_qs, true)});
    EXPECT_FALSE(view->referenceToggle()->isEnabled());

    state->setSelection(second.id);
    ASSERT_TRUE(view->referenceToggle()->isEnabled());
    view->referenceToggle()->setChecked(true);
    EXPECT_FALSE(view->row(u"reference"_qs)->isHidden());
    view->promptEditor()->setPlainText(u"old"_qs);
    view->enhanceButton()->click();
    EXPECT_EQ(view->promptEditor()->toPlainText(), StudioRules::enhancementPrompt);

    state->setSelection(std::nullopt);
    EXPECT_TRUE(view->referenceToggle()->isChecked());
    EXPECT_FALSE(view->referenceToggle()->isEnabled());
    EXPECT_TRUE(view->row(u"reference"_qs)->isHidden());
}

TEST_F(CloudStudioViewTest, GeneratingMirrorsBusyAndLocksTheSheet)
{
    const Item first = queued(u"first.png"_qs);
    state->setItems({first});
    auto view = open({entry(u"grok-1k-low"_qs, u"xAI"_qs, true)});
    QSignalSpy cloudRunning(state.get(), &AppState::isCloudRunningChanged);
    EXPECT_EQ(cloudRunning.count(), 0) << "appearing writes nothing";

    // The job is taken, then the service never answers the poll until released.
    server.reply("POST", u"/api/cloud/generate"_qs,
                 HttpReply::json(200, R"({"status":"queued","job_id":"J1"})"));
    server.reply("POST", u"/api/cloud/result"_qs, HttpReply::stall());
    choice = pathIn(u"new.png"_qs);
    view->promptEditor()->setPlainText(u"a lighthouse"_qs);
    view->generateButton()->click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return view->studio().isBusy(); }, 5000));
    EXPECT_TRUE(state->isCloudRunning());
    EXPECT_FALSE(view->doneButton()->isEnabled());
    EXPECT_FALSE(view->generateButton()->isEnabled());
    view->reject();
    QTest::keyClick(view.get(), Qt::Key_Escape);
    EXPECT_TRUE(view->isVisible()) << "busy refuses Done and Escape";
    view->promptEditor()->setPlainText(u"still editable"_qs);
    EXPECT_TRUE(view->modelPicker()->isEnabled());
    ASSERT_EQ(chooserCalls.size(), 1);
    ASSERT_TRUE(server.waitForRequests(3, 5000));
    const auto posted = server.requests("POST", u"/api/cloud/generate"_qs);
    ASSERT_EQ(posted.size(), 1);
    EXPECT_TRUE(posted[0].body.contains("a lighthouse"));
}

TEST_F(CloudStudioViewTest, ClosingTheKeySheetRereadsTheKey)
{
    auto view = open({entry(u"grok-1k-low"_qs, u"xAI"_qs, true)});
    useOwnKey(*view);
    view->promptEditor()->setPlainText(u"a lighthouse"_qs);
    EXPECT_EQ(view->keyButton()->text(), u"Set Up API Key…"_qs);
    EXPECT_FALSE(view->generateButton()->isEnabled());
    view->keyButton()->click();
    ASSERT_TRUE(view->keySheet());
    storeKey("xai-0123456789abcdefghijklmnop");
    view->keySheet()->reject();
    ASSERT_TRUE(QTest::qWaitFor([&] { return view->studio().hasOwnKey(); }, 5000));
    EXPECT_EQ(view->keyButton()->text(), u"Manage API Keys…"_qs);
    EXPECT_TRUE(view->generateButton()->isEnabled());
}

} // namespace

namespace {

TEST_F(CloudStudioViewTest, AnOwnKeyImageIsSavedFromTheQueueOrderAndRevealedUntilTheNextStart)
{
    storeKey("xai-0123456789abcdefghijklmnop");
    QImage picture(40, 30, QImage::Format_RGB32);
    picture.fill(Qt::darkCyan);
    ASSERT_TRUE(picture.save(pathIn(u"first.png"_qs)));
    state->setItems({queued(u"first.png"_qs), queued(u"second.png"_qs)});
    auto view = open({entry(u"grok-1k-low"_qs, u"xAI"_qs, true)});
    useOwnKey(*view);
    view->studio().setHasOwnKey(true);
    server.reply(
        "POST", u"/v1/images/generations"_qs,
        HttpReply::json(200, "{\"data\":[{" + imageJson("b64_json", picture, "png") + "}]}"));

    // A name that is one of the queued originals is refused before anything is sent.
    choice = pathIn(u"second.png"_qs);
    view->promptEditor()->setPlainText(u"a lighthouse"_qs);
    view->referenceToggle()->setChecked(false);
    view->generateButton()->click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !view->statusText()->text().isEmpty(); }, 5000));
    waitIdle(view->studio());
    EXPECT_TRUE(server.requests("POST", u"/v1/images/generations"_qs).isEmpty());
    EXPECT_TRUE(view->showInFolderButton()->isHidden());

    choice = pathIn(u"lighthouse.png"_qs);
    view->generateButton()->click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !view->showInFolderButton()->isHidden(); }, 5000));
    EXPECT_TRUE(QFile::exists(pathIn(u"lighthouse.png"_qs)));
    EXPECT_FALSE(state->isCloudRunning());

    server.reply("POST", u"/v1/images/generations"_qs, HttpReply::stall());
    choice = pathIn(u"another.png"_qs);
    view->generateButton()->click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return view->studio().isBusy(); }, 5000));
    EXPECT_TRUE(view->showInFolderButton()->isHidden());
}

TEST_F(CloudStudioViewTest, ARememberedJobOffersCheckResult)
{
    settings->setValue(u"cloudJob"_qs, u"J7"_qs);
    settings->setValue(u"cloudDestination"_qs,
                       QUrl::fromLocalFile(pathIn(u"later.png"_qs)).toString());
    auto view = open({entry(u"grok-1k-low"_qs, u"xAI"_qs, true)});
    EXPECT_FALSE(view->checkResultButton()->isHidden());
    EXPECT_TRUE(view->checkResultButton()->isEnabled());
}

} // namespace

namespace {

TEST_F(CloudStudioViewTest, AHugeServiceTextShowsThreeLines)
{
    auto view = open({entry(u"grok-1k-low"_qs, u"xAI"_qs, true)});
    QString huge;
    for (int i = 0; huge.size() < (2 << 20); ++i)
        huge += u"The provider refused <b>request</b> number "_qs + QString::number(i) + u". "_qs;
    server.reply(
        "POST", u"/api/cloud/generate"_qs,
        HttpReply::json(
            500, QJsonDocument(QJsonObject{{u"error"_qs, huge}}).toJson(QJsonDocument::Compact)));
    choice = pathIn(u"refused.png"_qs);
    view->promptEditor()->setPlainText(u"a lighthouse"_qs);
    view->generateButton()->click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return view->studio().message() == huge; }, 20000));
    waitIdle(view->studio());
    QTest::qWait(50);

    const QString shown = view->statusText()->text();
    EXPECT_LE(shown.count(u'\n'), 2);
    EXPECT_TRUE(shown.startsWith(u"The provider refused <b>request</b> number 0."_qs));
    EXPECT_TRUE(shown.endsWith(u'\u2026'));
    EXPECT_LE(view->statusText()->height(), 4 * view->statusText()->fontMetrics().lineSpacing());
    EXPECT_TRUE(view->statusText()->toolTip().contains(u"&lt;b&gt;request&lt;/b&gt; number 1."_qs));

    // A short sentence is shown whole, with no tooltip.
    server.reset();
    server.reply("POST", u"/api/cloud/generate"_qs,
                 HttpReply::json(500, R"({"error":"Out of credits."})"));
    choice = pathIn(u"short.png"_qs);
    view->generateButton()->click();
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return view->studio().message() == u"Out of credits."_qs; }, 10000));
    QTest::qWait(20);
    EXPECT_EQ(view->statusText()->text(), u"Out of credits."_qs);
    EXPECT_TRUE(view->statusText()->toolTip().isEmpty());
}

} // namespace

namespace {

// Opening the studio over a keyring that never answers: the sheet is there at once and says
// that it waits, the key sheet still opens, and the keyring's sentence ends the wait.
TEST_F(CloudStudioViewTest, OpensAtOnceOverASilentKeyringAndEndsItsWaitInTheKeyringsSentence)
{
    SilentKeyring silent;
    server.reply("GET", u"/api/models"_qs,
                 HttpReply::json(200, catalog({entry(u"grok-1k-low"_qs, u"xAI"_qs, true)})));
    CloudStudioView view(*state, environment());
    view.setAttribute(Qt::WA_DeleteOnClose, false);
    view.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
    ASSERT_TRUE(QTest::qWaitFor([&] { return view.showsKeyringWait(); }, 5000));
    EXPECT_EQ(view.statusText()->message(), u"Waiting for the keyring…"_qs);
    EXPECT_FALSE(view.spinner()->isHidden());
    useOwnKey(view);
    view.promptEditor()->setPlainText(u"a lighthouse"_qs);
    EXPECT_FALSE(view.generateButton()->isEnabled());
    view.keyButton()->click();
    ASSERT_TRUE(view.keySheet());
    view.keySheet()->reject();

    const QString noAnswer = u"Reading from the keyring failed: the keyring did not answer."_qs;
    ASSERT_TRUE(QTest::qWaitFor([&] { return view.studio().message() == noAnswer; }, 10000));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !view.showsKeyringWait(); }, 10000));
    EXPECT_EQ(view.statusText()->message(), noAnswer);
    EXPECT_TRUE(view.spinner()->isHidden());
    EXPECT_FALSE(view.studio().hasOwnKey());
    // An unread key is not presented as absent; the catalogue never waited for the keyring.
    EXPECT_EQ(view.row(u"ownKey"_qs)->findChild<SymbolLabel*>()->text(),
              u"Couldn’t read your xAI key from the keyring"_qs);
    EXPECT_TRUE(view.doneButton()->isEnabled());
    EXPECT_EQ(view.modelPicker()->count(), 1);
    EXPECT_EQ(silent.store->callsOnGuiThread(), 0);
}

} // namespace

namespace {

QString threeLines()
{
    return u"The provider could not complete this image because the request was flagged by an "
           u"automated review of prompts and reference images; nothing was charged. Change the "
           u"wording of the prompt, remove the reference image or pick another model, then try "
           u"again. If this keeps happening, the service's status page lists known problems."_qs;
}

QRect onScreen(const QWidget* widget)
{
    return {widget->mapToGlobal(QPoint()), widget->size()};
}

// Whatever the status row holds (nothing, the spinner and a line, three lines), the buttons stay
// where they are.
TEST_F(CloudStudioViewTest, TheActionRowStaysPutAsStatusTextsComeAndGo)
{
    auto view = open({entry(u"grok-1k-low"_qs, u"xAI"_qs, true)});
    const QRect idle = onScreen(view->generateButton());
    view->promptEditor()->setPlainText(u"a lighthouse"_qs);

    server.reply("POST", u"/api/cloud/generate"_qs, HttpReply::stall());
    choice = pathIn(u"busy.png"_qs);
    view->generateButton()->click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return view->studio().isBusy(); }, 5000));
    QTest::qWait(50);
    EXPECT_EQ(onScreen(view->generateButton()), idle) << "busy";

    server.reset();
    server.reply("POST", u"/api/cloud/generate"_qs,
                 HttpReply::json(500, QJsonDocument(QJsonObject{{u"error"_qs, threeLines()}})
                                          .toJson(QJsonDocument::Compact)));
    auto again = open({entry(u"grok-1k-low"_qs, u"xAI"_qs, true)});
    const QRect before = onScreen(again->generateButton());
    again->promptEditor()->setPlainText(u"a lighthouse"_qs);
    choice = pathIn(u"refused.png"_qs);
    again->generateButton()->click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return again->studio().message() == threeLines(); }, 10000));
    QTest::qWait(50);
    ASSERT_EQ(again->statusText()->text().count(u'\n'), 2);
    EXPECT_EQ(onScreen(again->generateButton()), before) << "three lines";
}

// Over a window that fills its screen, the fullest sheet (own key, a reference image, a status
// of three lines) ends within the screen's free area with "Generate & Save…" whole on it; rows
// that do not fit scroll.
TEST_F(CloudStudioViewTest, TheFullestSheetFitsItsScreenWithGenerateOnIt)
{
    const Item reference = queued(u"harbour at dusk.jpg"_qs);
    state->setItems({reference});
    state->setSelection(reference.id);
    QWidget window;
    window.setGeometry(window.screen()->availableGeometry());
    window.show();
    server.reply("GET", u"/api/models"_qs,
                 HttpReply::json(200, catalog({entry(u"grok-1k-low"_qs, u"xAI"_qs, true)})));
    server.reply("POST", u"/api/cloud/generate"_qs,
                 HttpReply::json(500, QJsonDocument(QJsonObject{{u"error"_qs, threeLines()}})
                                          .toJson(QJsonDocument::Compact)));
    auto* view = new CloudStudioView(*state, environment(), &window);
    view->open();
    ASSERT_TRUE(QTest::qWaitFor([&] { return server.requestCount() > 0; }, 5000));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !view->studio().models().isEmpty(); }, 5000));

    view->promptEditor()->setPlainText(u"a lighthouse"_qs);
    choice = pathIn(u"refused.png"_qs);
    view->generateButton()->click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return view->studio().message() == threeLines(); }, 10000));
    useOwnKey(*view);
    view->referenceToggle()->setChecked(true);
    QTest::qWait(100);

    const QRect free = view->screen()->availableGeometry();
    EXPECT_TRUE(free.contains(view->frameGeometry())) << free.height();
    EXPECT_TRUE(free.contains(onScreen(view->generateButton())));
    EXPECT_FALSE(view->row(u"reference"_qs)->isHidden());
    EXPECT_FALSE(view->row(u"ownKey"_qs)->isHidden());

    // The key sheet over it fits too; its key view scrolls what it cannot show.
    view->keyButton()->click();
    ASSERT_TRUE(view->keySheet());
    ASSERT_TRUE(QTest::qWaitForWindowExposed(view->keySheet()));
    QTest::qWait(50);
    EXPECT_TRUE(free.contains(view->keySheet()->frameGeometry())) << free.height();
    view->keySheet()->reject();
}

} // namespace
