#pragma once

#include <QString>
#include <QStringList>
#include <QVariant>

#include <memory>

// Word may pop up "not the default program" and so block automation. The
// reminder is switched off in Word's own options (one key per installed
// Office version), with a backup of the previous values so that the change
// can be undone exactly.

// A registry-like store: keys hold subkeys and named values. The program
// uses the system's (openWordOptionsStore); tests give a fake one.
class KeyValueStore
{
public:
    virtual ~KeyValueStore() = default;
    virtual QStringList subkeys(const QString &key) const = 0;
    virtual bool hasValue(const QString &key, const QString &name) const = 0;
    virtual QVariant value(const QString &key, const QString &name) const = 0;
    virtual void setValue(const QString &key, const QString &name, const QVariant &value) = 0;
    virtual void removeValue(const QString &key, const QString &name) = 0;
    // Writes key's pending changes; false on a store error.
    virtual bool flush(const QString &key) = 0;
};

// Where Office keeps its versions, and where the program keeps its backup.
QString officeKey();
QString wordOptionsKey(const QString &version);
QString lecternKey();
QString wordNagBackupName();

enum class WordReminderRestore { FromBackup, ToWordDefaults, Nothing };

// Silences the reminder in every Office version, writing the backup first
// unless one exists (it always describes the state before the first change).
bool silenceWordReminder(KeyValueStore &store, QString *error = nullptr);
// Restores from the backup, or to Word's defaults when there is none but the
// reminder is silenced. text gets the error, or a note for the user.
bool restoreWordReminder(KeyValueStore &store, QString *text = nullptr);
WordReminderRestore wordReminderRestoreMode(const KeyValueStore &store);

// The same on the system's store.
bool silenceWordReminder(QString *error = nullptr);
bool restoreWordReminder(QString *text = nullptr);
WordReminderRestore wordReminderRestoreMode();

// The system's store (platform file): on Linux only the program's own key
// exists, held in the settings store; Office keys are absent.
std::unique_ptr<KeyValueStore> openWordOptionsStore();
