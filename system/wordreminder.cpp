#include "system/wordreminder.h"

#include "system/diaglog.h"

#include <QJsonDocument>
#include <QJsonObject>

namespace {

const QString kAlert = QStringLiteral("AlertIfNotDefault");
const QString kDoNotCheck = QStringLiteral("DoNotCheckIfWordIsDefaultApp");

QString logOpen()
{
    return QStringLiteral("open");
}

void setText(QString *out, const QString &text)
{
    if (out)
        *out = text;
}

QStringList officeVersions(const KeyValueStore &store)
{
    QStringList versions;
    for (const QString &name : store.subkeys(officeKey())) {
        if (name.contains(QLatin1Char('.')))
            versions.append(name);
    }
    return versions;
}

QJsonObject readBackup(const KeyValueStore &store)
{
    if (!store.hasValue(lecternKey(), wordNagBackupName()))
        return QJsonObject();
    const QByteArray text = store.value(lecternKey(), wordNagBackupName()).toString().toUtf8();
    return QJsonDocument::fromJson(text).object();
}

bool hasInt(const KeyValueStore &store, const QString &key, const QString &name, int expected)
{
    if (!store.hasValue(key, name))
        return false;
    bool ok = false;
    const int value = store.value(key, name).toInt(&ok);
    return ok && value == expected;
}

bool looksSilenced(const KeyValueStore &store)
{
    for (const QString &version : officeVersions(store)) {
        const QString key = wordOptionsKey(version);
        if (hasInt(store, key, kAlert, 0) || hasInt(store, key, kDoNotCheck, 1))
            return true;
    }
    return false;
}

} // namespace

QString officeKey()
{
    return QStringLiteral("HKEY_CURRENT_USER\\Software\\Microsoft\\Office");
}

QString wordOptionsKey(const QString &version)
{
    return officeKey() + QStringLiteral("/%1/Word/Options").arg(version);
}

QString lecternKey()
{
    return QStringLiteral("HKEY_CURRENT_USER\\Software\\Lectern");
}

QString wordNagBackupName()
{
    return QStringLiteral("WordNagBackup");
}

bool silenceWordReminder(KeyValueStore &store, QString *error)
{
    const QStringList versions = officeVersions(store);
    if (versions.isEmpty()) {
        setText(error, QStringLiteral("未找到 Office 版本注册表项，无法关闭 Word 的提醒"));
        return false;
    }
    if (!store.hasValue(lecternKey(), wordNagBackupName())) {
        QJsonObject backup;
        for (const QString &version : versions) {
            const QString key = wordOptionsKey(version);
            for (const QString &name : {kAlert, kDoNotCheck}) {
                QJsonObject entry{{QStringLiteral("exists"), store.hasValue(key, name)}};
                if (store.hasValue(key, name))
                    entry.insert(QStringLiteral("value"), store.value(key, name).toInt());
                backup.insert(version + QLatin1Char('|') + name, entry);
            }
        }
        store.setValue(lecternKey(), wordNagBackupName(),
                       QString::fromUtf8(QJsonDocument(backup).toJson(QJsonDocument::Compact)));
        if (!store.flush(lecternKey())) {
            setText(error, QStringLiteral("无法记录 Word 设置备份（注册表写入失败）"));
            return false;
        }
    }
    for (const QString &version : versions) {
        const QString key = wordOptionsKey(version);
        store.setValue(key, kAlert, 0);
        store.setValue(key, kDoNotCheck, 1);
        if (!store.flush(key)) {
            setText(error, QStringLiteral("无法写入 Word 的提醒设置（注册表写入失败）"));
            return false;
        }
    }
    logInfo(logOpen(), QStringLiteral("已关闭 Word 的「不是默认程序」提醒（Office %1）")
                          .arg(versions.join(QStringLiteral(", "))));
    setText(error, QString());
    return true;
}

bool restoreWordReminder(KeyValueStore &store, QString *text)
{
    const QJsonObject backup = readBackup(store);
    if (!backup.isEmpty()) {
        for (auto it = backup.begin(); it != backup.end(); ++it) {
            const int bar = it.key().indexOf(QLatin1Char('|'));
            if (bar < 0)
                continue;
            const QString key = wordOptionsKey(it.key().left(bar));
            const QString name = it.key().mid(bar + 1);
            const QJsonObject entry = it.value().toObject();
            if (entry.value(QStringLiteral("exists")).toBool())
                store.setValue(key, name, entry.value(QStringLiteral("value")).toInt());
            else
                store.removeValue(key, name);
            // The backup is the only record of the old values: it goes only
            // once they are back.
            if (!store.flush(key)) {
                setText(text, QStringLiteral("无法写入 Word 的提醒设置（注册表写入失败）"));
                return false;
            }
        }
        store.removeValue(lecternKey(), wordNagBackupName());
        if (!store.flush(lecternKey())) {
            setText(text, QStringLiteral("无法清除 Word 设置备份（注册表写入失败）"));
            return false;
        }
        logInfo(logOpen(), QStringLiteral("已恢复 Word 的提醒设置"));
        setText(text, QString());
        return true;
    }
    if (looksSilenced(store)) {
        for (const QString &version : officeVersions(store)) {
            const QString key = wordOptionsKey(version);
            bool changed = false;
            if (hasInt(store, key, kAlert, 0)) {
                store.setValue(key, kAlert, 1);
                changed = true;
            }
            if (hasInt(store, key, kDoNotCheck, 1)) {
                store.removeValue(key, kDoNotCheck);
                changed = true;
            }
            if (changed && !store.flush(key)) {
                setText(text, QStringLiteral("无法写入 Word 的提醒设置（注册表写入失败）"));
                return false;
            }
        }
        logInfo(logOpen(), QStringLiteral("已把 Word 的提醒设置恢复为默认（无备份记录）"));
        setText(text, QStringLiteral("没有备份记录：已恢复为 Word 默认设置（会重新提醒）"));
        return true;
    }
    setText(text, QStringLiteral("没有可恢复的 Word 设置备份"));
    return false;
}

WordReminderRestore wordReminderRestoreMode(const KeyValueStore &store)
{
    if (!readBackup(store).isEmpty())
        return WordReminderRestore::FromBackup;
    return looksSilenced(store) ? WordReminderRestore::ToWordDefaults : WordReminderRestore::Nothing;
}

bool silenceWordReminder(QString *error)
{
    return silenceWordReminder(*openWordOptionsStore(), error);
}

bool restoreWordReminder(QString *text)
{
    return restoreWordReminder(*openWordOptionsStore(), text);
}

WordReminderRestore wordReminderRestoreMode()
{
    return wordReminderRestoreMode(*openWordOptionsStore());
}
