// Every qpdf call of the page insertion stays in this file, and no exception
// leaves it.
#include "files/pageinsert.h"

#include <QFile>
#include <QSaveFile>

#include <qpdf/Buffer.hh>
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFExc.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>
#include <qpdf/QPDFWriter.hh>

#include <cmath>
#include <memory>

namespace {

bool openWithPassword(QPDF &pdf, const QString &sourcePath, const QString &password)
{
    pdf.setSuppressWarnings(true);
    pdf.setAttemptRecovery(true);
    const QByteArray path = QFile::encodeName(sourcePath);
    const QByteArray utf8 = password.toUtf8();
    try {
        pdf.processFile(path.constData(), utf8.constData());
        return true;
    } catch (const QPDFExc &e) {
        // Older encryption takes the password's bytes as Latin-1.
        if (e.getErrorCode() != qpdf_e_password || password.isEmpty())
            throw;
    }
    const QByteArray latin1 = password.toLatin1();
    if (latin1 == utf8 || QString::fromLatin1(latin1) != password)
        return false;
    pdf.processFile(path.constData(), latin1.constData());
    return true;
}

// The box the viewer shows of page, turned by its rotation.
QSizeF shownSize(QPDFPageObjectHelper &page)
{
    const QPDFObjectHandle::Rectangle box = page.getCropBox(false, false).getArrayAsRectangle();
    QSizeF size(std::abs(box.urx - box.llx), std::abs(box.ury - box.lly));
    long long rotate = 0;
    QPDFObjectHandle r = page.getAttribute("/Rotate", false);
    if (r.isInteger())
        rotate = r.getIntValue();
    if (((rotate % 180) + 180) % 180 == 90)
        size.transpose();
    // A page too small to write on gets a board's size instead.
    if (size.width() < 72 || size.height() < 72)
        return boardPageSize();
    return size;
}

bool build(const PageInsertRequest &request, std::shared_ptr<Buffer> *out, QString *reason)
{
    QPDF pdf;
    if (!openWithPassword(pdf, request.sourcePath, request.password)) {
        *reason = QStringLiteral("密码不符");
        return false;
    }
    QPDFPageDocumentHelper helper(pdf);
    std::vector<QPDFPageObjectHelper> pages = helper.getAllPages();
    if (request.after < 0 || request.after >= int(pages.size())) {
        *reason = QStringLiteral("第 %1 页不存在").arg(request.after + 1);
        return false;
    }
    // The new page takes the size of the page it follows.
    const QByteArray blank = boardPdfBytes(request.style, shownSize(pages.at(size_t(request.after))), 1);
    QPDF board;
    board.processMemoryFile("board", blank.constData(), size_t(blank.size()));
    QPDFPageObjectHelper page = QPDFPageDocumentHelper(board).getAllPages().front();
    helper.addPageAt(page, false, pages.at(size_t(request.after)));

    QPDFWriter writer(pdf);
    writer.setOutputMemory();
    // Streams go out as they came in: nothing is decoded or recompressed,
    // so a big book costs little more than copying it.
    writer.setStreamDataMode(qpdf_s_preserve);
    writer.setObjectStreamMode(qpdf_o_preserve);
    writer.setPreserveEncryption(true);
    writer.write();
    *out = writer.getBufferSharedPointer();
    return true;
}

} // namespace

bool insertBlankPage(const PageInsertRequest &request, QString *error)
{
    std::shared_ptr<Buffer> bytes;
    QString reason;
    bool built = false;
    try {
        built = build(request, &bytes, &reason);
    } catch (const std::exception &e) {
        reason = QString::fromLocal8Bit(e.what()).left(400);
    }
    if (!built || !bytes) {
        if (error)
            *error = QStringLiteral("无法插入空白页：%1").arg(reason);
        return false;
    }
    QSaveFile file(request.target);
    const qint64 size = qint64(bytes->getSize());
    if (!file.open(QIODevice::WriteOnly)
        || file.write(reinterpret_cast<const char *>(bytes->getBuffer()), size) != size || !file.commit()) {
        if (error)
            *error = QStringLiteral("无法写入 %1：%2").arg(request.target, file.errorString());
        return false;
    }
    return true;
}
