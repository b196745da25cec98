#include "system/updatecheck.h"

#include <QEventLoop>
#include <QHostAddress>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QRegularExpression>
#include <QTextStream>
#include <QTimer>

#include <cstdio>

namespace UpdateCheck {

namespace {

// Deployment setting: where releases are published.
constexpr char kProjectHome[] = "https://github.com/lectern-edu/lectern";

bool isAsciiDigit(QChar c) { return c >= QLatin1Char('0') && c <= QLatin1Char('9'); }

QString normalisedTag(const QString &text)
{
    QString s = text.trimmed();
    if (s.startsWith(QLatin1Char('v')) || s.startsWith(QLatin1Char('V')))
        s.remove(0, 1);
    return s;
}

// The leading dot-separated numbers, each without leading zeros. Numbers are
// kept as digit strings so that no component can overflow.
QStringList versionComponents(const QString &text)
{
    const QString s = normalisedTag(text);
    QStringList parts;
    int i = 0;
    while (i < s.size() && isAsciiDigit(s.at(i))) {
        int end = i;
        while (end < s.size() && isAsciiDigit(s.at(end)))
            ++end;
        QString digits = s.mid(i, end - i);
        while (digits.size() > 1 && digits.startsWith(QLatin1Char('0')))
            digits.remove(0, 1);
        parts.append(digits);
        if (end + 1 < s.size() && s.at(end) == QLatin1Char('.') && isAsciiDigit(s.at(end + 1)))
            i = end + 1;
        else
            break;
    }
    return parts;
}

int compareNumber(const QString &a, const QString &b)
{
    if (a.size() != b.size())
        return a.size() < b.size() ? -1 : 1;
    return a.compare(b);
}

const QRegularExpression &tagPattern()
{
    static const QRegularExpression pattern(QStringLiteral("/releases/tag/([^/?#]+)"));
    return pattern;
}

QString unexpectedAnswer(int status)
{
    return QStringLiteral("GitHub 返回了意外的结果（HTTP %1）").arg(status);
}

Result failed(const QString &error)
{
    Result result;
    result.error = error;
    return result;
}

// A real release page is a short address and a tag of a few characters;
// anything longer is no answer worth showing or opening.
constexpr int kMaxLocationLength = 2048;
constexpr int kMaxTagLength = 64;

bool isLoopback(const QUrl &url)
{
    const QString host = url.host();
    if (host.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0)
        return true;
    const QHostAddress address(host);
    return !address.isNull() && address.isLoopback();
}

// Only a page on the host that was asked, over https, is opened on a click
// (a loopback test host may answer over plain http). Anything else in the
// redirect, whoever put it there, gives the releases list instead.
QUrl safeReleasePage(const QUrl &page, const QUrl &requested)
{
    const bool schemeOk = page.scheme() == QLatin1String("https")
        || (isLoopback(requested) && page.scheme() == requested.scheme());
    const bool hostOk = page.host().compare(requested.host(), Qt::CaseInsensitive) == 0
        && page.port(-1) == requested.port(-1) && page.userInfo().isEmpty();
    return page.isValid() && schemeOk && hostOk ? page : releasesUrl();
}

// LECTERN_UPDATE_URL when it names a server on this machine, else empty:
// the variable must never send the check, and the teacher, elsewhere.
QUrl testServerUrl()
{
    const QUrl fromEnvironment(QString::fromLocal8Bit(qgetenv("LECTERN_UPDATE_URL")));
    if (fromEnvironment.isValid() && !fromEnvironment.isRelative() && isLoopback(fromEnvironment))
        return fromEnvironment;
    return QUrl();
}

} // namespace

QUrl latestReleaseUrl()
{
    const QUrl testServer = testServerUrl();
    if (!testServer.isEmpty())
        return testServer;
    return QUrl(QString::fromLatin1(kProjectHome) + QStringLiteral("/releases/latest"));
}

QUrl releasesUrl() { return QUrl(QString::fromLatin1(kProjectHome) + QStringLiteral("/releases")); }

QUrl projectHomeUrl() { return QUrl(QString::fromLatin1(kProjectHome)); }

int compareVersions(const QString &a, const QString &b)
{
    const QStringList left = versionComponents(a);
    const QStringList right = versionComponents(b);
    for (int i = 0; i < qMin(left.size(), right.size()); ++i) {
        if (const int c = compareNumber(left.at(i), right.at(i)))
            return c;
    }
    return int(left.size()) - int(right.size());
}

Result interpretAnswer(int httpStatus, const QByteArray &location, const QString &currentVersion,
                       const QUrl &requested)
{
    if (httpStatus < 300 || httpStatus > 399)
        return failed(unexpectedAnswer(httpStatus));
    const QString noRelease = QStringLiteral("没有找到已发布的版本");
    if (location.size() > kMaxLocationLength)
        return failed(noRelease);
    const QString locationText = QString::fromUtf8(location).trimmed();
    const QRegularExpressionMatch match = tagPattern().match(locationText);
    const QString tag = match.hasMatch()
        ? QUrl::fromPercentEncoding(match.captured(1).toUtf8())
        : QString();
    if (tag.isEmpty() || tag.size() > kMaxTagLength || versionComponents(tag).isEmpty())
        return failed(noRelease);

    Result result;
    result.latestTag = tag;
    const QUrl target(locationText, QUrl::TolerantMode);
    result.releasePage = safeReleasePage(target.isRelative() ? requested.resolved(target) : target, requested);
    result.status = compareVersions(tag, currentVersion) > 0 ? Result::NewerFound : Result::UpToDate;
    return result;
}

Checker::Checker(QObject *parent)
    : QObject(parent)
    , m_manager(new QNetworkAccessManager(this))
{
    qRegisterMetaType<UpdateCheck::Result>();
}

Checker::~Checker()
{
    // A reply cut off by our own end reports nothing.
    if (m_reply) {
        disconnect(m_reply, nullptr, this, nullptr);
        m_reply->abort();
    }
}

void Checker::check(const QString &currentVersion)
{
    if (m_reply)
        return;
    m_currentVersion = currentVersion;
    m_requested = latestReleaseUrl();
    QNetworkRequest request(m_requested);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
    request.setTransferTimeout(m_timeoutMs);
    request.setHeader(QNetworkRequest::UserAgentHeader, QStringLiteral("lectern/%1").arg(currentVersion));
    m_reply = m_manager->head(request);
    connect(m_reply, &QNetworkReply::finished, this, &Checker::onReplyFinished);
}

void Checker::onReplyFinished()
{
    QNetworkReply *reply = m_reply;
    m_reply.clear();
    if (!reply)
        return;
    reply->deleteLater();
    disconnect(reply, nullptr, this, nullptr);

    Result result;
    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (!status.isValid()) {
        const QNetworkReply::NetworkError error = reply->error();
        if (error == QNetworkReply::OperationCanceledError || error == QNetworkReply::TimeoutError)
            result = failed(QStringLiteral("连接 GitHub 超时"));
        else
            result = failed(QStringLiteral("无法连接 GitHub（%1）").arg(reply->errorString()));
    } else {
        result = interpretAnswer(status.toInt(), reply->rawHeader("Location"), m_currentVersion,
                                 m_requested);
    }
    emit finished(result);
}

} // namespace UpdateCheck

int runUpdateSelfTest(const QString &version)
{
    QTextStream out(stdout);
    if (UpdateCheck::testServerUrl().isEmpty()) {
        // A self-test must not reach the public host behind the user's back.
        out << "FAIL update: LECTERN_UPDATE_URL names no test server on this machine\n";
        return 1;
    }
    UpdateCheck::Checker checker;
    QEventLoop loop;
    int finishedCount = 0;
    UpdateCheck::Result last;
    QObject::connect(&checker, &UpdateCheck::Checker::finished, &loop,
                     [&](const UpdateCheck::Result &result) {
                         ++finishedCount;
                         last = result;
                         // Stay a moment so that a second report would be seen.
                         QTimer::singleShot(200, &loop, &QEventLoop::quit);
                     });
    checker.check(version);
    checker.check(version); // ignored while the first is in flight
    QTimer::singleShot(UpdateCheck::Checker::kTransferTimeoutMs + 5000, &loop, &QEventLoop::quit);
    loop.exec();

    static const char *const kNames[] = {"UpToDate", "NewerFound", "Failed"};
    out << "update current=" << version << " status=" << kNames[last.status]
        << " tag=" << last.latestTag << " page=" << last.releasePage.toString()
        << " error=" << last.error << " finished=" << finishedCount << '\n';
    const bool ok = finishedCount == 1 && last.status != UpdateCheck::Result::Failed;
    out << (ok ? "PASS" : "FAIL") << " update\n";
    return ok ? 0 : 1;
}
