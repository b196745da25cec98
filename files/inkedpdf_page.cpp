// One inked page: its visible frame, the q … Q wrapping of the original
// content and the appended ink stream.
#include "files/inkedpdf_page.h"

#include <qpdf/Pl_Buffer.hh>
#include <qpdf/QPDFObjectHandle.hh>

#include <algorithm>
#include <string>

namespace {

// More nesting than any real page uses: such content is treated as broken.
constexpr int kMaxNesting = 4096;

// A rectangle as the viewers read one: the first four entries of an array,
// anything that is not a number counting as 0. Null for anything shorter.
QRectF boxFrom(QPDFObjectHandle box)
{
    if (!box.isArray() || box.getArrayNItems() < 4)
        return QRectF();
    double v[4] = {0, 0, 0, 0};
    for (int i = 0; i < 4; ++i) {
        QPDFObjectHandle item = box.getArrayItem(i);
        if (item.isNumber())
            v[i] = item.getNumericValue();
    }
    return QRectF(QPointF(v[0], v[1]), QPointF(v[2], v[3])).normalized();
}

int rotationOf(QPDFPageObjectHelper &page)
{
    QPDFObjectHandle rotate = page.getAttribute("/Rotate", false);
    if (!rotate.isNumber())
        return 0;
    const double value = rotate.getNumericValue();
    return value > -1e9 && value < 1e9 ? int(value) : 0;
}

QPDFObjectHandle number(double v)
{
    return QPDFObjectHandle::newReal(v, 2, true);
}

} // namespace

InkLayer::InkLayer(QPDF &pdf, QPDFPageObjectHelper page) : m_pdf(pdf), m_page(page)
{
    m_frame = pageFrame(rotationOf(m_page), boxFrom(m_page.getAttribute("/MediaBox", false)),
                        boxFrom(m_page.getAttribute("/CropBox", false)));
}

QPDFObjectHandle InkLayer::resources()
{
    if (m_resources.isInitialized())
        return m_resources;
    // A copy of its own when shared or inherited: other pages stay as they were.
    QPDFObjectHandle res = m_page.getAttribute("/Resources", true);
    if (!res.isDictionary()) {
        res = QPDFObjectHandle::newDictionary();
        m_page.getObjectHandle().replaceKey("/Resources", res);
    }
    m_resources = res;
    return res;
}

// Adds value under a name unused in the page's resources of category and
// returns that name (without the slash).
QByteArray InkLayer::addResource(const char *category, const QByteArray &stem, QPDFObjectHandle value)
{
    QPDFObjectHandle res = resources();
    QPDFObjectHandle group = res.getKey(category);
    // Copied even when direct: a shallow copy of shared resources may still
    // share the dictionaries inside.
    group = group.isDictionary() ? group.shallowCopy() : QPDFObjectHandle::newDictionary();
    QByteArray name = stem;
    for (int n = 2; group.hasKey("/" + name.toStdString()); ++n)
        name = stem + QByteArray::number(n);
    group.replaceKey("/" + name.toStdString(), value);
    res.replaceKey(category, group);
    return name;
}

// The original content as one form XObject: decoded and joined when qpdf
// can read it, else a lone stream copied with its filters as it is.
bool InkLayer::containOriginal(std::vector<QPDFObjectHandle> *contents)
{
    QPDFObjectHandle form;
    try {
        Pl_Buffer buffer("original content");
        m_page.pipeContents(&buffer);
        std::shared_ptr<Buffer> data = buffer.getBufferSharedPointer();
        form = m_pdf.newStream(std::string(reinterpret_cast<const char *>(data->getBuffer()), data->getSize()));
    } catch (const std::exception &) {
        QPDFObjectHandle original = m_page.getObjectHandle().getKey("/Contents");
        if (!original.isStream())
            return false;
        QPDFObjectHandle dict = original.getDict();
        std::shared_ptr<Buffer> raw = original.getRawStreamData();
        form = m_pdf.newStream();
        form.replaceStreamData(std::string(reinterpret_cast<const char *>(raw->getBuffer()), raw->getSize()),
                               dict.getKey("/Filter"), dict.getKey("/DecodeParms"));
    }
    const QRectF box = m_frame.toUser.mapRect(QRectF(QPointF(0, 0), m_frame.shown));
    QPDFObjectHandle formDict = form.getDict();
    formDict.replaceKey("/Type", QPDFObjectHandle::newName("/XObject"));
    formDict.replaceKey("/Subtype", QPDFObjectHandle::newName("/Form"));
    formDict.replaceKey("/BBox", QPDFObjectHandle::newArray(std::vector<QPDFObjectHandle>{
                                     number(box.left()), number(box.top()), number(box.right()),
                                     number(box.bottom())}));
    // The resources as they are now, before the form itself joins them.
    formDict.replaceKey("/Resources", resources().shallowCopy());
    const QByteArray name = addResource("/XObject", "LecternPage", form);
    contents->clear();
    contents->push_back(m_pdf.newStream("q /" + name.toStdString() + " Do Q\n"));
    return true;
}

QPDFObjectHandle WrapStreams::opening(int count)
{
    auto it = m_opening.find(count);
    if (it == m_opening.end())
        it = m_opening.insert(count, m_pdf.newStream(wrapOpening(count).toStdString()));
    return it.value();
}

QPDFObjectHandle WrapStreams::closing(int count)
{
    auto it = m_closing.find(count);
    if (it == m_closing.end())
        it = m_closing.insert(count, m_pdf.newStream(wrapClosing(count).toStdString()));
    return it.value();
}

QMap<int, QByteArray> InkLayer::addAlphaStates(const QList<int> &alphas)
{
    QMap<int, QByteArray> states;
    for (int alpha : alphas) {
        if (alpha < 0 || alpha >= 255 || states.contains(alpha))
            continue;
        const double a = alpha / 255.0;
        QPDFObjectHandle state = QPDFObjectHandle::newDictionary();
        state.replaceKey("/Type", QPDFObjectHandle::newName("/ExtGState"));
        state.replaceKey("/ca", number(a));
        state.replaceKey("/CA", number(a));
        states.insert(alpha, addResource("/ExtGState", "LecternAlpha" + QByteArray::number(alpha), state));
    }
    return states;
}

std::vector<QPDFObjectHandle> InkLayer::originalContents()
{
    QPDFObjectHandle original = m_page.getObjectHandle().getKey("/Contents");
    if (original.isArray())
        return original.getArrayAsVector();
    if (original.isStream())
        return {original};
    return {};
}

bool InkLayer::decodeContents(std::string *content)
{
    const size_t warningsBefore = m_pdf.numWarnings();
    try {
        Pl_Buffer buffer("page content");
        m_page.pipeContents(&buffer);
        std::shared_ptr<Buffer> data = buffer.getBufferSharedPointer();
        content->assign(reinterpret_cast<const char *>(data->getBuffer()), data->getSize());
    } catch (const std::exception &) {
        return false;
    }
    return m_pdf.numWarnings() == warningsBefore;
}

void InkLayer::attach(QPDFObjectHandle ink, WrapStreams &wraps, const ContentNesting &nesting)
{
    std::vector<QPDFObjectHandle> contents = originalContents();
    if (!contents.empty()) {
        const bool clean = !nesting.broken && nesting.deepest < kMaxNesting && -nesting.lowest < kMaxNesting;
        if (clean) {
            const int opening = 1 - nesting.lowest;
            contents.insert(contents.begin(), wraps.opening(opening));
            contents.push_back(wraps.closing(opening + nesting.depth));
        } else if (!containOriginal(&contents)) {
            // Neither parsed nor readable: the plain wrapping is the best left.
            contents.insert(contents.begin(), wraps.opening(1));
            contents.push_back(wraps.closing(1));
        }
    }
    contents.push_back(ink);
    // A new array of the page's own: a contents array shared with other
    // pages stays as it was.
    m_page.getObjectHandle().replaceKey("/Contents", QPDFObjectHandle::newArray(contents));
}
