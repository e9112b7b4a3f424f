#pragma once

#include "CloudRecords.h"
#include "Result.h"
#include "SecretStore.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <functional>
#include <optional>

class QNetworkAccessManager;
class QSettings;
class ServiceClient;

// The studio's controller: the service's model catalogue, and one new PNG image per prompt,
// made with the user's own xAI key or by the product's service (a job, then polling). Every
// outcome is a sentence in message() (a null text when there is none); nothing is thrown.
// Each result is saved under a name chosen before anything is sent and never over a file.
// GUI thread only; network waits never block it.
class CloudStudio : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool isBusy READ isBusy NOTIFY isBusyChanged)
    Q_PROPERTY(QString message READ message NOTIFY messageChanged)
    Q_PROPERTY(QString outputURL READ outputURL NOTIFY outputURLChanged)
    Q_PROPERTY(bool hasOwnKey READ hasOwnKey WRITE setHasOwnKey NOTIFY hasOwnKeyChanged)
    Q_PROPERTY(QString resumeJob READ resumeJob NOTIFY resumeJobChanged)
    Q_PROPERTY(bool isReadingKey READ isReadingKey NOTIFY isReadingKeyChanged)
    Q_PROPERTY(bool isKeyUnread READ isKeyUnread NOTIFY isKeyUnreadChanged)

public:
    // Everything the controller reaches outside itself; production() gives the real ones.
    struct Environment {
        QNetworkAccessManager* network = nullptr;
        ServiceClient* service = nullptr;
        QUrl xaiBase;
        // Null: the application's own settings.
        QSettings* settings = nullptr;
        // Asks for a new PNG file; nothing when the user cancels.
        std::function<std::optional<QString>(const QString& suggestedName, const QString& message)>
            chooseNewPngFile;
        std::function<qint64()> nowSecs;
        int pollIntervalMs = 5000;
        int maxPolls = 48;

        // The shared network and service client and xAI; no chooser (the sheet supplies it).
        static Environment production();
    };

    explicit CloudStudio(Environment environment, QObject* parent = nullptr);

    QList<CloudModel> models() const { return m_models; }
    bool isBusy() const { return m_busy; }
    QString message() const { return m_message; }
    // The path of the last saved image; null before any.
    QString outputURL() const { return m_outputURL; }
    bool hasOwnKey() const { return m_hasOwnKey; }
    // Settles hasOwnKey: an answer of the keyring still awaited is ignored from now on.
    void setHasOwnKey(bool hasOwnKey);
    // Whether the keyring is being asked for the user's own key (see readOwnKey()).
    bool isReadingKey() const { return m_readingKey; }
    // Whether the keyring's last answer left it unknown if an own key is stored (its sentence is
    // the message); hasOwnKey is then false without meaning that there is no key.
    bool isKeyUnread() const { return m_keyUnread; }
    // Asks the keyring, off the GUI thread, whether a usable own key is stored, and sets
    // hasOwnKey from its answer; a keyring that does not answer in time leaves the key unread and
    // is asked again once that call has ended. The controller does this once when it is made.
    void readOwnKey();
    // The service job not yet saved; null when there is none.
    QString resumeJob() const { return m_resumeJob; }

    // Refreshes the catalogue; `done` follows in every case. Never touches isBusy.
    void load(std::function<void()> done = {});
    // Checks the prompt, asks for the new file, then makes the image (own key or service) and
    // saves it there. Does nothing while busy.
    void generate(const QString& prompt, const CloudModel& model,
                  const std::optional<QString>& reference, bool ownKey,
                  const QStringList& originals);
    // Polls the remembered service job again and saves its image where that job was meant to
    // go. Does nothing while busy or without a job.
    void resume();

Q_SIGNALS:
    void modelsChanged();
    void isBusyChanged(bool isBusy);
    void messageChanged(const QString& message);
    void outputURLChanged(const QString& outputURL);
    void hasOwnKeyChanged(bool hasOwnKey);
    void resumeJobChanged(const QString& resumeJob);
    void isReadingKeyChanged(bool isReadingKey);
    void isKeyUnreadChanged(bool isKeyUnread);

private:
    void prepareReference(const QString& path, std::function<void(const QString&)> next);
    void generateWithOwnKey(const CloudModel& model, const QString& prompt,
                            const std::optional<QString>& image, const QString& path);
    void sendWithOwnKey(const SecretReply& stored, const CloudModel& model, const QString& prompt,
                        const std::optional<QString>& image, const QString& path);
    void ownKeyImageSaved();
    void submitJob(const CloudModel& model, const QString& prompt,
                   const std::optional<QString>& image, const QString& path);
    void poll(const QString& job, const QString& path, std::function<void()> done);
    void pollOnce(const QString& job, const QString& path, int attempt, std::function<void()> done);
    // Writes the PNG as a new file at `path` off the GUI thread, then sets outputURL and calls
    // `saved`; a failure (or no PNG) ends the operation with its sentence instead.
    void saveImage(const Result<QByteArray>& png, const QString& path, std::function<void()> saved);
    void rememberJob(const QString& job, const QString& path);
    void forgetJob();
    // Reloads the catalogue, then leaves the busy state.
    void finishAfterLoad();
    void fail(const QString& message);
    // Runs one step of an operation; anything it throws ends the operation in fail().
    void step(const std::function<void()>& body);

    void setModels(const QList<CloudModel>& models);
    void setBusy(bool busy);
    void setMessage(const QString& message);
    void setOutputURL(const QString& path);
    void setResumeJob(const QString& job);
    void applyHasOwnKey(bool hasOwnKey);
    void setReadingKey(bool reading);
    void setKeyUnread(bool unread);

    Environment m_env;
    QSettings* m_settings = nullptr;
    QList<CloudModel> m_models;
    bool m_busy = false;
    QString m_message;
    QString m_outputURL;
    bool m_hasOwnKey = false;
    bool m_readingKey = false;
    bool m_keyUnread = false;
    int m_keyReads = 0; // only the latest read's answer counts
    QString m_resumeJob;
    QString m_destination;
    // Where the remembered job saves: it belongs to the job, not to the latest generation.
    QString m_resumeDestination;
};
