#include "UpdateArchive.h"

#include "HeldEntry.h"
#include "UpdateErrors.h"
#include "core/EngineError.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QHash>
#include <QProcess>
#include <QSet>
#include <QStringList>
#include <functional>
#include <optional>

namespace {

// Never the first tar on the search path.
const QString tarProgram = QStringLiteral("/usr/bin/tar");
constexpr int tarTimeoutMs = 10 * 60 * 1000;

struct Member {
    char type = 0;  // the first letter of tar's mode column: '-', 'd', 'l', 'h', 'c', 'p'…
    QString name;   // as stored
    QString target; // of a link
    qint64 size = -1;
};

// Each file takes whole blocks on disk, each folder one.
constexpr qint64 blockBytes = 4096;

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

// Runs tar on the archive, which it reads from its standard input, and hands each line of its
// output to `onLine` as it comes; `onLine` may end the run by throwing.
void runTar(const HeldEntry& archive, const QStringList& arguments,
            const std::function<void(const QByteArray& line)>& onLine = {})
{
    QProcess tar;
    tar.setStandardInputFile(archive.descriptorPath());
    // Listings in a fixed language and layout, whatever the user's locale.
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("LC_ALL"), QStringLiteral("C"));
    // tar runs gzip by name: never the first one on the user's search path either.
    environment.insert(QStringLiteral("PATH"), QStringLiteral("/usr/bin:/bin"));
    tar.setProcessEnvironment(environment);
    tar.start(tarProgram, arguments + QStringList{QStringLiteral("--file=-")});
    const QDeadlineTimer deadline(tarTimeoutMs);
    try {
        QByteArray output;
        while (tar.waitForReadyRead(int(deadline.remainingTime())) || tar.bytesAvailable() > 0) {
            output += tar.readAllStandardOutput();
            for (qsizetype end = output.indexOf('\n'); end >= 0; end = output.indexOf('\n')) {
                if (onLine && end > 0)
                    onLine(output.left(end));
                output.remove(0, end + 1);
            }
        }
        if (tar.state() != QProcess::NotRunning)
            tar.waitForFinished(int(deadline.remainingTime()));
        if (tar.state() != QProcess::NotRunning || tar.exitStatus() != QProcess::NormalExit ||
            tar.exitCode() != 0)
            throw unreadable();
    } catch (...) {
        tar.kill();
        tar.waitForFinished();
        throw;
    }
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
// A device shows "major,minor" where the size stands and gets none.
Member parseLine(const QByteArray& line)
{
    Member member;
    qsizetype at = line.indexOf('"');
    const std::optional<QString> name = readQuoted(line, at);
    if (line.isEmpty() || !name)
        throw unreadable();
    member.type = line[0];
    member.name = *name;
    bool ok = false;
    const qint64 size =
        line.left(line.indexOf('"')).simplified().split(' ').value(2).toLongLong(&ok);
    member.size = ok && size >= 0 ? size : -1;
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

qint64 diskBytes(const Member& member)
{
    if (member.type == 'l')
        return 0;
    return std::max<qint64>(1, (member.size + blockBytes - 1) / blockBytes) * blockBytes;
}

struct Listing {
    QList<Member> members;
    qint64 diskBytes = 0;
};

QString megabytes(qint64 bytes)
{
    return QString::number(double(bytes) / 1e6, 'f', 1) + QStringLiteral(" MB");
}

// The members listed so far already take more than either bound.
void checkSize(qint64 listedBytes, qint64 availableBytes)
{
    if (listedBytes > UpdateArchive::maxUnpackedBytes)
        throw UpdateErrors::refused(QStringLiteral("the archive would unpack to more than %1 GiB.")
                                        .arg(UpdateArchive::maxUnpackedBytes >> 30));
    if (listedBytes > availableBytes)
        throw UpdateErrors::installFailed(
            QStringLiteral("it needs at least %1 of free space beside the installation, and "
                           "only %2 are free.")
                .arg(megabytes(listedBytes), megabytes(std::max<qint64>(0, availableBytes))));
}

// A gzip bomb, or a release too large for the disk, ends here, as soon as tar names a member
// too many: before a byte is written and before the rest is decompressed.
Listing listMembers(const HeldEntry& archive, qint64 availableBytes)
{
    Listing listing;
    runTar(archive,
           {QStringLiteral("--list"), QStringLiteral("--verbose"), QStringLiteral("--gzip"),
            QStringLiteral("--numeric-owner"), QStringLiteral("--quoting-style=c")},
           [&listing, availableBytes](const QByteArray& line) {
               listing.members.append(parseLine(line));
               listing.diskBytes += diskBytes(listing.members.last());
               checkSize(listing.diskBytes, availableBytes);
           });
    return listing;
}

// The paths reached, one per step, walking `path` from the folder `start` (components below the
// tree's top); none when the walk climbs above the first `floor` components of `start`.
std::optional<QStringList> walk(QStringList start, const QString& path, qsizetype floor = 0)
{
    QStringList reached;
    for (const QString& part : path.split(u'/', Qt::SkipEmptyParts)) {
        if (part == u".")
            continue;
        if (part == u"..") {
            if (start.size() <= floor)
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

// How many leading components make the release's own folder: one when every member lies in a
// single top folder, else none (the release is the archive's top).
qsizetype releaseDepth(const QList<Member>& members)
{
    QSet<QString> tops;
    for (const Member& member : members)
        if (const auto reached = walk({}, member.name); reached && !reached->isEmpty())
            tops.insert(reached->first());
    return tops.size() == 1 ? 1 : 0;
}

bool staysInside(const Member& member, const QSet<QString>& links, qsizetype depth)
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
    const std::optional<QStringList> target = walk(folder, member.target, depth);
    return target && !passesThroughLink(*target, links);
}

void checkMembers(const QList<Member>& members)
{
    QSet<QString> links;
    for (const Member& member : members)
        if (const auto reached = walk({}, member.name);
            member.type == 'l' && reached && !reached->isEmpty())
            links.insert(reached->last());
    const qsizetype depth = releaseDepth(members);
    for (const Member& member : members) {
        // Hard links, devices, FIFOs and anything else tar can carry are refused.
        const bool plainKind = member.type == '-' || member.type == 'd' || member.type == 'l';
        if (!plainKind || !staysInside(member, links, depth))
            throw unsafe(member.name);
        if (member.size < 0)
            throw unreadable();
    }
}

} // namespace

namespace UpdateArchive {

void unpack(const HeldEntry& archive, const QString& destination, qint64 availableBytes)
{
    const Listing listing = listMembers(archive, availableBytes);
    checkMembers(listing.members);
    runTar(archive, {QStringLiteral("--extract"), QStringLiteral("--gzip"),
                     QStringLiteral("--no-same-owner"), QStringLiteral("--no-same-permissions"),
                     QStringLiteral("--directory"), destination});
}

} // namespace UpdateArchive
