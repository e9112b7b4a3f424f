#include "StudioFixture.h"
#include "TestSupport.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRandomGenerator>
#include <QSignalSpy>

using namespace TestSupport;

namespace {

const QString promptRule = u"Enter a prompt of up to 4,096 UTF-8 bytes."_qs;
const QString newName = u"Choose a new filename so existing images stay intact."_qs;

} // namespace

TEST_F(StudioTest, PromptIsCheckedInUtf8BytesBeforeTheChooser)
{
    auto studio = makeStudio();
    const QString accepted(2048, u'\u00E9'); // 4,096 bytes
    studio->generate(accepted, model(), std::nullopt, false, {});
    ASSERT_EQ(chooserCalls.size(), 1);
    EXPECT_EQ(chooserCalls[0].first, u"Tolvane-AI-1700000000.png"_qs);
    EXPECT_EQ(chooserCalls[0].second,
              u"Choose where to save a new image before generation begins."_qs);
    EXPECT_TRUE(studio->message().isNull()); // a cancelled chooser changes nothing

    studio->generate(accepted + u' ', model(), std::nullopt, false, {});
    EXPECT_EQ(studio->message(), promptRule);
    studio->generate(u" \n\t\u3000 "_qs, model(), std::nullopt, false, {});
    EXPECT_EQ(chooserCalls.size(), 1);
    EXPECT_FALSE(studio->isBusy());
    QTest::qWait(20);
    EXPECT_EQ(server.requestCount(), 0);
}

TEST_F(StudioTest, RefusesOriginalsAndAnythingThatExists)
{
    QDir(folder.path()).mkpath(u"sub/folder"_qs);
    writeBytes(pathIn(u"taken.png"_qs), "x");
    const QString original = pathIn(u"queued.png"_qs);
    auto studio = makeStudio();
    for (const QString& chosen :
         {folder.path() + u"/./queued.png"_qs, folder.path() + u"/sub/../queued.png"_qs,
          pathIn(u"taken.png"_qs), pathIn(u"sub/folder"_qs)}) {
        choice = chosen;
        studio->generate(u"a fox"_qs, model(), std::nullopt, false, {original});
        EXPECT_EQ(studio->message(), newName) << chosen.toStdString();
        EXPECT_FALSE(studio->isBusy());
    }
    QTest::qWait(20);
    EXPECT_EQ(server.requestCount(), 0);
    EXPECT_EQ(readBytes(pathIn(u"taken.png"_qs)), "x");
    EXPECT_FALSE(settings->contains(u"cloudJob"_qs));
}

TEST_F(StudioTest, OversizedReferenceFailsBeforeAnyRequest)
{
    QImage noise(1024, 1024, QImage::Format_RGB32);
    QRandomGenerator random(7);
    for (int y = 0; y < noise.height(); ++y)
        for (int x = 0; x < noise.width(); ++x)
            noise.setPixel(x, y, random.generate() | 0xFF000000u);
    const QString reference = pathIn(u"noise.png"_qs);
    ASSERT_TRUE(noise.save(reference));
    choice = pathIn(u"new.png"_qs);
    auto studio = makeStudio();
    QSignalSpy messages(studio.get(), &CloudStudio::messageChanged);
    studio->generate(u"a fox"_qs, model(), reference, false, {});
    EXPECT_TRUE(studio->isBusy());
    waitIdle(*studio);
    EXPECT_EQ(messages.value(0).value(0).toString(), u"Preparing your image\u2026"_qs);
    EXPECT_EQ(studio->message(),
              u"This image could not be prepared for upload. Try a smaller image."_qs);
    EXPECT_EQ(server.requestCount(), 0);
    EXPECT_FALSE(settings->contains(u"cloudJob"_qs));
    EXPECT_TRUE(studio->resumeJob().isNull());
}

TEST_F(StudioTest, UncertainJobStaysRecoverableAcrossControllers)
{
    server.reply("POST", "/api/cloud/generate", HttpReply::json(200, R"({"status":"uncertain"})"));
    choice = pathIn(u"new.png"_qs);
    auto studio = makeStudio();
    studio->generate(u"  a fox  "_qs, model(), std::nullopt, false, {});
    waitIdle(*studio);
    EXPECT_EQ(studio->message(), u"The provider could not confirm this request."_qs);
    const QString job = studio->resumeJob();
    EXPECT_EQ(job.size(), 36);
    EXPECT_EQ(job, job.toLower());
    EXPECT_EQ(settings->value(u"cloudJob"_qs).toString(), job);
    EXPECT_EQ(settings->value(u"cloudDestination"_qs).toString(),
              QUrl::fromLocalFile(*choice).toString());

    const QJsonObject sent = QJsonDocument::fromJson(server.requests().value(0).body).object();
    EXPECT_EQ(sent,
              (QJsonObject{{"job_id", job}, {"model", "grok-1k-low"}, {"prompt", "  a fox  "}}));

    auto restored = makeStudio();
    EXPECT_EQ(restored->resumeJob(), job);
    EXPECT_FALSE(restored->isBusy());
    server.reply("POST", "/api/cloud/result",
                 HttpReply::json(200, R"({"status":"failed","error":"Quota"})"));
    restored->resume();
    waitIdle(*restored);
    EXPECT_EQ(restored->message(), u"Quota"_qs);
    EXPECT_EQ(server.requests("POST", "/api/cloud/result").value(0).body,
              QJsonDocument(QJsonObject{{"job_id", job}}).toJson(QJsonDocument::Compact));
    EXPECT_EQ(restored->resumeJob(), job);
}

TEST_F(StudioTest, NeverFinishingJobStopsAfterFortyEightRequests)
{
    server.reply("POST", "/api/cloud/generate", HttpReply::json(200, R"({"status":"queued"})"));
    server.reply("POST", "/api/cloud/result", HttpReply::json(200, R"({"status":"running"})"));
    choice = pathIn(u"new.png"_qs);
    auto studio = makeStudio();
    studio->generate(u"a fox"_qs, model(), std::nullopt, false, {});
    waitIdle(*studio);
    EXPECT_EQ(server.requests("POST", "/api/cloud/result").size(), 48);
    EXPECT_EQ(
        studio->message(),
        u"This request is taking longer than expected. Use Check Result; it will not submit or charge another generation."_qs);
    EXPECT_TRUE(settings->contains(u"cloudJob"_qs));
    EXPECT_TRUE(settings->contains(u"cloudDestination"_qs));
    EXPECT_FALSE(QFileInfo::exists(*choice));
    EXPECT_EQ(server.requests("GET", "/api/models").size(), 0);
}

TEST_F(StudioTest, CompletedJpegIsSavedAsPngAfterUnfinishedAnswers)
{
    const QImage picture = opaqueFixture(48, 32);
    server.reply("POST", "/api/cloud/generate", HttpReply::json(200, R"({"status":"queued"})"));
    server.reply("POST", "/api/cloud/result", HttpReply::json(200, R"({"status":"completed"})"));
    server.reply("POST", "/api/cloud/result", HttpReply::json(200, R"({"status":"running"})"));
    server.reply("POST", "/api/cloud/result",
                 HttpReply::json(200, "{\"status\":\"completed\"," +
                                          imageJson("image_base64", picture, "jpeg") + "}"));
    server.reply("GET", "/api/models", HttpReply::json(200, R"({"models":[]})"));
    choice = pathIn(u"new.png"_qs);
    auto studio = makeStudio();
    int catalogRequestsWhenIdle = -1;
    QObject::connect(studio.get(), &CloudStudio::isBusyChanged, [&](bool busy) {
        if (!busy)
            catalogRequestsWhenIdle = int(server.requests("GET", "/api/models").size());
    });
    studio->generate(u"a fox"_qs, model(), std::nullopt, false, {});
    waitIdle(*studio);

    EXPECT_EQ(studio->message(), u"Your image is saved."_qs);
    EXPECT_EQ(studio->outputURL(), *choice);
    EXPECT_EQ(catalogRequestsWhenIdle, 1);
    EXPECT_EQ(server.requests("POST", "/api/cloud/result").size(), 3);
    EXPECT_TRUE(studio->resumeJob().isNull());
    EXPECT_FALSE(settings->contains(u"cloudJob"_qs));
    EXPECT_FALSE(settings->contains(u"cloudDestination"_qs));
    EXPECT_TRUE(readBytes(*choice).startsWith("\x89PNG"));
    EXPECT_EQ(QImage(*choice).size(), picture.size());
    EXPECT_EQ(entries(folder.path()), (QStringList{u"new.png"_qs, u"settings.ini"_qs}));
}

TEST_F(StudioTest, DestinationTakenMeanwhileIsLeftAlone)
{
    server.reply("POST", "/api/cloud/generate", HttpReply::json(200, R"({"status":"queued"})"));
    server.handle("POST", "/api/cloud/result", [this](const HttpRequest&) {
        writeBytes(*choice, "someone else's file");
        return HttpReply::json(200, "{\"status\":\"completed\"," +
                                        imageJson("image_base64", alphaFixture(), "png") + "}");
    });
    choice = pathIn(u"new.png"_qs);
    auto studio = makeStudio();
    studio->generate(u"a fox"_qs, model(), std::nullopt, false, {});
    waitIdle(*studio);
    EXPECT_EQ(
        studio->message(),
        u"The result could not be saved. Check whether the destination already exists or is still available."_qs);
    EXPECT_EQ(readBytes(*choice), "someone else's file");
    EXPECT_EQ(entries(folder.path()), (QStringList{u"new.png"_qs, u"settings.ini"_qs}));
    EXPECT_TRUE(settings->contains(u"cloudJob"_qs));
    EXPECT_TRUE(studio->outputURL().isNull());
}

TEST_F(StudioTest, ResumeNeedsAJobAndAnIdleController)
{
    auto studio = makeStudio();
    studio->resume();
    EXPECT_FALSE(studio->isBusy());
    EXPECT_TRUE(studio->message().isNull());

    settings->setValue(u"cloudJob"_qs, u"job-1"_qs);
    settings->setValue(u"cloudDestination"_qs, pathIn(u"later.png"_qs)); // a plain path is read too
    server.reply("POST", "/api/cloud/result", HttpReply::stall());
    auto restored = makeStudio();
    restored->resume();
    ASSERT_TRUE(server.waitForRequests(1));
    restored->resume();
    QTest::qWait(30);
    EXPECT_EQ(server.requestCount(), 1);
}

TEST_F(StudioTest, LoadKeepsModelsWhenTheCatalogIsUnavailable)
{
    auto studio = makeStudio();
    server.reply(
        "GET", "/api/models",
        HttpReply::json(
            200,
            R"({"models":[{"id":"m","name":"M","provider":"p","credits":1,"available":false,"resolution":"1k","quality":"high"}]})"));
    bool done = false;
    studio->load([&] { done = true; });
    ASSERT_TRUE(QTest::qWaitFor([&] { return done; }, 5000));
    ASSERT_EQ(studio->models().size(), 1);
    EXPECT_TRUE(studio->message().isNull());

    const auto reload = [&](const HttpReply& reply) {
        server.reset();
        server.reply("GET", "/api/models", reply);
        done = false;
        studio->load([&] { done = true; });
        EXPECT_TRUE(QTest::qWaitFor([&] { return done; }, 5000));
        EXPECT_EQ(studio->models().size(), 1);
    };
    reload(HttpReply::json(404, R"({"models":[]})"));
    EXPECT_TRUE(studio->message().isNull());
    reload(HttpReply::json(200, R"({"models":[{"id":"m"}]})"));
    EXPECT_EQ(studio->message(), u"The data couldn\u2019t be read because it is missing."_qs);
    EXPECT_EQ(server.requests().value(0).method, "GET");
    EXPECT_TRUE(server.requests().value(0).body.isEmpty());
    EXPECT_FALSE(studio->isBusy());
}

// The catalogue is a plain GET: no account token, so a keyring that never answers cannot hold it.
TEST_F(StudioTest, TheCatalogueNeverWaitsForTheKeyring)
{
    SilentKeyring silent(30000);
    server.reply("GET", "/api/models",
                 HttpReply::json(200, R"({"models":[{"id":"m","name":"M","provider":"p",)"
                                      R"("credits":1,"available":true,"resolution":"1k",)"
                                      R"("quality":"high"}]})"));
    CloudStudio studio(environment());
    ASSERT_TRUE(loaded(studio, 10000));
    EXPECT_EQ(studio.models().size(), 1);
    ASSERT_EQ(server.requests().size(), 1);
    EXPECT_FALSE(server.requests()[0].hasHeader("Authorization"));
    EXPECT_EQ(silent.store->callsOnGuiThread(), 0);
}

TEST_F(StudioTest, ResumeSavesWhereTheJobWasMeantToGo)
{
    storeKey(("xai-" + QByteArray(30, 'k')));
    server.reply("POST", "/api/cloud/generate", HttpReply::json(200, R"({"status":"uncertain"})"));
    choice = pathIn(u"job.png"_qs);
    auto studio = makeStudio();
    studio->generate(u"a fox"_qs, model(), std::nullopt, false, {});
    waitIdle(*studio);
    ASSERT_FALSE(studio->resumeJob().isNull());

    // A later generation with the user's own key goes elsewhere.
    server.reply("POST", "/v1/images/generations",
                 HttpReply::json(200, "{\"data\":[{" +
                                          imageJson("b64_json", alphaFixture(), "png") + "}]}"));
    choice = pathIn(u"other.png"_qs);
    studio->generate(u"a cat"_qs, model(), std::nullopt, true, {});
    waitIdle(*studio);
    ASSERT_TRUE(QFileInfo::exists(pathIn(u"other.png"_qs)));

    server.reply("POST", "/api/cloud/result",
                 HttpReply::json(200, "{\"status\":\"completed\"," +
                                          imageJson("image_base64", opaqueFixture(8, 8), "png") +
                                          "}"));
    studio->resume();
    waitIdle(*studio);
    EXPECT_EQ(studio->message(), u"Your image is saved."_qs);
    EXPECT_EQ(QImage(pathIn(u"job.png"_qs)).size(), QSize(8, 8));
    EXPECT_EQ(QImage(pathIn(u"other.png"_qs)).size(), alphaFixture().size());
}

TEST_F(StudioTest, RememberedDestinationSurvivesARestartWithUnusualNames)
{
    server.reply("POST", "/api/cloud/generate", HttpReply::json(200, R"({"status":"uncertain"})"));
    choice = pathIn(u"a b#1 %41 \u00E9?.png"_qs);
    auto first = makeStudio();
    first->generate(u"a fox"_qs, model(), std::nullopt, false, {});
    waitIdle(*first);
    first.reset();

    server.reply("POST", "/api/cloud/result",
                 HttpReply::json(200, "{\"status\":\"completed\"," +
                                          imageJson("image_base64", alphaFixture(), "png") + "}"));
    auto restored = makeStudio();
    restored->resume();
    waitIdle(*restored);
    EXPECT_EQ(restored->message(), u"Your image is saved."_qs);
    EXPECT_EQ(restored->outputURL(), *choice);
    EXPECT_TRUE(QFileInfo::exists(*choice));
}
