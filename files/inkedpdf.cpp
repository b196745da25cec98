// The inked PDF that keeps the original, written with qpdf's object model.
// Every qpdf call stays inside this file, and no exception leaves it.
#include "files/inkedpdf.h"

#include "files/inkcontent.h"
#include "files/inkedpdf_ink.h"
#include "files/inkedpdf_page.h"

#include <QFile>
#include <QSaveFile>

#include <qpdf/Pipeline.hh>
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFExc.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>
#include <qpdf/QPDFWriter.hh>

#include <cmath>
#include <memory>
#include <stdexcept>

namespace {

// Share of the progress taken by preparing the inked pages; writing the
// file takes the rest.
constexpr double kPrepareShare = 0.3;
// The viewer and qpdf read the same boxes; anything beyond rounding means
// they do not see the same page.
constexpr double kSizeTolerancePt = 0.5;

// Thrown through qpdf when the export is cancelled.
struct ExportStopped
{
};

// qpdf's output, written into the save file: a full disk or a file-size
// limit ends the export with the system's reason. qpdf finishes pipelines
// in destructors, so nothing here throws: after a failure or a cancel the
// rest is dropped and the caller looks at failure() and stopped().
class SaveFilePipeline : public Pipeline
{
public:
    SaveFilePipeline(QSaveFile *file, const std::function<bool()> &cancelled)
        : Pipeline("lectern-save", nullptr), m_file(file), m_cancelled(cancelled)
    {
        m_buffer.reserve(kChunkBytes);
    }

    void write(unsigned char const *data, size_t len) override
    {
        if (!m_failure.isEmpty() || m_stopped)
            return;
        m_buffer.append(reinterpret_cast<const char *>(data), qsizetype(len));
        if (m_buffer.size() >= kChunkBytes)
            drain();
    }
    void finish() override { drain(); }
    const QString &failure() const { return m_failure; }
    bool stopped() const { return m_stopped; }

private:
    // The file is unbuffered, so a failed write leaves the system's reason.
    static constexpr qsizetype kChunkBytes = 1 << 20;

    void drain()
    {
        if (!m_failure.isEmpty() || m_stopped)
            return;
        if (m_cancelled && m_cancelled()) {
            m_stopped = true;
            return;
        }
        for (qsizetype done = 0; done < m_buffer.size();) {
            const qint64 n = m_file->write(m_buffer.constData() + done, m_buffer.size() - done);
            if (n <= 0) {
                m_failure = m_file->errorString();
                return;
            }
            done += n;
        }
        m_buffer.clear();
    }

    QSaveFile *m_file;
    std::function<bool()> m_cancelled;
    QByteArray m_buffer;
    QString m_failure;
    bool m_stopped = false;
};

class Progress : public QPDFWriter::ProgressReporter
{
public:
    explicit Progress(const InkedPdfRequest &request) : m_request(request) {}
    void reportProgress(int percent) override
    {
        if (m_request.cancelled && m_request.cancelled())
            throw ExportStopped();
        if (m_request.progress)
            m_request.progress(kPrepareShare + (1 - kPrepareShare) * percent / 100.0);
    }

private:
    const InkedPdfRequest &m_request;
};

bool openSource(QPDF &pdf, const InkedPdfRequest &request)
{
    pdf.setSuppressWarnings(true);
    pdf.setAttemptRecovery(true);
    const QByteArray path = QFile::encodeName(request.sourcePath);
    const QByteArray utf8 = request.password.toUtf8();
    try {
        pdf.processFile(path.constData(), utf8.constData());
        return true;
    } catch (const QPDFExc &e) {
        // Older encryption takes the password's bytes as Latin-1.
        if (e.getErrorCode() != qpdf_e_password || request.password.isEmpty())
            throw;
    }
    const QByteArray latin1 = request.password.toLatin1();
    if (latin1 == utf8 || QString::fromLatin1(latin1) != request.password)
        return false;
    pdf.processFile(path.constData(), latin1.constData());
    return true;
}

QString sizeText(const QSizeF &size)
{
    return QStringLiteral("%1×%2").arg(size.width(), 0, 'f', 1).arg(size.height(), 0, 'f', 1);
}

// Outcome of the work inside qpdf; Written still needs the commit.
InkedPdfOutcome buildAndWrite(const InkedPdfRequest &request, QSaveFile *file, QString *reason,
                              QString *writeFailure)
{
    QPDF pdf;
    if (!openSource(pdf, request)) {
        *reason = QStringLiteral("密码不符");
        return InkedPdfOutcome::Refused;
    }
    std::vector<QPDFPageObjectHelper> pages = QPDFPageDocumentHelper(pdf).getAllPages();
    if (qsizetype(pages.size()) != request.shownSizes.size()) {
        *reason = QStringLiteral("页数不符（%1 / %2）").arg(pages.size()).arg(request.shownSizes.size());
        return InkedPdfOutcome::Refused;
    }

    // Where each inked page shows, checked against what the viewer showed.
    std::vector<InkLayer> layers;
    std::vector<InkStreamMaker::Job> jobs;
    for (const InkedPage &page : request.inkedPages) {
        if (page.index < 0 || page.index >= qsizetype(pages.size())) {
            *reason = QStringLiteral("第 %1 页不存在").arg(page.index + 1);
            return InkedPdfOutcome::Refused;
        }
        layers.emplace_back(pdf, pages.at(size_t(page.index)));
        InkLayer &layer = layers.back();
        const QSizeF expected = request.shownSizes.at(page.index);
        const QSizeF shown = layer.frame().shown;
        if (std::abs(shown.width() - expected.width()) > kSizeTolerancePt
            || std::abs(shown.height() - expected.height()) > kSizeTolerancePt) {
            *reason = QStringLiteral("第 %1 页尺寸不符（%2 / %3）")
                          .arg(page.index + 1)
                          .arg(sizeText(shown), sizeText(expected));
            return InkedPdfOutcome::Refused;
        }
        jobs.push_back(InkStreamMaker::Job{page.index, layer.frame(), layer.addAlphaStates(page.alphas)});
    }

    // The ink is drawn on the second core meanwhile, and the original
    // contents are read there for their nesting as they are decoded here.
    InkStreamMaker maker(request.marks, std::move(jobs));
    const size_t inked = layers.size();
    std::vector<ContentNesting> nesting(inked);
    {
        NestingScanner scanner;
        constexpr size_t kNoTicket = size_t(-1);
        std::vector<size_t> tickets(inked, kNoTicket);
        for (size_t i = 0; i < inked; ++i) {
            if (request.cancelled && request.cancelled())
                return InkedPdfOutcome::Cancelled;
            std::string content;
            if (layers[i].originalContents().empty())
                continue;
            if (layers[i].decodeContents(&content))
                tickets[i] = scanner.add(std::move(content));
            else
                nesting[i].broken = true;
            if (request.progress)
                request.progress(kPrepareShare * double(i + 1) / double(inked));
        }
        for (size_t i = 0; i < inked; ++i) {
            if (tickets[i] != kNoTicket)
                nesting[i] = scanner.result(tickets[i]);
        }
    }
    WrapStreams wraps(pdf);
    for (size_t i = 0; i < inked; ++i) {
        QPDFObjectHandle ink = pdf.newStream();
        ink.replaceStreamData(
            [&maker, i](Pipeline *pipeline) {
                const QByteArray bytes = maker.stream(i);
                if (bytes.isEmpty())
                    throw std::runtime_error("ink stream missing");
                pipeline->write(reinterpret_cast<const unsigned char *>(bytes.constData()), size_t(bytes.size()));
                pipeline->finish();
            },
            QPDFObjectHandle::newName("/FlateDecode"), QPDFObjectHandle::newNull());
        layers[i].attach(ink, wraps, nesting[i]);
    }

    SaveFilePipeline out(file, request.cancelled);
    QPDFWriter writer(pdf);
    writer.setOutputPipeline(&out);
    writer.setObjectStreamMode(qpdf_o_generate);
    writer.setCompressStreams(true);
    writer.setPreserveEncryption(true);
    writer.registerProgressReporter(std::make_shared<Progress>(request));
    try {
        writer.write();
    } catch (const std::exception &) {
        if (out.failure().isEmpty() && !out.stopped())
            throw;
    }
    if (!out.failure().isEmpty()) {
        *writeFailure = out.failure();
        return InkedPdfOutcome::Failed;
    }
    return out.stopped() ? InkedPdfOutcome::Cancelled : InkedPdfOutcome::Written;
}

} // namespace

InkedPdfOutcome writeInkedPdf(const InkedPdfRequest &request, QString *error)
{
    QString message;
    QString *out = error ? error : &message;
    QSaveFile file(request.target);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
        *out = QStringLiteral("无法写入 %1：%2").arg(request.target, file.errorString());
        return InkedPdfOutcome::Failed;
    }
    QString reason;
    QString writeFailure;
    InkedPdfOutcome outcome = InkedPdfOutcome::Refused;
    try {
        outcome = buildAndWrite(request, &file, &reason, &writeFailure);
    } catch (const ExportStopped &) {
        outcome = InkedPdfOutcome::Cancelled;
    } catch (const std::exception &e) {
        outcome = InkedPdfOutcome::Refused;
        reason = QString::fromLocal8Bit(e.what()).left(400);
    }
    switch (outcome) {
    case InkedPdfOutcome::Written:
        if (!file.commit()) {
            *out = QStringLiteral("提交 %1 失败：%2").arg(request.target, file.errorString());
            return InkedPdfOutcome::Failed;
        }
        out->clear();
        return outcome;
    case InkedPdfOutcome::Failed:
        *out = QStringLiteral("写入 %1 失败：%2").arg(request.target, writeFailure);
        break;
    case InkedPdfOutcome::Refused:
        *out = reason;
        break;
    case InkedPdfOutcome::Cancelled:
        out->clear();
        break;
    }
    file.cancelWriting(); // the temporary file goes; the target stays as it was
    return outcome;
}
