#include "cloud/CloudRecords.h"
#include "cloud/JsonReader.h"

#include <gtest/gtest.h>

namespace {

const QByteArray model = R"({"id":"grok-1k-low","name":"Grok 1K","provider":"xAI","credits":4,
    "available":true,"resolution":"1k","quality":"low","extra":[1,2]})";

QByteArray modelWith(const QString& member, const QByteArray& json)
{
    QByteArray copy = model;
    const QByteArray key = '"' + member.toUtf8() + "\":";
    const qsizetype start = copy.indexOf(key) + key.size();
    qsizetype end = start;
    while (copy[end] != ',' && copy[end] != '}')
        ++end;
    return copy.replace(start, end - start, json);
}

QByteArray catalogOf(const QByteArray& first, const QByteArray& second = model)
{
    return R"({"models":[)" + first + "," + second + "]}";
}

DecodeError::Kind failureOf(const std::function<void()>& decode)
{
    try {
        decode();
    } catch (const DecodeError& error) {
        return error.kind();
    }
    ADD_FAILURE() << "decoded";
    return DecodeError::Kind::missing;
}

} // namespace

TEST(CloudRecords, DecodesACatalogInOrder)
{
    const Catalog catalog = Catalog::decode(catalogOf(model, modelWith("id", R"("second")")));
    ASSERT_EQ(catalog.models.size(), 2);
    const CloudModel& first = catalog.models[0];
    EXPECT_EQ(first.id, u"grok-1k-low"_qs);
    EXPECT_EQ(first.name, u"Grok 1K"_qs);
    EXPECT_EQ(first.provider, u"xAI"_qs);
    EXPECT_EQ(first.credits, 4);
    EXPECT_TRUE(first.available);
    EXPECT_EQ(first.resolution, u"1k"_qs);
    EXPECT_EQ(first.quality, u"low"_qs);
    EXPECT_EQ(catalog.models[1].id, u"second"_qs);
    EXPECT_TRUE(Catalog::decode(R"({"models":[]})").models.isEmpty());
    EXPECT_EQ(CloudModel::fromJson(first.toJson()), first);
    EXPECT_EQ(
        Catalog::decode(catalogOf(modelWith("credits", "9007199254740993"))).models[0].credits,
        9007199254740993LL);
}

TEST(CloudRecords, OneBadModelFailsTheWholeCatalog)
{
    QByteArray noQuality = model;
    noQuality.replace(R"(,"quality":"low")", "");
    EXPECT_EQ(failureOf([&] { Catalog::decode(catalogOf(noQuality)); }),
              DecodeError::Kind::missing);
    EXPECT_EQ(failureOf([&] { Catalog::decode(catalogOf(model, modelWith("name", "null"))); }),
              DecodeError::Kind::missing);
    for (const QByteArray bad : {"2.5", R"("4")", "1e40", "true"})
        EXPECT_EQ(failureOf([&] { Catalog::decode(catalogOf(modelWith("credits", bad))); }),
                  DecodeError::Kind::wrongFormat)
            << bad.constData();
    for (const QByteArray bad : {"1", "0", R"("true")"})
        EXPECT_EQ(failureOf([&] { Catalog::decode(catalogOf(modelWith("available", bad))); }),
                  DecodeError::Kind::wrongFormat)
            << bad.constData();
    EXPECT_EQ(failureOf([] { Catalog::decode(R"({"models":[3]})"); }),
              DecodeError::Kind::wrongFormat);
    EXPECT_EQ(failureOf([] { Catalog::decode(R"({"models":null})"); }), DecodeError::Kind::missing);
    EXPECT_EQ(failureOf([] { Catalog::decode(R"([])"); }), DecodeError::Kind::wrongFormat);
    EXPECT_EQ(failureOf([] { Catalog::decode("<html>"); }), DecodeError::Kind::wrongFormat);
}

TEST(CloudRecords, DecodesResultsWithOptionalMembers)
{
    const CloudResult running = CloudResult::decode(R"({"status":"queued"})");
    EXPECT_EQ(running.status, u"queued"_qs);
    EXPECT_FALSE(running.jobId || running.imageBase64 || running.mimeType || running.error);

    const CloudResult done = CloudResult::decode(
        R"({"status":"completed","job_id":"j1","image_base64":null,"mime_type":"image/png",
            "error":"none","other":{}})");
    EXPECT_EQ(done.jobId, u"j1"_qs);
    EXPECT_FALSE(done.imageBase64.has_value());
    EXPECT_EQ(done.mimeType, u"image/png"_qs);
    EXPECT_EQ(done.error, u"none"_qs);

    EXPECT_EQ(failureOf([] { CloudResult::decode(R"({"status":null})"); }),
              DecodeError::Kind::missing);
    EXPECT_EQ(failureOf([] { CloudResult::decode(R"({"job_id":"j"})"); }),
              DecodeError::Kind::missing);
    EXPECT_EQ(failureOf([] { CloudResult::decode(R"({"status":"failed","error":7})"); }),
              DecodeError::Kind::wrongFormat);
}

TEST(CloudRecords, DecodeErrorsReadAsSentences)
{
    EXPECT_EQ(DecodeError::missing().message(),
              u"The data couldn\u2019t be read because it is missing."_qs);
    EXPECT_EQ(DecodeError::wrongFormat().message(),
              u"The data couldn\u2019t be read because it isn\u2019t in the correct format."_qs);
}
