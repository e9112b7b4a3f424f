#pragma once

#include "CloudTestSupport.h"
#include "cloud/CloudStudio.h"
#include "cloud/ServiceClient.h"
#include "support/LoopbackHttpServer.h"

#include <QBuffer>
#include <QDir>
#include <QImageWriter>
#include <QNetworkAccessManager>
#include <QNetworkRequest>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

// Remembers every request it is asked to make, as built by the caller.
class RecordingNetwork : public QNetworkAccessManager {
public:
    QList<QNetworkRequest> made;

protected:
    QNetworkReply* createRequest(Operation op, const QNetworkRequest& request,
                                 QIODevice* data) override
    {
        made.append(request);
        return QNetworkAccessManager::createRequest(op, request, data);
    }
};

// A studio whose service and xAI are one loopback server, with a scripted save chooser, a
// temporary settings file and 1 ms between polls.
class StudioTest : public MemoryKeyringTest {
protected:
    void SetUp() override
    {
        MemoryKeyringTest::SetUp();
        settings =
            std::make_unique<QSettings>(folder.filePath("settings.ini"), QSettings::IniFormat);
    }

    CloudStudio::Environment environment()
    {
        CloudStudio::Environment env;
        env.network = &network;
        env.service = &service;
        env.xaiBase = QUrl(server.base());
        env.settings = settings.get();
        env.chooseNewPngFile = [this](const QString& name, const QString& message) {
            chooserCalls.append({name, message});
            return choice;
        };
        env.nowSecs = [] { return qint64(1700000000); };
        env.pollIntervalMs = 1;
        return env;
    }

    // A studio that has heard from the keyring whether an own key is stored.
    std::unique_ptr<CloudStudio> makeStudio()
    {
        auto studio = std::make_unique<CloudStudio>(environment());
        EXPECT_TRUE(QTest::qWaitFor([&] { return !studio->isReadingKey(); }, 5000));
        return studio;
    }

    void waitIdle(const CloudStudio& studio)
    {
        ASSERT_TRUE(QTest::qWaitFor([&] { return !studio.isBusy(); }, 15000));
    }

    // Loads the catalogue and waits until the load has ended.
    static bool loaded(CloudStudio& studio, int timeoutMs = 5000)
    {
        bool done = false;
        studio.load([&] { done = true; });
        return QTest::qWaitFor([&] { return done; }, timeoutMs);
    }

    void storeKey(const QByteArray& key)
    {
        keyring->store(u"com.vandelorn.tolvane.pro"_qs, u"provider.xai"_qs, key);
    }

    QString pathIn(const QString& name) const { return QDir::cleanPath(folder.filePath(name)); }

    static CloudModel model()
    {
        return {u"grok-1k-low"_qs, u"Grok 1K"_qs, u"xAI"_qs, 4, true, u"1k"_qs, u"low"_qs};
    }

    static QByteArray encoded(const QImage& image, const char* format)
    {
        QByteArray bytes;
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        QImageWriter(&buffer, format).write(image);
        return bytes;
    }

    static QByteArray imageJson(const QByteArray& member, const QImage& image, const char* format)
    {
        return "\"" + member + "\":\"" + encoded(image, format).toBase64() + "\"";
    }

    QTemporaryDir folder;
    TestSupport::LoopbackHttpServer server;
    RecordingNetwork network;
    ServiceClient service{QUrl(server.base()), &network};
    std::unique_ptr<QSettings> settings;
    std::optional<QString> choice;
    QList<std::pair<QString, QString>> chooserCalls;
};
