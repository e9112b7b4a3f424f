#include "studio/APIKeysView.h"
#include "cloud/APIKeyConnection.h"
#include "cloud/CloudEndpoints.h"
#include "cloud/InMemorySecretStore.h"
#include "cloud/KeychainStore.h"
#include "kit/AquaButton.h"
#include "kit/Spinner.h"
#include "kit/SymbolLabel.h"
#include "kit/TolvaneTheme.h"
#include "support/LoopbackHttpServer.h"

#include <QComboBox>
#include <QDesktopServices>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QVBoxLayout>
#include <gtest/gtest.h>

namespace {

using TestSupport::HttpReply;

const QString validKey = QStringLiteral("xai-0123456789abcdefghijklmnop");
const QByteArray models = R"({"data":[{"id":"grok-imagine-image-2.0"}]})";

// Catches the links the view opens.
class LinkCatcher : public QObject {
    Q_OBJECT
public:
    QList<QUrl> opened;
public Q_SLOTS:
    void open(const QUrl& url) { opened << url; }
};

class APIKeysViewTest : public ::testing::Test {
protected:
    APIKeysViewTest() : m_store(std::make_shared<InMemorySecretStore>())
    {
        KeychainStore::setStore(m_store);
        CloudEndpoints::setXaiApi(m_server.url(QStringLiteral("/")));
    }
    ~APIKeysViewTest() override { CloudEndpoints::setXaiApi(QUrl()); }

    void storeKey() { KeychainStore::save(validKey.toUtf8(), QStringLiteral("provider.xai")); }

    std::optional<QByteArray> storedKey() const
    {
        return m_store->value(QString::fromUtf16(KeychainStore::service),
                              QStringLiteral("provider.xai"));
    }

    static void type(APIKeysView& view, const QString& text)
    {
        view.keyField()->clear();
        QTest::keyClicks(view.keyField(), text);
    }

    static bool shown(QWidget* widget) { return !widget->isHidden(); }

    // Waits until the keyring has said whether a key is stored.
    static void answered(const APIKeysView& view)
    {
        ASSERT_TRUE(QTest::qWaitFor([&] { return !view.connection().reading(); }, 5000));
    }

    // The open removal question, answered with the button of `role`.
    static void answerRemoval(APIKeysView& view, QMessageBox::ButtonRole role)
    {
        QMessageBox* box = nullptr;
        ASSERT_TRUE(QTest::qWaitFor(
            [&] { return (box = view.findChild<QMessageBox*>()) && box->isVisible(); }, 2000));
        EXPECT_EQ(box->text(), QStringLiteral("Remove your xAI key from this computer?"));
        for (QAbstractButton* button : box->buttons())
            if (box->buttonRole(button) == role) {
                button->click();
                return;
            }
        FAIL() << "no button of that role";
    }

    std::shared_ptr<InMemorySecretStore> m_store;
    TestSupport::LoopbackHttpServer m_server;
};

TEST_F(APIKeysViewTest, AFreshViewShowsWhetherAKeyIsStored)
{
    {
        APIKeysView view;
        answered(view);
        EXPECT_EQ(view.connectionRow()->text(), QStringLiteral("Not connected yet"));
        EXPECT_EQ(view.stepThreeTitle()->text(), QStringLiteral("Connect securely"));
        EXPECT_FALSE(view.verifyButton()->isEnabled());
        EXPECT_FALSE(shown(view.removeButton()));
        EXPECT_FALSE(shown(view.statusLine()));
        EXPECT_FALSE(shown(view.spinner()));
    }
    storeKey();
    APIKeysView view;
    answered(view);
    EXPECT_EQ(view.connectionRow()->text(), QStringLiteral("Key saved in keyring"));
    EXPECT_EQ(view.stepThreeTitle()->text(), QStringLiteral("Replace your key, if needed"));
    EXPECT_TRUE(shown(view.removeButton()));
    EXPECT_TRUE(view.keyField()->text().isEmpty());
    EXPECT_EQ(view.size(), QSize(600, 650));
}

TEST_F(APIKeysViewTest, SpacesEnableVerifyAndAreKeptAfterTheRefusal)
{
    APIKeysView view;
    type(view, QStringLiteral("   "));
    ASSERT_TRUE(view.verifyButton()->isEnabled());
    view.verifyButton()->click();
    EXPECT_EQ(view.keyField()->text(), QStringLiteral("   "));
    EXPECT_TRUE(shown(view.statusLine()));
    EXPECT_EQ(view.statusLine()->symbol(), QStringLiteral("info.circle"));
    EXPECT_TRUE(view.statusLine()->text().startsWith(QStringLiteral("xAI keys start with xai-")));
    EXPECT_EQ(m_server.requestCount(), 0);
}

TEST_F(APIKeysViewTest, ACheckInProgressDisablesTheInputsThenSuccessEmptiesTheField)
{
    storeKey();
    m_server.reply("GET", QStringLiteral("/v1/models"), [] {
        HttpReply reply = HttpReply::json(200, models);
        reply.delayMs = 400;
        return reply;
    }());
    APIKeysView view;
    type(view, validKey);
    view.verifyButton()->click();
    ASSERT_TRUE(view.connection().busy());
    EXPECT_FALSE(view.keyField()->isEnabled());
    EXPECT_FALSE(view.verifyButton()->isEnabled());
    EXPECT_EQ(view.verifyButton()->text(), QStringLiteral("Verifying…"));
    EXPECT_TRUE(shown(view.spinner()));
    EXPECT_FALSE(view.removeButton()->isEnabled());

    ASSERT_TRUE(QTest::qWaitFor([&] { return !view.connection().busy(); }, 5000));
    EXPECT_TRUE(view.keyField()->text().isEmpty());
    EXPECT_EQ(view.verifyButton()->text(), QStringLiteral("Verify && Save Key"));
    EXPECT_EQ(view.statusLine()->symbol(), QStringLiteral("checkmark.circle"));
    EXPECT_EQ(view.statusLine()->accessibleName(), view.connection().message());
    EXPECT_FALSE(shown(view.spinner()));
}

TEST_F(APIKeysViewTest, ARejectedKeyStaysInTheField)
{
    m_server.reply("GET", QStringLiteral("/v1/models"), HttpReply::json(401, "{}"));
    APIKeysView view;
    type(view, validKey);
    view.verifyButton()->click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !view.connection().busy(); }, 5000));
    EXPECT_EQ(view.keyField()->text(), validKey);
    EXPECT_EQ(view.statusLine()->colour(), TolvaneTheme::ink());
    EXPECT_FALSE(storedKey());
}

TEST_F(APIKeysViewTest, RemovalAsksFirst)
{
    storeKey();
    APIKeysView view;
    view.show();
    answered(view);
    type(view, QStringLiteral("typed"));
    view.removeButton()->click();
    answerRemoval(view, QMessageBox::RejectRole);
    EXPECT_TRUE(storedKey());
    EXPECT_EQ(view.keyField()->text(), QStringLiteral("typed"));

    m_store->failRemove = QStringLiteral("locked");
    view.removeButton()->click();
    answerRemoval(view, QMessageBox::DestructiveRole);
    ASSERT_TRUE(QTest::qWaitFor([&] { return shown(view.statusLine()); }, 5000));
    EXPECT_TRUE(view.keyField()->text().isEmpty());
    EXPECT_TRUE(shown(view.removeButton()));
    EXPECT_EQ(view.statusLine()->symbol(), QStringLiteral("info.circle"));

    m_store->failRemove.reset();
    view.removeButton()->click();
    answerRemoval(view, QMessageBox::DestructiveRole);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !shown(view.removeButton()); }, 5000));
    EXPECT_FALSE(storedKey());
    EXPECT_EQ(view.connectionRow()->text(), QStringLiteral("Not connected yet"));
    EXPECT_EQ(view.statusLine()->symbol(), QStringLiteral("checkmark.circle"));
}

TEST_F(APIKeysViewTest, ProvidersKeepTheTypedKeyAndOpenTheirPages)
{
    LinkCatcher links;
    QDesktopServices::setUrlHandler(QStringLiteral("https"), &links, "open");
    APIKeysView view;
    type(view, QStringLiteral("xai-draft"));
    view.providerPicker()->setCurrentIndex(1);
    EXPECT_TRUE(shown(view.comingSoonCard()));
    auto* openAi = view.comingSoonCard()->findChild<AquaButton*>();
    ASSERT_TRUE(openAi);
    EXPECT_EQ(openAi->text(), QStringLiteral("Open OpenAI API keys"));
    openAi->click();
    view.providerPicker()->setCurrentIndex(2);
    EXPECT_EQ(openAi->text(), QStringLiteral("Open Google AI Studio"));
    openAi->click();
    view.providerPicker()->setCurrentIndex(0);
    EXPECT_EQ(view.keyField()->text(), QStringLiteral("xai-draft"));
    for (AquaButton* button : view.findChildren<AquaButton*>())
        if (button->text() == QStringLiteral("Get an xAI API key"))
            button->click();
    QDesktopServices::unsetUrlHandler(QStringLiteral("https"));
    ASSERT_EQ(links.opened.size(), 3);
    EXPECT_EQ(links.opened[0].path(), QStringLiteral("/api-keys"));
    EXPECT_EQ(links.opened[1].host(), QStringLiteral("aistudio.google.com"));
    EXPECT_EQ(links.opened[2].path(), QStringLiteral("/team/default/api-keys"));
}

TEST_F(APIKeysViewTest, ReturnInTheFieldNeitherVerifiesNorClosesItsWindow)
{
    QDialog sheet;
    auto* view = new APIKeysView;
    auto* layout = new QVBoxLayout(&sheet);
    layout->addWidget(view);
    sheet.show();
    type(*view, validKey);
    QTest::keyClick(view->keyField(), Qt::Key_Return);
    QTest::qWait(50);
    EXPECT_TRUE(sheet.isVisible());
    EXPECT_FALSE(view->connection().busy());
    EXPECT_EQ(m_server.requestCount(), 0);
}

TEST_F(APIKeysViewTest, AViewClosedDuringTheCheckStillStoresTheKey)
{
    HttpReply slow = HttpReply::json(200, models);
    slow.delayMs = 200;
    m_server.reply("GET", QStringLiteral("/v1/models"), slow);
    auto view = std::make_unique<APIKeysView>();
    type(*view, validKey);
    view->verifyButton()->click();
    view.reset();
    ASSERT_TRUE(QTest::qWaitFor([&] { return storedKey().has_value(); }, 5000));
    EXPECT_EQ(*storedKey(), validKey.toUtf8());
}

} // namespace

#include "APIKeysViewTest.moc"

#include "cloud/LibsecretStore.h"

namespace {

// The same view over the desktop keyring of a private session (tools/with-keyring).
TEST(APIKeysViewKeyring, VerifiesStoresAndRemovesInTheRealKeyring)
{
    if (qgetenv("TOLVANE_TEST_KEYRING") != "1")
        GTEST_SKIP() << "runs only under tools/with-keyring";
    KeychainStore::setStore(std::make_shared<LibsecretStore>());
    TestSupport::LoopbackHttpServer server;
    server.reply("GET", QStringLiteral("/v1/models"), HttpReply::json(200, models));
    CloudEndpoints::setXaiApi(server.url(QStringLiteral("/")));
    {
        APIKeysView view;
        view.show();
        view.keyField()->setText(validKey);
        view.verifyButton()->click();
        ASSERT_TRUE(QTest::qWaitFor([&] { return !view.connection().busy(); }, 5000));
        EXPECT_TRUE(view.connection().succeeded()) << view.connection().message().toStdString();
    }
    EXPECT_EQ(KeychainStore::read(QStringLiteral("provider.xai")), validKey.toUtf8());
    APIKeysView reopened;
    ASSERT_TRUE(QTest::qWaitFor([&] { return !reopened.connection().reading(); }, 5000));
    EXPECT_EQ(reopened.connectionRow()->text(), QStringLiteral("Key saved in keyring"));
    bool removed = false;
    reopened.connection().remove([&] { removed = true; });
    ASSERT_TRUE(QTest::qWaitFor([&] { return removed; }, 5000));
    EXPECT_FALSE(KeychainStore::read(QStringLiteral("provider.xai")));
    CloudEndpoints::setXaiApi(QUrl());
    KeychainStore::setStore(std::make_shared<InMemorySecretStore>());
}

} // namespace

namespace {

TEST_F(APIKeysViewTest, AKeyTheStudioRefusesIsNeverShownAsConnected)
{
    m_server.reply("GET", QStringLiteral("/v1/models"), HttpReply::json(200, models));
    APIKeysView view;
    view.keyField()->setText(validKey + QChar(0x01)); // pasted with a control character
    view.verifyButton()->click();
    QTest::qWait(50);
    EXPECT_EQ(m_server.requestCount(), 0);
    EXPECT_FALSE(storedKey().has_value());
    EXPECT_EQ(view.connectionRow()->text(), QStringLiteral("Not connected yet"));
    EXPECT_EQ(view.statusLine()->symbol(), QStringLiteral("info.circle"));

    KeychainStore::save((validKey + QChar(0x1B)).toUtf8(), QStringLiteral("provider.xai"));
    APIKeysView reopened;
    answered(reopened);
    EXPECT_EQ(reopened.connectionRow()->text(), QStringLiteral("Not connected yet"));
    EXPECT_FALSE(shown(reopened.removeButton()));
}

} // namespace

#include "cloud/CloudTestSupport.h"

namespace {

// A keyring that does not answer is never shown as "no key": the row says the keyring could not
// be read and the status line gives the keyring's sentence.
TEST_F(APIKeysViewTest, ASilentKeyringIsNotShownAsNoKey)
{
    SilentKeyring silent(300);
    APIKeysView view;
    ASSERT_TRUE(QTest::qWaitFor([&] { return !view.connection().reading(); }, 5000));
    EXPECT_EQ(view.connectionRow()->text(), QStringLiteral("Couldn’t read the keyring"));
    EXPECT_TRUE(shown(view.statusLine()));
    EXPECT_EQ(view.statusLine()->text(),
              QStringLiteral("Reading from the keyring failed: the keyring did not answer."));
    EXPECT_FALSE(shown(view.removeButton()));
}

} // namespace
