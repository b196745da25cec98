// Every qpdf call of the appended update stays in this file, and no
// exception leaves it.
#include "files/pageappend.h"

#include "platform/filesync.h"

#include <QFile>
#include <QSaveFile>

#include <qpdf/QPDF.hh>
#include <qpdf/QPDFExc.hh>
#include <qpdf/QPDFPageObjectHelper.hh>

#include <algorithm>
#include <future>
#include <cmath>
#include <map>
#include <vector>

namespace {

constexpr qint64 kTailBytes = 2048;

QByteArray bytes(const std::string &s)
{
    return QByteArray(s.data(), qsizetype(s.size()));
}

QByteArray num(double v)
{
    return QByteArray::number(std::round(v * 100) / 100, 'f', 2);
}

// A node of the page tree on the way to the page, with where it goes next.
struct Step
{
    QPDFObjectHandle node;
    int kid = 0; // the index in its /Kids of the next step (or the page)
};

// The nodes from the root down to the parent of page index after; false
// when the tree's counts do not lead there.
bool pathToPage(QPDFObjectHandle root, int after, std::vector<Step> *path, QPDFObjectHandle *page)
{
    QPDFObjectHandle node = root;
    int remaining = after;
    for (int depth = 0; depth < 64; ++depth) {
        QPDFObjectHandle kids = node.getKey("/Kids");
        if (!kids.isArray())
            return false;
        const int n = kids.getArrayNItems();
        bool descended = false;
        for (int i = 0; i < n; ++i) {
            QPDFObjectHandle kid = kids.getArrayItem(i);
            if (!kid.isDictionary() || !kid.isIndirect())
                return false;
            if (kid.getKey("/Kids").isArray()) {
                QPDFObjectHandle count = kid.getKey("/Count");
                if (!count.isInteger() || count.getIntValue() < 0)
                    return false;
                if (remaining < count.getIntValue()) {
                    path->push_back(Step{ node, i });
                    node = kid;
                    descended = true;
                    break;
                }
                remaining -= int(count.getIntValue());
            } else if (remaining == 0) {
                path->push_back(Step{ node, i });
                *page = kid;
                return true;
            } else {
                --remaining;
            }
        }
        if (!descended)
            return false;
    }
    return false;
}

QSizeF shownSize(QPDFObjectHandle page)
{
    QPDFPageObjectHelper helper(page);
    const QPDFObjectHandle::Rectangle box = helper.getCropBox(false, false).getArrayAsRectangle();
    QSizeF size(std::abs(box.urx - box.llx), std::abs(box.ury - box.lly));
    QPDFObjectHandle rotate = helper.getAttribute("/Rotate", false);
    if (rotate.isInteger() && ((rotate.getIntValue() % 180) + 180) % 180 == 90)
        size.transpose();
    if (size.width() < 72 || size.height() < 72)
        return boardPageSize();
    return size;
}

// The dictionary of node written out again, with /Count one more and, when
// kids is given, /Kids replaced by it.
QByteArray changedNode(QPDFObjectHandle node, const QByteArray &kids)
{
    QByteArray out("<<");
    for (const std::string &key : node.getKeys()) {
        out += ' ' + bytes(QPDFObjectHandle::newName(key).unparse()) + ' ';
        if (key == "/Count")
            out += QByteArray::number(node.getKey(key).getIntValue() + 1);
        else if (key == "/Kids" && !kids.isEmpty())
            out += kids;
        else
            out += bytes(node.getKey(key).unparse());
    }
    return out + " >>";
}

// The offset the file's last cross-reference section starts at, and
// whether it is a table (else a stream).
bool lastXref(const QString &path, qint64 *offset, bool *table, qint64 *size)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    *size = file.size();
    file.seek(std::max<qint64>(0, *size - kTailBytes));
    const QByteArray tail = file.readAll();
    const qsizetype at = tail.lastIndexOf("startxref");
    if (at < 0)
        return false;
    bool ok = false;
    *offset = tail.mid(at + 9).trimmed().split('\n').value(0).trimmed().split('\r').value(0).toLongLong(&ok);
    if (!ok || *offset <= 0 || *offset >= *size)
        return false;
    file.seek(*offset);
    *table = file.read(4) == "xref";
    return true;
}

AppendOutcome build(const PageInsertRequest &request, QByteArray *update, qint64 *sourceSize)
{
    qint64 prev = 0;
    qint64 &fileSize = *sourceSize;
    bool table = false;
    if (!lastXref(request.sourcePath, &prev, &table, &fileSize))
        return AppendOutcome::NotSuitable;
    QPDF pdf;
    pdf.setSuppressWarnings(true);
    // A file that needs repair is rewritten whole instead.
    pdf.setAttemptRecovery(false);
    const QByteArray path = QFile::encodeName(request.sourcePath);
    pdf.processFile(path.constData(), request.password.toUtf8().constData());
    if (pdf.isEncrypted())
        return AppendOutcome::NotSuitable;
    QPDFObjectHandle trailer = pdf.getTrailer();
    QPDFObjectHandle size = trailer.getKey("/Size");
    QPDFObjectHandle root = pdf.getRoot().getKey("/Pages");
    if (!size.isInteger() || !root.isDictionary() || !root.isIndirect())
        return AppendOutcome::NotSuitable;
    std::vector<Step> steps;
    QPDFObjectHandle page;
    if (!pathToPage(root, request.after, &steps, &page))
        return AppendOutcome::NotSuitable;

    const int contentNumber = int(size.getIntValue());
    const int pageNumber = contentNumber + 1;
    const QSizeF pageSize = shownSize(page);
    const QByteArray content = boardPageContent(request.style, pageSize);
    std::map<int, std::pair<int, QByteArray>> objects; // number -> (generation, body)
    objects[contentNumber] = { 0, "<< /Length " + QByteArray::number(content.size()) + " >>\nstream\n" + content
                                      + "\nendstream" };
    const QByteArray box = "[0 0 " + num(pageSize.width()) + ' ' + num(pageSize.height()) + ']';
    Step &parent = steps.back();
    // Nothing inherited from the tree may turn or crop the new page.
    objects[pageNumber] = { 0, "<< /Type /Page /Parent " + QByteArray::number(parent.node.getObjectID()) + ' '
                                   + QByteArray::number(parent.node.getGeneration()) + " R /MediaBox " + box
                                   + " /CropBox " + box + " /Rotate 0 /Resources << >> /Contents "
                                   + QByteArray::number(contentNumber) + " 0 R >>" };
    QByteArray kids("[");
    QPDFObjectHandle oldKids = parent.node.getKey("/Kids");
    for (int i = 0; i < oldKids.getArrayNItems(); ++i) {
        kids += ' ' + bytes(oldKids.getArrayItem(i).unparse());
        if (i == parent.kid)
            kids += ' ' + QByteArray::number(pageNumber) + " 0 R";
    }
    kids += " ]";
    for (Step &step : steps) {
        const QPDFObjGen id = step.node.getObjGen();
        if (objects.count(id.getObj()))
            return AppendOutcome::NotSuitable;
        objects[id.getObj()] = { id.getGen(), changedNode(step.node, &step == &parent ? kids : QByteArray()) };
    }

    // The update: the objects, then the cross-reference section.
    QByteArray out("\n");
    std::map<int, std::pair<int, qint64>> offsets;
    for (const auto &[number, object] : objects) {
        offsets[number] = { object.first, fileSize + out.size() };
        out += QByteArray::number(number) + ' ' + QByteArray::number(object.first) + " obj\n" + object.second
            + "\nendobj\n";
    }
    const int newSize = pageNumber + (table ? 1 : 2);
    QByteArray tail;
    for (const std::string &key : trailer.getKeys()) {
        static const char *const kDropped[] = { "/Prev", "/Size", "/XRefStm", "/Type", "/W", "/Index",
                                                "/Filter", "/DecodeParms", "/Length" };
        if (std::any_of(std::begin(kDropped), std::end(kDropped), [&key](const char *k) { return key == k; }))
            continue;
        tail += ' ' + bytes(QPDFObjectHandle::newName(key).unparse()) + ' ' + bytes(trailer.getKey(key).unparse());
    }
    tail += " /Size " + QByteArray::number(newSize) + " /Prev " + QByteArray::number(prev);
    const qint64 xrefAt = fileSize + out.size();
    if (table) {
        out += "xref\n";
        for (const auto &[number, entry] : offsets)
            out += QByteArray::number(number) + " 1\n" + QByteArray::number(entry.second).rightJustified(10, '0')
                + ' ' + QByteArray::number(entry.first).rightJustified(5, '0') + " n \n";
        out += "trailer\n<<" + tail + " >>\n";
    } else {
        const int xrefNumber = pageNumber + 1;
        offsets[xrefNumber] = { 0, xrefAt };
        QByteArray index;
        QByteArray rows;
        for (const auto &[number, entry] : offsets) {
            index += QByteArray::number(number) + " 1 ";
            rows += char(1);
            for (int shift = 56; shift >= 0; shift -= 8)
                rows += char((quint64(entry.second) >> shift) & 0xff);
            rows += char((entry.first >> 8) & 0xff);
            rows += char(entry.first & 0xff);
        }
        out += QByteArray::number(xrefNumber) + " 0 obj\n<< /Type /XRef /W [1 8 2] /Index [" + index.trimmed()
            + "] /Length " + QByteArray::number(rows.size()) + tail + " >>\nstream\n" + rows + "\nendstream\nendobj\n";
    }
    out += "startxref\n" + QByteArray::number(xrefAt) + "\n%%EOF\n";
    *update = out;
    return AppendOutcome::Written;
}

} // namespace

AppendOutcome appendBlankPage(const PageInsertRequest &request, QString *error)
{
    // The original bytes go into the target on the second core while qpdf
    // reads the structure here.
    QSaveFile target(request.target);
    if (!target.open(QIODevice::WriteOnly)) {
        *error = QStringLiteral("无法写入 %1：%2").arg(request.target, target.errorString());
        return AppendOutcome::Failed;
    }
    auto copied = std::async(std::launch::async, [&request, &target]() -> qint64 {
        QFile source(request.sourcePath);
        if (!source.open(QIODevice::ReadOnly))
            return -1;
        const QByteArray original = source.readAll();
        if (target.write(original) != original.size() || !target.flush())
            return -1;
        // The bulk reaches the disk now, so the commit waits only for the update.
        syncFileData(target.handle());
        return original.size();
    });
    QByteArray update;
    qint64 sourceSize = 0;
    AppendOutcome outcome = AppendOutcome::NotSuitable;
    try {
        outcome = build(request, &update, &sourceSize);
    } catch (const std::exception &) {
        // The full rewrite reads it again, repairing what it can.
        outcome = AppendOutcome::NotSuitable;
    }
    const qint64 written = copied.get();
    if (outcome != AppendOutcome::Written) {
        target.cancelWriting();
        return outcome;
    }
    // The update points into these bytes: they must be the ones read.
    if (written != sourceSize) {
        target.cancelWriting();
        *error = written < 0 ? QStringLiteral("写入 %1 失败：%2").arg(request.target, target.errorString())
                             : QStringLiteral("%1 在插入时被改动").arg(request.sourcePath);
        return AppendOutcome::Failed;
    }
    if (target.write(update) != update.size() || !target.commit()) {
        *error = QStringLiteral("写入 %1 失败：%2").arg(request.target, target.errorString());
        return AppendOutcome::Failed;
    }
    return AppendOutcome::Written;
}
