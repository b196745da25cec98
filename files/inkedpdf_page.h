#pragma once

#include "files/inkcontent.h"
#include "files/inkedpdf.h"
#include "files/inkedpdf_nesting.h"

#include <qpdf/QPDF.hh>
#include <qpdf/QPDFPageObjectHelper.hh>

// The streams of n "q"s or n "Q"s, made once per document and count.
class WrapStreams
{
public:
    explicit WrapStreams(QPDF &pdf) : m_pdf(pdf) {}
    QPDFObjectHandle opening(int count);
    QPDFObjectHandle closing(int count);

private:
    QPDF &m_pdf;
    QMap<int, QPDFObjectHandle> m_opening;
    QMap<int, QPDFObjectHandle> m_closing;
};

// One inked page of the document being written: where its visible area
// lies, and the streams that lay the ink over its original content.
class InkLayer
{
public:
    InkLayer(QPDF &pdf, QPDFPageObjectHelper page);

    const PageFrame &frame() const { return m_frame; }

    // Adds an ExtGState for each alpha below 255 to the page's resources and
    // returns their names by alpha.
    QMap<int, QByteArray> addAlphaStates(const QList<int> &alphas);

    // The page's content streams as they are (none for an empty page).
    std::vector<QPDFObjectHandle> originalContents();
    // The page's content decoded and joined; false when qpdf could not read
    // it cleanly (an error or a warning).
    bool decodeContents(std::string *content);

    // Wraps the original content in q … Q so its graphics state cannot
    // reach the ink, and appends ink, the stream that draws it. Content that
    // did not read cleanly is kept whole inside a form of its own instead,
    // so an unfinished token cannot swallow the ink. wraps hands out the
    // small q and Q streams, shared by all pages.
    void attach(QPDFObjectHandle ink, WrapStreams &wraps, const ContentNesting &nesting);

private:
    QPDFObjectHandle resources();
    QByteArray addResource(const char *category, const QByteArray &stem, QPDFObjectHandle value);
    bool containOriginal(std::vector<QPDFObjectHandle> *contents);

    QPDF &m_pdf;
    QPDFPageObjectHelper m_page;
    PageFrame m_frame;
    QPDFObjectHandle m_resources;
};
