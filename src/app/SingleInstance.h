#pragma once

#include <QObject>
#include <QStringList>

// One running window per session. The first launch owns the name com.vandelorn.Tolvane on the
// session bus and answers org.freedesktop.Application there; a later launch hands its files to
// that owner and ends. Without a session bus every launch runs on its own.
class SingleInstance : public QObject {
    Q_OBJECT

public:
    static const QString serviceName;
    static const QString objectPath;
    // How long a later launch waits for the running one to take its files.
    static constexpr int handOverTimeoutMs = 10000;

    enum class Role {
        primary,    // this process owns the name and hears later launches
        handedOver, // a running instance took `paths`: this process should end
        alone,      // no bus, or no owner that answers: run as if no other launch existed
    };

    explicit SingleInstance(QObject* parent = nullptr);
    ~SingleInstance() override;

    // Takes the name, or hands `paths` (absolute; none only brings the window forward) to the
    // process that holds it.
    Role claim(const QStringList& paths);

Q_SIGNALS:
    // A later launch handed these files over; empty when it only asked for the window. The
    // launch is answered when the receivers return, so they must hold the paths by then.
    void opened(const QStringList& paths);

private:
    // Gives the name and the object back.
    void release();

    bool m_registered = false;
};
