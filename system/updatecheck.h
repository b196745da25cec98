#pragma once

#include <QMetaType>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QUrl>

class QNetworkAccessManager;
class QNetworkReply;

// Asks the release host whether a newer release exists: one HEAD request to
// the latest-release address, whose redirect names the release tag. Nothing
// is downloaded and nothing leaves the machine until check() is called.
namespace UpdateCheck {

struct Result
{
    enum Status { UpToDate = 0, NewerFound = 1, Failed = 2 };
    Status status = Failed;
    QString latestTag;
    QUrl releasePage;
    QString error;
};

// The release host's addresses. LECTERN_UPDATE_URL replaces the
// latest-release address when it names a loopback host (tests and
// --selftest-update use a local server); any other value is ignored.
QUrl latestReleaseUrl();
QUrl releasesUrl();
QUrl projectHomeUrl();

// Negative, 0 or positive. Both sides: trimmed, one leading "v"/"V" dropped,
// leading dot-separated numbers compared numerically, the rest ignored; a
// missing component is less than a present one (1.2 < 1.2.0 < 1.2.1).
int compareVersions(const QString &a, const QString &b);

// Turns an HTTP answer into a result: status code, raw Location header,
// the running version and the address that was asked. The release page is
// the redirect target only when it is an https page on the host asked
// (plain http too when that host is a loopback test server); otherwise it
// is releasesUrl(). An overlong Location or tag finds no release.
Result interpretAnswer(int httpStatus, const QByteArray &location, const QString &currentVersion,
                       const QUrl &requested);

class Checker : public QObject
{
    Q_OBJECT
public:
    static constexpr int kTransferTimeoutMs = 10000;

    explicit Checker(QObject *parent = nullptr);
    ~Checker() override;

    // Ignored while a check is in flight.
    void check(const QString &currentVersion);
    bool isBusy() const { return !m_reply.isNull(); }
    // Tests shorten the wait for a host that never answers.
    void setTransferTimeout(int ms) { m_timeoutMs = ms; }

signals:
    // Exactly once per started check.
    void finished(const UpdateCheck::Result &result);

private:
    void onReplyFinished();

    QNetworkAccessManager *m_manager = nullptr;
    QPointer<QNetworkReply> m_reply;
    QString m_currentVersion;
    QUrl m_requested;
    int m_timeoutMs = kTransferTimeoutMs;
};

} // namespace UpdateCheck

Q_DECLARE_METATYPE(UpdateCheck::Result)

// --selftest-update: one check against LECTERN_UPDATE_URL as version; prints
// the result and PASS or FAIL. Returns the exit code.
int runUpdateSelfTest(const QString &version);
