#include "UpdateArchive.h"

#include "UpdateErrors.h"
#include "core/EngineError.h"

#include <QFile>
#include <QHash>
#include <QProcess>
#include <QSet>
#include <QStringList>
#include <optional>

namespace {

// Never the first tar on the search path.
const QString tarProgram = QStringLiteral("/usr/bin/tar");
constexpr int tarTimeoutMs = 10 * 60 * 1000;

struct Member {
    char type = 0;  // the first letter of tar's mode column: '-', 'd', 'l', 'h', 'c', 'p'…
    QString name;   // as stored
    QString target; // of a link
};

MessageError unreadable()
{
    return UpdateErrors::installFailed(QStringLiteral("the archive could not be unpacked."));
}

MessageError unsafe(const QString& name)
{
    QString shown = name;
    for (QChar& c : shown)
        if (!c.isPrint())
            c = u'?';
    return UpdateErrors::refused(
        QStringLiteral("the archive holds an unsafe entry, “%1”.").arg(shown));
}

QByteArray runTar(const QStringList& arguments)
{
    QProcess tar;
    // Listings in a fixed language and layout, whatever the user's locale.
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("LC_ALL"), QStringLiteral("C"));
    tar.setProcessEnvironment(environment);
    tar.start(tarProgram, arguments);
    if (!tar.waitForFinished(tarTimeoutMs) || tar.exitStatus() != QProcess::NormalExit ||
        tar.exitCode() != 0) {
        tar.kill();
        tar.waitForFinished();
        throw unreadable();
    }
    return tar.readAllStandardOutput();
}

// Reads one name as tar's C quoting style writes it: "…" with backslash escapes and octal
// bytes. `at` moves past the closing quote.
std::optional<QString> readQuoted(const QByteArray& line, qsizetype& at)
{
    if (at < 0 || at >= line.size() || line[at] != '"')
        return std::nullopt;
    QByteArray bytes;
    for (++at; at < line.size(); ++at) {
        char c = line[at];
        if (c == '"') {
            ++at;
            return QFile::decodeName(bytes);
        }
        if (c != '\\') {
            bytes += c;
            continue;
        }
        if (++at >= line.size())
            return std::nullopt;
        c = line[at];
        if (c >= '0' && c <= '7') {
            int value = 0;
            for (int digits = 0;
                 digits < 3 && at < line.size() && line[at] >= '0' && line[at] <= '7';
                 ++digits, ++at)
                value = value * 8 + (line[at] - '0');
            --at;
            bytes += char(value);
            continue;
        }
        static const QHash<char, char> escapes{{'a', '\a'}, {'b', '\b'}, {'f', '\f'}, {'n', '\n'},
                                               {'r', '\r'}, {'t', '\t'}, {'v', '\v'}, {'\\', '\\'},
                                               {'"', '"'},  {'?', '?'}};
        bytes += escapes.value(c, c);
    }
    return std::nullopt;
}

// One line of `tar --list --verbose --quoting-style=c`:
//   lrwxrwxrwx 0/0  0 2026-01-01 10:00 "name" -> "target"
//   hrw-r--r-- 0/0  0 2026-01-01 10:00 "name" link to "target"
Member parseLine(const QByteArray& line)
{
    Member member;
    qsizetype at = line.indexOf('"');
    const std::optional<QString> name = readQuoted(line, at);
    if (line.isEmpty() || !name)
        throw unreadable();
    member.type = line[0];
    member.name = *name;
    for (const QByteArray& joint : {QByteArray(" -> "), QByteArray(" link to ")})
        if (line.mid(at, joint.size()) == joint) {
            at += joint.size();
            const std::optional<QString> target = readQuoted(line, at);
            if (!target)
                throw unreadable();
            member.target = *target;
        }
    return member;
}

QList<Member> listMembers(const QString& archive)
{
    const QByteArray listing =
        runTar({QStringLiteral("--list"), QStringLiteral("--verbose"), QStringLiteral("--gzip"),
                QStringLiteral("--numeric-owner"), QStringLiteral("--quoting-style=c"),
                QStringLiteral("--file"), archive});
    QList<Member> members;
    for (const QByteArray& line : listing.split('\n'))
        if (!line.isEmpty())
            members.append(parseLine(line));
    return members;
}

// The paths reached, one per step, walking `path` from the folder `start` (components below the
// tree's top); none when the walk climbs out of the tree.
std::optional<QStringList> walk(QStringList start, const QString& path)
{
    QStringList reached;
    for (const QString& part : path.split(u'/', Qt::SkipEmptyParts)) {
        if (part == u".")
            continue;
        if (part == u"..") {
            if (start.isEmpty())
                return std::nullopt;
            start.removeLast();
        } else {
            start.append(part);
        }
        reached.append(start.join(u'/'));
    }
    return reached;
}

// Whether a walk goes on through a link: tar would then write, or the link lead, wherever that
// link points.
bool passesThroughLink(QStringList reached, const QSet<QString>& links)
{
    if (!reached.isEmpty())
        reached.removeLast();
    for (const QString& path : reached)
        if (links.contains(path))
            return true;
    return false;
}

bool staysInside(const Member& member, const QSet<QString>& links)
{
    if (member.name.startsWith(u'/') || member.name.split(u'/').contains(QStringLiteral("..")))
        return false;
    const QStringList reached = walk({}, member.name).value_or(QStringList());
    if (passesThroughLink(reached, links))
        return false;
    if (member.type != 'l')
        return true;
    if (member.target.isEmpty() || member.target.startsWith(u'/'))
        return false;
    QStringList folder = reached.isEmpty() ? QStringList() : reached.last().split(u'/');
    if (!folder.isEmpty())
        folder.removeLast();
    const std::optional<QStringList> target = walk(folder, member.target);
    return target && !passesThroughLink(*target, links);
}

void checkMembers(const QList<Member>& members)
{
    QSet<QString> links;
    for (const Member& member : members)
        if (const auto reached = walk({}, member.name);
            member.type == 'l' && reached && !reached->isEmpty())
            links.insert(reached->last());
    for (const Member& member : members) {
        // Hard links, devices, FIFOs and anything else tar can carry are refused.
        const bool plainKind = member.type == '-' || member.type == 'd' || member.type == 'l';
        if (!plainKind || !staysInside(member, links))
            throw unsafe(member.name);
    }
}

} // namespace

namespace UpdateArchive {

void unpack(const QString& archive, const QString& destination)
{
    checkMembers(listMembers(archive));
    runTar({QStringLiteral("--extract"), QStringLiteral("--gzip"),
            QStringLiteral("--no-same-owner"), QStringLiteral("--no-same-permissions"),
            QStringLiteral("--file"), archive, QStringLiteral("--directory"), destination});
}

} // namespace UpdateArchive
