#include "platform/fileassoc.h"
#include "platform/defaulthandler.h"
#include "platform/fileassoc_xdg.h"

#include "platform/platformlog.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSaveFile>
#include <QStandardPaths>

// Linux stand-in for the registry classes: a desktop entry listing the
// types, plus a shared-mime-info package that teaches the system .dpz.

namespace Xdg {

namespace {

QString homeSubfolder(const char *variable, const char *fallback)
{
    const QString fromEnvironment = QString::fromLocal8Bit(qgetenv(variable));
    if (!fromEnvironment.isEmpty() && QDir::isAbsolutePath(fromEnvironment))
        return QDir::cleanPath(fromEnvironment);
    return QDir::homePath() + QLatin1Char('/') + QLatin1String(fallback);
}

} // namespace

QString dataHome() { return homeSubfolder("XDG_DATA_HOME", ".local/share"); }
QString configHome() { return homeSubfolder("XDG_CONFIG_HOME", ".config"); }

QString execQuoted(const QString &program)
{
    // Inside a quoted Exec argument ", `, $ and \ take a backslash; then the
    // whole value is escaped once more as a desktop-entry string, and a
    // literal % is doubled for the field-code parser.
    QString quoted;
    for (const QChar c : program) {
        if (c == QLatin1Char('"') || c == QLatin1Char('`') || c == QLatin1Char('$') || c == QLatin1Char('\\'))
            quoted += QLatin1Char('\\');
        quoted += c;
    }
    quoted = QLatin1Char('"') + quoted + QLatin1Char('"');
    QString value;
    for (const QChar c : quoted) {
        if (c == QLatin1Char('\\'))
            value += QLatin1String("\\\\");
        else if (c == QLatin1Char('\n'))
            value += QLatin1String("\\n");
        else if (c == QLatin1Char('%'))
            value += QLatin1String("%%");
        else
            value += c;
    }
    return value;
}

QString entryValue(const QByteArray &content, const QString &key)
{
    bool inMainGroup = false;
    const QString prefix = key + QLatin1Char('=');
    for (const QString &raw : QString::fromUtf8(content).split(QLatin1Char('\n'))) {
        const QString line = raw.trimmed();
        if (line.startsWith(QLatin1Char('['))) {
            inMainGroup = line == QLatin1String("[Desktop Entry]");
            continue;
        }
        if (inMainGroup && raw.startsWith(prefix))
            return raw.mid(prefix.size());
    }
    return QString();
}

bool isOurEntry(const QByteArray &content)
{
    return entryValue(content, ownerKey()) == QLatin1String("Lectern");
}

bool writeIfDifferent(const QString &path, const QByteArray &content, bool *changed,
                      QString *error, const QString &failure)
{
    *changed = false;
    QFile existing(path);
    if (existing.open(QIODevice::ReadOnly) && existing.readAll() == content)
        return true;
    existing.close();
    QSaveFile file(path);
    const bool ok = QDir().mkpath(QFileInfo(path).absolutePath()) && file.open(QIODevice::WriteOnly)
        && file.write(content) == content.size() && file.commit();
    if (!ok) {
        platformLog(QStringLiteral("app"), QStringLiteral("写入失败：%1（%2）").arg(path, file.errorString()));
        if (error)
            *error = failure;
        return false;
    }
    *changed = true;
    return true;
}

bool removeFile(const QString &path, QString *error, const QString &failure)
{
    if (!QFileInfo::exists(path) || QFile::remove(path))
        return true;
    if (error)
        *error = failure;
    return false;
}

} // namespace Xdg

namespace {

const char kEntryName[] = "lectern.desktop";
// What the package installs below /usr/share (one name, the AppStream id).
const char kSystemEntryName[] = "io.github.lectern.Lectern.desktop";
const char kPackageName[] = "lectern-dpz.xml";
const char kPackageType[] = "application/x-lectern-dpz";
constexpr int kToolTimeoutMs = 15000;

QString entryPath() { return Xdg::dataHome() + QStringLiteral("/applications/") + QLatin1String(kEntryName); }
// The icon the entries name, for a copy that was not installed: the
// largest size rendered into the program's resources at build time.
QString iconPath() { return Xdg::dataHome() + QStringLiteral("/icons/hicolor/256x256/apps/lectern.png"); }
const char kIconResource[] = ":/icons/256x256/apps/lectern.png";
QString packagePath() { return Xdg::dataHome() + QStringLiteral("/mime/packages/") + QLatin1String(kPackageName); }

// The office types the program converts: Word, presentations, other text.
const char *const kOfficeTypes[] = {
    "application/vnd.openxmlformats-officedocument.wordprocessingml.document",
    "application/msword",
    "application/vnd.openxmlformats-officedocument.presentationml.presentation",
    "application/vnd.openxmlformats-officedocument.presentationml.slideshow",
    "application/vnd.ms-powerpoint",
    "application/vnd.ms-powerpoint.presentation.macroEnabled.12",
    "application/vnd.oasis.opendocument.presentation",
    "application/vnd.oasis.opendocument.text",
    "application/rtf",
    "application/vnd.ms-works",
};

QString officeMimeTypes()
{
    QString types;
    for (const char *type : kOfficeTypes)
        types += QLatin1String(type) + QLatin1Char(';');
    return types;
}

QByteArray desktopEntry(const QString &program)
{
    return QStringLiteral(
               "[Desktop Entry]\n"
               "Type=Application\n"
               "Version=1.0\n"
               "Name=青简批注\n"
               "Comment=大屏 PDF 查看与批注工具\n"
               "Exec=%1 %f\n"
               "Icon=lectern\n"
               "Terminal=false\n"
               "MimeType=application/pdf;%2;%4\n"
               "Categories=Office;Viewer;\n"
               "Actions=new-board;\n"
               "%3=Lectern\n"
               "\n"
               "[Desktop Action new-board]\n"
               "Name=新建白板\n"
               "Exec=%1 --new-board\n")
        .arg(Xdg::execQuoted(program), QLatin1String(kPackageType), Xdg::ownerKey(), officeMimeTypes())
        .toUtf8();
}

QByteArray mimePackage()
{
    return QByteArrayLiteral(
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<!-- X-Lectern-Owner: the .dpz annotation package of Lectern -->\n"
        "<mime-info xmlns=\"http://www.freedesktop.org/standards/shared-mime-info\">\n"
        "  <mime-type type=\"application/x-lectern-dpz\">\n"
        "    <comment>青简批注包</comment>\n"
        "    <sub-class-of type=\"application/zip\"/>\n"
        "    <glob pattern=\"*.dpz\"/>\n"
        "  </mime-type>\n"
        "</mime-info>\n");
}

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool isOurs(const QString &path)
{
    const QByteArray content = readAll(path);
    if (path.endsWith(QLatin1String(".png")))
        return content == readAll(QLatin1String(kIconResource));
    return path.endsWith(QLatin1String(".xml")) ? content.contains("X-Lectern-Owner")
                                                : Xdg::isOurEntry(content);
}

// Runs a database tool when it is installed; a missing or failing tool only
// delays the desktop's notice of the change.
void runTool(const QString &name, const QStringList &arguments)
{
    const QString tool = QStandardPaths::findExecutable(name);
    if (tool.isEmpty())
        return;
    QProcess process;
    process.start(tool, arguments);
    if (!process.waitForFinished(kToolTimeoutMs) || process.exitCode() != 0) {
        process.kill();
        process.waitForFinished(1000);
        platformLog(QStringLiteral("app"), QStringLiteral("%1 未完成：%2").arg(name, QString::fromLocal8Bit(process.readAllStandardError())));
    }
}

void refreshDatabases(bool force)
{
    const QString data = Xdg::dataHome();
    // The generated type file is missing after someone wiped the database.
    if (force || !QFileInfo::exists(data + QStringLiteral("/mime/application/x-lectern-dpz.xml")))
        runTool(QStringLiteral("update-mime-database"), {data + QStringLiteral("/mime")});
    if (force || !readAll(data + QStringLiteral("/applications/mimeinfo.cache")).contains(kEntryName))
        runTool(QStringLiteral("update-desktop-database"), {data + QStringLiteral("/applications")});
}

} // namespace

QString systemDesktopEntry()
{
    QString folders = QString::fromLocal8Bit(qgetenv("XDG_DATA_DIRS"));
    if (folders.isEmpty())
        folders = QStringLiteral("/usr/local/share:/usr/share");
    const QString own = QDir::cleanPath(Xdg::dataHome());
    for (const QString &folder : folders.split(QLatin1Char(':'), Qt::SkipEmptyParts)) {
        if (!QDir::isAbsolutePath(folder) || QDir::cleanPath(folder) == own)
            continue;
        const QString path = QDir::cleanPath(folder) + QStringLiteral("/applications/") + QLatin1String(kSystemEntryName);
        if (QFileInfo(path).isFile())
            return path;
    }
    return QString();
}

QStringList foreignAssociationFiles()
{
    if (!systemDesktopEntry().isEmpty())
        return {};
    QStringList foreign;
    for (const QString &path : {entryPath(), packagePath()}) {
        if (QFileInfo::exists(path) && !isOurs(path))
            foreign.append(QDir::toNativeSeparators(path));
    }
    return foreign;
}

namespace {

// The types another program may already open. Registering adds this
// program to their candidates and must leave their default where it was.
QStringList keptTypes()
{
    QStringList types{QStringLiteral("application/pdf")};
    for (const char *type : kOfficeTypes)
        types.append(QLatin1String(type));
    return types;
}

struct KeptDefault
{
    QString type;
    QString entry;
};

// The defaults of other programs, each pinned for the user where nothing
// pinned it: left to the desktop's guess, the new entry (newest in the
// user's own folder) would win it.
bool keepOtherDefaults(QList<KeptDefault> *kept, QString *error)
{
    if (!canQueryDefaults())
        return true;
    for (const QString &mime : keptTypes()) {
        const QString entry = queryDefaultEntry(mime);
        // No handler at all: this program may become the default.
        if (entry.isEmpty() || entryStartsThisProgram(entry))
            continue;
        kept->append({mime, entry});
        if (!isDefaultPinned(mime, entry) && !pinDefault(mime, entry, error))
            return false;
    }
    return true;
}

// After registering: each kept default still answers, or is pinned outright.
bool checkKeptDefaults(const QList<KeptDefault> &kept, QString *error)
{
    for (const KeptDefault &k : kept) {
        if (queryDefaultEntry(k.type) == k.entry)
            continue;
        if (!pinDefault(k.type, k.entry, error))
            return false;
        if (queryDefaultEntry(k.type) != k.entry) {
            platformLog(QStringLiteral("app"), QStringLiteral("%1 的默认程序无法保持为 %2").arg(k.type, k.entry));
            if (error)
                *error = QStringLiteral("注册会改变 %1 的默认打开程序（%2），已撤销注册").arg(k.type, k.entry);
            return false;
        }
    }
    return true;
}

} // namespace

bool registerFileAssociations(QString *error, ForeignFiles foreign)
{
    const QString program = QCoreApplication::applicationFilePath();
    if (program.isEmpty()) {
        if (error)
            *error = QStringLiteral("无法获取程序路径");
        return false;
    }
    if (!systemDesktopEntry().isEmpty())
        return unregisterFileAssociations(error);
    if (foreign == ForeignFiles::Keep) {
        const QStringList others = foreignAssociationFiles();
        if (!others.isEmpty()) {
            if (error)
                *error = QStringLiteral("%1 已由其他程序写入，未覆盖").arg(others.first());
            return false;
        }
    }
    QList<KeptDefault> kept;
    if (!keepOtherDefaults(&kept, error))
        return false;
    const auto failure = [](const QString &path) {
        return QStringLiteral("无法写入文件关联（%1）").arg(QDir::toNativeSeparators(path));
    };
    bool packageChanged = false;
    bool entryChanged = false;
    bool iconChanged = false;
    const QByteArray icon = readAll(QLatin1String(kIconResource));
    if (!Xdg::writeIfDifferent(packagePath(), mimePackage(), &packageChanged, error, failure(packagePath()))
        || !Xdg::writeIfDifferent(entryPath(), desktopEntry(program), &entryChanged, error, failure(entryPath()))
        || (!icon.isEmpty() && !Xdg::writeIfDifferent(iconPath(), icon, &iconChanged, error, failure(iconPath()))))
        return false;
    refreshDatabases(packageChanged || entryChanged);
    if (!checkKeptDefaults(kept, error)) {
        QString ignored;
        unregisterFileAssociations(&ignored);
        return false;
    }
    if (error)
        error->clear();
    return true;
}

bool unregisterFileAssociations(QString *error)
{
    bool removed = false;
    for (const QString &path : {entryPath(), packagePath(), iconPath()}) {
        if (!QFileInfo::exists(path) || !isOurs(path))
            continue;
        if (!Xdg::removeFile(path, error,
                             QStringLiteral("无法删除文件关联（%1）").arg(QDir::toNativeSeparators(path))))
            return false;
        removed = true;
    }
    if (removed)
        refreshDatabases(true);
    if (error)
        error->clear();
    return true;
}

namespace {

// The desktops' own pages that set a default per file type (PDF among
// them): the program found and its arguments, or an empty list. GNOME's,
// Cinnamon's and MATE's default-application pages only know browsers, mail
// and media players, so they are no help for a PDF.
QStringList defaultAppsCommand()
{
    const QList<QStringList> candidates = {
        {QStringLiteral("systemsettings"), QStringLiteral("kcm_filetypes")},
        {QStringLiteral("kcmshell5"), QStringLiteral("filetypes")},
        {QStringLiteral("xfce4-mime-settings")},
        {QStringLiteral("lxqt-config-file-associations")},
    };
    for (const QStringList &candidate : candidates) {
        const QString tool = QStandardPaths::findExecutable(candidate.first());
        if (!tool.isEmpty())
            return QStringList{tool} + candidate.mid(1);
    }
    return {};
}

} // namespace

bool hasDefaultAppsSettings() { return !defaultAppsCommand().isEmpty(); }

bool openDefaultAppsSettings()
{
    const QStringList command = defaultAppsCommand();
    return !command.isEmpty() && QProcess::startDetached(command.first(), command.mid(1));
}

QString sofficeFileName() { return QStringLiteral("soffice"); }
QString sofficeFileFilter() { return QStringLiteral("soffice (soffice);;所有文件 (*)"); }
