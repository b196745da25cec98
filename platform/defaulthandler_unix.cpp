#include "platform/defaulthandler.h"
#include "platform/fileassoc_xdg.h"

#include "platform/platformlog.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMimeDatabase>
#include <QProcess>
#include <QSaveFile>
#include <QStandardPaths>

// The freedesktop answer to "which program opens this": xdg-mime (or gio
// where it is missing) reads the mimeapps.list pins, then the desktop
// databases. Pins go to $XDG_CONFIG_HOME/mimeapps.list, as xdg-mime's own
// "default" command writes them.

namespace {

constexpr int kQueryTimeoutMs = 15000;

// Runs a query tool; its trimmed standard output, or a null string when it
// is missing, hangs or fails.
QString runQuery(const QString &name, const QStringList &arguments)
{
    const QString tool = QStandardPaths::findExecutable(name);
    if (tool.isEmpty())
        return QString();
    QProcess process;
    process.start(tool, arguments);
    if (!process.waitForFinished(kQueryTimeoutMs)) {
        process.kill();
        process.waitForFinished(1000);
        platformLog(QStringLiteral("app"), QStringLiteral("%1 没有回应").arg(name));
        return QString();
    }
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
        return QString();
    return QString::fromLocal8Bit(process.readAllStandardOutput()).trimmed();
}

QStringList searchPath(const char *variable, const QString &fallback)
{
    const QString value = QString::fromLocal8Bit(qgetenv(variable));
    QStringList dirs;
    for (const QString &dir : (value.isEmpty() ? fallback : value).split(QLatin1Char(':'), Qt::SkipEmptyParts)) {
        if (QDir::isAbsolutePath(dir))
            dirs.append(QDir::cleanPath(dir));
    }
    return dirs;
}

QStringList dataDirs()
{
    return QStringList{Xdg::dataHome()}
        + searchPath("XDG_DATA_DIRS", QStringLiteral("/usr/local/share:/usr/share"));
}

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The file of a desktop entry id ("vendor-app.desktop" may live in vendor/).
QString entryFile(const QString &entryId)
{
    if (entryId.isEmpty() || entryId.contains(QLatin1Char('/')))
        return QString();
    for (const QString &dir : dataDirs()) {
        const QString applications = dir + QStringLiteral("/applications/");
        QString candidate = applications + entryId;
        if (QFileInfo(candidate).isFile())
            return candidate;
        const int dash = int(entryId.indexOf(QLatin1Char('-')));
        if (dash > 0) {
            candidate = applications + entryId.left(dash) + QLatin1Char('/') + entryId.mid(dash + 1);
            if (QFileInfo(candidate).isFile())
                return candidate;
        }
    }
    return QString();
}

// The program an Exec line starts: its first word, unquoted.
QString execProgram(const QString &exec)
{
    QString program;
    bool quoted = false;
    for (int i = 0; i < exec.size(); ++i) {
        const QChar c = exec.at(i);
        if (c == QLatin1Char('"')) {
            quoted = !quoted;
            continue;
        }
        if (quoted && c == QLatin1Char('\\') && i + 1 < exec.size()) {
            program += exec.at(++i);
            continue;
        }
        if (!quoted && c.isSpace()) {
            if (!program.isEmpty())
                break;
            continue;
        }
        program += c;
    }
    // The value itself is escaped once more in the file.
    program.replace(QStringLiteral("\\\\"), QStringLiteral("\\"));
    return program;
}

QString canonicalProgram(const QString &program)
{
    const QString found = QDir::isAbsolutePath(program) ? program : QStandardPaths::findExecutable(program);
    const QString canonical = QFileInfo(found).canonicalFilePath();
    return canonical.isEmpty() ? found : canonical;
}

// The installed entries a mimeapps.list names as mimeType's default, first choice first.
QStringList pinnedEntries(const QByteArray &content, const QString &mimeType)
{
    bool inDefaults = false;
    const QString prefix = mimeType + QLatin1Char('=');
    for (const QString &raw : QString::fromUtf8(content).split(QLatin1Char('\n'))) {
        const QString line = raw.trimmed();
        if (line.startsWith(QLatin1Char('['))) {
            inDefaults = line == QLatin1String("[Default Applications]");
            continue;
        }
        if (inDefaults && line.startsWith(prefix))
            return line.mid(prefix.size()).split(QLatin1Char(';'), Qt::SkipEmptyParts);
    }
    return {};
}

QStringList mimeappsLists()
{
    QStringList desktops;
    for (const QString &desktop : QString::fromLocal8Bit(qgetenv("XDG_CURRENT_DESKTOP")).split(QLatin1Char(':'), Qt::SkipEmptyParts))
        desktops.append(desktop.toLower() + QStringLiteral("-mimeapps.list"));
    desktops.append(QStringLiteral("mimeapps.list"));
    QStringList folders = QStringList{Xdg::configHome()} + searchPath("XDG_CONFIG_DIRS", QStringLiteral("/etc/xdg"));
    for (const QString &dir : dataDirs())
        folders.append(dir + QStringLiteral("/applications"));
    QStringList lists;
    for (const QString &folder : folders) {
        for (const QString &name : desktops)
            lists.append(folder + QLatin1Char('/') + name);
    }
    return lists;
}

} // namespace

bool canQueryDefaults()
{
    return !QStandardPaths::findExecutable(QStringLiteral("xdg-mime")).isEmpty()
        || !QStandardPaths::findExecutable(QStringLiteral("gio")).isEmpty();
}

QString queryDefaultEntry(const QString &mimeType)
{
    if (!QStandardPaths::findExecutable(QStringLiteral("xdg-mime")).isEmpty())
        return runQuery(QStringLiteral("xdg-mime"), {QStringLiteral("query"), QStringLiteral("default"), mimeType});
    // gio: "Default application for “type”: entry.desktop" on its first line.
    const QString answer = runQuery(QStringLiteral("gio"), {QStringLiteral("mime"), mimeType});
    const QString first = answer.section(QLatin1Char('\n'), 0, 0);
    const int colon = int(first.lastIndexOf(QStringLiteral(": ")));
    return first.endsWith(QStringLiteral(".desktop")) && colon > 0 ? first.mid(colon + 2).trimmed() : QString();
}

bool entryStartsThisProgram(const QString &entryId)
{
    const QString path = entryFile(entryId);
    if (path.isEmpty())
        return false;
    const QByteArray content = readAll(path);
    if (Xdg::isOurEntry(content))
        return true;
    const QString program = canonicalProgram(execProgram(Xdg::entryValue(content, QStringLiteral("Exec"))));
    if (program.isEmpty())
        return false;
    const QString self = QCoreApplication::applicationFilePath();
    const QString selfCanonical = QFileInfo(self).canonicalFilePath();
    // Another copy of the program forwards the file straight back here.
    return program == selfCanonical || QFileInfo(program).fileName() == QFileInfo(self).fileName()
        || QFileInfo(program).fileName() == QLatin1String("lectern");
}

FileHandler defaultHandlerFor(const QString &path)
{
    FileHandler handler;
    QString type = runQuery(QStringLiteral("xdg-mime"), {QStringLiteral("query"), QStringLiteral("filetype"), path});
    if (type.isEmpty() || type.contains(QLatin1Char('\n')))
        type = QMimeDatabase().mimeTypeForFile(path).name();
    handler.entry = queryDefaultEntry(type);
    if (handler.entry.isEmpty())
        return handler;
    const QString name = Xdg::entryValue(readAll(entryFile(handler.entry)), QStringLiteral("Name"));
    handler.name = name.isEmpty() ? handler.entry : name;
    handler.isThisProgram = entryStartsThisProgram(handler.entry);
    return handler;
}

bool isDefaultPinned(const QString &mimeType, const QString &entryId)
{
    // The first list naming an installed entry decides, as the tools do.
    for (const QString &list : mimeappsLists()) {
        for (const QString &entry : pinnedEntries(readAll(list), mimeType)) {
            if (!entryFile(entry).isEmpty())
                return entry == entryId;
        }
    }
    return false;
}

bool pinDefault(const QString &mimeType, const QString &entryId, QString *error)
{
    const QString path = Xdg::configHome() + QStringLiteral("/mimeapps.list");
    QStringList lines = QString::fromUtf8(readAll(path)).split(QLatin1Char('\n'));
    if (!lines.isEmpty() && lines.constLast().isEmpty())
        lines.removeLast();
    const QString prefix = mimeType + QLatin1Char('=');
    int group = -1;
    int insertAt = -1;
    bool done = false;
    for (int i = 0; i < lines.size() && !done; ++i) {
        const QString line = lines.at(i).trimmed();
        if (line.startsWith(QLatin1Char('['))) {
            if (group >= 0)
                break;
            if (line == QLatin1String("[Default Applications]"))
                group = insertAt = i + 1;
            continue;
        }
        if (group < 0)
            continue;
        if (line.startsWith(prefix)) {
            QStringList entries = line.mid(prefix.size()).split(QLatin1Char(';'), Qt::SkipEmptyParts);
            entries.removeAll(entryId);
            entries.prepend(entryId);
            lines[i] = prefix + entries.join(QLatin1Char(';')) + QLatin1Char(';');
            done = true;
        } else if (!line.isEmpty()) {
            insertAt = i + 1;
        }
    }
    if (!done) {
        const QString pin = prefix + entryId + QLatin1Char(';');
        if (group >= 0) {
            lines.insert(insertAt, pin);
        } else {
            if (!lines.isEmpty() && !lines.constLast().trimmed().isEmpty())
                lines.append(QString());
            lines << QStringLiteral("[Default Applications]") << pin;
        }
    }
    const QByteArray content = (lines.join(QLatin1Char('\n')) + QLatin1Char('\n')).toUtf8();
    bool changed = false;
    return Xdg::writeIfDifferent(path, content, &changed, error,
                                 QStringLiteral("无法写入默认程序设置（%1）").arg(QDir::toNativeSeparators(path)));
}
