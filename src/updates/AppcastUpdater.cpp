#include "AppcastUpdater.h"

#include "UpdateSignature.h"
#include "UpdateVersion.h"
#include "core/Async.h"
#include "core/EngineError.h"
#include "core/WorkPools.h"

#include <QFile>
#include <QProcess>
#include <QSettings>
#include <QtConcurrent>

namespace {

const QString automaticChecksKey = QStringLiteral("Updates/automaticChecks");
const QString automaticDownloadsKey = QStringLiteral("Updates/automaticDownloads");
const QString skippedVersionKey = QStringLiteral("Updates/skippedVersion");
const QString lastCheckKey = QStringLiteral("Updates/lastCheckTime");
const QString installFailureKey = QStringLiteral("Updates/installFailure");

QString installFolderOf(const AppcastUpdater::Options& options)
{
    return options.installFolder.isEmpty() ? UpdateInstaller::runningInstallFolder()
                                           : options.installFolder;
}

enum class Step { check, install };

// Any thread. The signature first, then everything the installer checks, then the swap when
// asked. An empty result means success.
QString checkRelease(const UpdateInstaller& installer, const HeldEntry& archive,
                     const AppcastItem& item, const QString& key, const QString& runningVersion,
                     Step step)
{
    try {
        UpdateSignature::verify(archive.descriptor(), item.signature, key);
        if (step == Step::install)
            installer.install(archive, item.version, runningVersion);
        else
            installer.checkArchive(archive, item.version, runningVersion);
        return {};
    } catch (const EngineError& error) {
        return error.message();
    } catch (const std::exception&) {
        return QStringLiteral("The downloaded update could not be verified.");
    }
}

// A downloaded archive, removed when its last owner lets go.
std::shared_ptr<HeldEntry> sharedDownload(HeldEntry download)
{
    return std::shared_ptr<HeldEntry>(new HeldEntry(std::move(download)), [](HeldEntry* entry) {
        entry->discard();
        delete entry;
    });
}

} // namespace

AppcastUpdater::AppcastUpdater(Options options, UpdateUserDriver& driver, QObject* parent)
    : Updater(parent), m_options(std::move(options)), m_driver(driver),
      m_installer(installFolderOf(m_options), m_options.installer), m_fetcher(m_options.network)
{
    if (!m_options.settings)
        m_options.settings = std::make_shared<QSettings>();
    if (!m_options.launch)
        m_options.launch = [](const QString& program) {
            return QProcess::startDetached(program, {});
        };
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, [this] {
        if (canCheckForUpdates())
            beginSession(false);
    });
    connect(&m_fetcher, &UpdateFetcher::feedFetched, this, &AppcastUpdater::onFeed);
    connect(&m_fetcher, &UpdateFetcher::downloadFinished, this, &AppcastUpdater::onDownloaded);
    connect(&m_fetcher, &UpdateFetcher::failed, this, &AppcastUpdater::fail);
    connect(&m_fetcher, &UpdateFetcher::downloadProgressed, this,
            [this](qint64 received, qint64 total) {
                if (m_byUser)
                    m_driver.showDownloadProgress(m_item, received, total, reply<>([](auto* self) {
                                                      self->cancelSession();
                                                  }));
            });
}

AppcastUpdater::~AppcastUpdater()
{
    m_checking.waitForFinished();
    m_recovering.waitForFinished();
    discardDownload();
    dropPending();
}

template <typename... Args>
std::function<void(Args...)>
AppcastUpdater::reply(std::type_identity_t<std::function<void(AppcastUpdater*, Args...)>> act)
{
    QPointer<AppcastUpdater> self(this);
    const quint64 session = m_session;
    return [self, session, act = std::move(act)](Args... args) {
        if (self && self->m_session == session)
            act(self, args...);
    };
}

bool AppcastUpdater::automaticallyChecksForUpdates() const
{
    return m_options.settings->value(automaticChecksKey, false).toBool();
}

void AppcastUpdater::setAutomaticallyChecksForUpdates(bool on)
{
    const bool before = automaticallyChecksForUpdates();
    m_options.settings->setValue(automaticChecksKey, on);
    if (before != on)
        Q_EMIT automaticallyChecksForUpdatesChanged(on);
    scheduleNextCheck();
}

bool AppcastUpdater::automaticallyDownloadsUpdates() const
{
    return m_options.settings->value(automaticDownloadsKey, false).toBool();
}

void AppcastUpdater::setAutomaticallyDownloadsUpdates(bool on)
{
    const bool before = automaticallyDownloadsUpdates();
    m_options.settings->setValue(automaticDownloadsKey, on);
    if (before != on)
        Q_EMIT automaticallyDownloadsUpdatesChanged(on);
}

QString AppcastUpdater::currentVersion() const
{
    const QJsonValue version = m_options.info.value(QStringLiteral("CFBundleShortVersionString"));
    return version.isString() ? version.toString() : QStringLiteral("0");
}

QString AppcastUpdater::skippedVersion() const
{
    return m_options.settings->value(skippedVersionKey).toString();
}

QDateTime AppcastUpdater::lastCheckTime() const
{
    return QDateTime::fromString(m_options.settings->value(lastCheckKey).toString(), Qt::ISODate);
}

void AppcastUpdater::start()
{
    if (m_started)
        return;
    m_started = true;
    const UpdateInstaller installer = m_installer;
    m_recovering = QtConcurrent::run(&WorkPools::views(), [installer] { installer.recover(); });
    Q_EMIT canCheckForUpdatesChanged(true);
    scheduleNextCheck();
    // Once the event loop runs, the window it belongs over is up.
    QTimer::singleShot(0, this, &AppcastUpdater::showInstallFailure);
}

void AppcastUpdater::showInstallFailure()
{
    const QString failure = m_options.settings->value(installFailureKey).toString();
    if (failure.isEmpty() || !canCheckForUpdates())
        return;
    ++m_session;
    setPhase(Phase::answering);
    // Forgotten once seen; a quit before that shows it again next time.
    m_driver.showError(failure, reply<>([](auto* self) {
                           self->m_options.settings->remove(installFailureKey);
                           self->endSession();
                       }));
}

void AppcastUpdater::setPhase(Phase phase)
{
    const bool before = canCheckForUpdates();
    m_phase = phase;
    if (canCheckForUpdates() != before)
        Q_EMIT canCheckForUpdatesChanged(!before);
}

void AppcastUpdater::scheduleNextCheck()
{
    m_timer.stop();
    if (!m_started || !automaticallyChecksForUpdates())
        return;
    // At least the start-up delay from now, and no sooner than a day after the last check.
    qint64 wait = m_options.firstCheckDelayMs;
    if (const QDateTime last = lastCheckTime(); last.isValid()) {
        const qint64 due =
            QDateTime::currentDateTimeUtc().msecsTo(last.addMSecs(m_options.checkIntervalMs));
        wait = std::clamp<qint64>(due, wait, m_options.checkIntervalMs);
    }
    m_timer.start(int(wait));
}

void AppcastUpdater::beginSession(bool byUser)
{
    if (!canCheckForUpdates())
        return;
    ++m_session;
    m_byUser = byUser;
    setPhase(Phase::checking);
    m_options.settings->setValue(lastCheckKey,
                                 QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs));

    const QJsonValue feed = m_options.info.value(QStringLiteral("SUFeedURL"));
    const QUrl url(feed.toString().trimmed(), QUrl::StrictMode);
    if (!feed.isString() || url.isEmpty() || !url.isValid())
        return fail(QStringLiteral("This build has no valid update feed address."));
    if (!UpdateSignature::isValidPublicKey(publicKey()))
        return fail(QStringLiteral("This build’s update key is not valid."));
    if (byUser)
        m_driver.showChecking(reply<>([](auto* self) { self->cancelSession(); }));
    m_fetcher.fetchFeed(url);
}

void AppcastUpdater::endSession()
{
    ++m_session;
    setPhase(Phase::idle);
    scheduleNextCheck();
}

void AppcastUpdater::discardDownload()
{
    m_fetcher.cancel();
    m_download.reset();
}

void AppcastUpdater::cancelSession()
{
    discardDownload();
    m_driver.dismissProgress();
    endSession();
}

void AppcastUpdater::fail(const QString& message)
{
    discardDownload();
    if (!m_byUser)
        return endSession();
    m_driver.dismissProgress();
    setPhase(Phase::answering);
    m_driver.showError(message, reply<>([](auto* self) { self->endSession(); }));
}

void AppcastUpdater::onFeed(const QByteArray& xml)
{
    std::optional<AppcastItem> newest;
    try {
        newest = AppcastFeed::newest(AppcastFeed::parse(xml));
    } catch (const EngineError& error) {
        return fail(error.message());
    }
    if (!newest || UpdateVersion::compare(newest->version, currentVersion()) <= 0) {
        if (!m_byUser)
            return endSession();
        m_driver.dismissProgress();
        setPhase(Phase::answering);
        m_driver.showUpToDate(currentVersion(), reply<>([](auto* self) { self->endSession(); }));
        return;
    }
    if (!m_byUser && newest->version == skippedVersion())
        return endSession();
    offer(*newest);
}

void AppcastUpdater::offer(const AppcastItem& item)
{
    m_item = item;
    const bool alreadyHere = m_pending && m_pendingItem.version == item.version;
    if (!m_byUser && (alreadyHere || automaticallyDownloadsUpdates()))
        return alreadyHere ? endSession() : startDownload();
    m_driver.dismissProgress();
    if (alreadyHere)
        return askToInstall();
    setPhase(Phase::offering);
    m_driver.showUpdateFound(
        item, currentVersion(),
        reply<UpdateUserDriver::Choice>(
            [](auto* self, UpdateUserDriver::Choice choice) { self->onChoice(choice); }));
}

void AppcastUpdater::onChoice(UpdateUserDriver::Choice choice)
{
    switch (choice) {
    case UpdateUserDriver::Choice::install:
        return startDownload();
    case UpdateUserDriver::Choice::skip:
        m_options.settings->setValue(skippedVersionKey, m_item.version);
        return endSession();
    case UpdateUserDriver::Choice::remindLater:
        return endSession();
    }
}

void AppcastUpdater::startDownload()
{
    // Before a byte is fetched: an installation that cannot be replaced gets nothing.
    try {
        m_installer.checkCanInstall();
    } catch (const EngineError& error) {
        return fail(error.message());
    }
    dropPending();
    HeldEntry target = m_installer.newDownload();
    if (!target.isValid())
        return fail(QStringLiteral("The update could not be saved beside the installation."));
    setPhase(Phase::downloading);
    if (m_byUser)
        m_driver.showDownloadProgress(m_item, 0, m_item.length,
                                      reply<>([](auto* self) { self->cancelSession(); }));
    m_fetcher.download(m_item, std::move(target));
}

void AppcastUpdater::onDownloaded()
{
    // Hashing and unpacking an archive of many megabytes takes a moment: off the GUI thread.
    // The swap itself waits for the quit, when nothing runs from the old tree any more.
    const UpdateInstaller installer = m_installer;
    m_download = sharedDownload(m_fetcher.takeDownload());
    const std::shared_ptr<HeldEntry> download = m_download;
    const AppcastItem item = m_item;
    const QString key = publicKey();
    const QString running = currentVersion();
    m_checking = QtConcurrent::run(&WorkPools::views(), [installer, download, item, key, running] {
        return checkRelease(installer, *download, item, key, running, Step::check);
    });
    whenFinished(m_checking, this,
                 reply<QString>([](auto* self, QString error) { self->onVerified(error); }));
}

QString AppcastUpdater::publicKey() const
{
    return m_options.info.value(QStringLiteral("SUPublicEDKey")).toString();
}

void AppcastUpdater::onVerified(const QString& error)
{
    if (!error.isEmpty())
        return fail(error);
    m_pending = std::exchange(m_download, nullptr);
    m_pendingItem = m_item;
    if (!m_byUser)
        return endSession();
    m_driver.dismissProgress();
    askToInstall();
}

void AppcastUpdater::askToInstall()
{
    setPhase(Phase::answering);
    m_driver.showReadyToInstall(m_pendingItem, reply<bool>([](auto* self, bool now) {
                                    now ? self->installNow() : self->endSession();
                                }));
}

void AppcastUpdater::installNow()
{
    // Never under a running program's feet: the swap happens once the application has
    // quit. A refused quit ("Keep Processing") leaves the update waiting for the next one.
    if (!m_options.requestQuit || !m_options.requestQuit())
        return endSession();
    m_relaunch = true;
    m_driver.showInstalling(m_pendingItem);
    endSession();
}

void AppcastUpdater::dropPending()
{
    m_pending.reset();
}

void AppcastUpdater::finishAtQuit()
{
    m_checking.waitForFinished();
    m_recovering.waitForFinished();
    discardDownload();
    if (m_pending) {
        // The archive waited beside the installation: it is verified again before it counts.
        // A failure is told by the next start: the relaunched copy or the next launch.
        const QString failure = checkRelease(m_installer, *m_pending, m_pendingItem, publicKey(),
                                             currentVersion(), Step::install);
        dropPending();
        if (!failure.isEmpty()) {
            m_options.settings->setValue(installFailureKey, failure);
            m_options.settings->sync();
        }
    }
    if (std::exchange(m_relaunch, false) && m_options.launch)
        m_options.launch(m_installer.executable());
}
