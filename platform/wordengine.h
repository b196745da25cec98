#pragma once

#include <QString>
#include <QStringList>

class QProcess;

// What the Word conversion needs from the operating system.

// Word or WPS answers to automation here (only ever on Windows).
bool hasWordOrWps();
// Runs Word/WPS automation: source exported as PDF to target. Empty on
// success, else the Chinese message.
QString runWordAutomation(const QString &source, const QString &target);

// soffice relative to the program's own folder, as bundled.
QString bundledSofficeRelativePath();
// The executable names searched for on PATH, in order.
QStringList sofficeExecutableNames();
// Places a system install keeps soffice (program-files folders, uninstall
// registrations), first choice first; only existing files.
QStringList installedSofficeCandidates();

// The desktop's default handler for .docx (a ProgId or a desktop-entry id);
// empty when unknown.
QString defaultDocxHandler();

// LibreOffice forks helpers of its own: the child and everything it starts
// share one process group, so a kill reaches all of them. The child also
// dies with the program; helpers it forked are ended at the next start
// (endOrphanedProcessGroups).
void runInOwnProcessGroup(QProcess &process);
// Ends the converters a program that died left behind: every process group
// that holds a process with an argument starting with argumentPrefix and
// whose leader (the child the program started) is gone. Returns how many
// groups were ended.
int endOrphanedProcessGroups(const QByteArray &argumentPrefix);
// Kills every process of the group led by the child with process id
// groupLeader, the child itself included, even after the child has exited
// (a helper it forked may still run).
void killProcessGroup(qint64 groupLeader);
