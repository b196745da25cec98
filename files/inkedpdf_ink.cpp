#include "files/inkedpdf_ink.h"

#include <zlib.h>

#include <system_error>

namespace {

// Compressed quickly: the ink is a small part of the file, and the writer
// copies these bytes as they are.
QByteArray deflated(const QByteArray &text)
{
    uLongf size = compressBound(uLong(text.size()));
    QByteArray out(qsizetype(size), Qt::Uninitialized);
    if (compress2(reinterpret_cast<Bytef *>(out.data()), &size, reinterpret_cast<const Bytef *>(text.constData()),
                  uLong(text.size()), Z_BEST_SPEED)
        != Z_OK)
        return QByteArray();
    out.truncate(qsizetype(size));
    return out;
}

} // namespace

InkStreamMaker::InkStreamMaker(InkMarksSource marks, std::vector<Job> jobs)
    : m_marks(std::move(marks)), m_jobs(std::move(jobs)), m_streams(m_jobs.size())
{
    try {
        m_thread = std::thread([this] { run(); });
        m_threaded = true;
    } catch (const std::system_error &) {
        m_threaded = false; // no thread to spare: each stream is made when asked for
    }
}

InkStreamMaker::~InkStreamMaker()
{
    stop();
    if (m_thread.joinable())
        m_thread.join();
}

void InkStreamMaker::stop()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_stop = true;
    m_changed.notify_all();
}

QByteArray InkStreamMaker::make(size_t i) const
{
    const Job &job = m_jobs.at(i);
    const QList<InkMark> marks = m_marks ? m_marks(job.page, job.frame.shown) : QList<InkMark>();
    return deflated(inkContentStream(marks, job.frame, job.alphaStates));
}

void InkStreamMaker::run()
{
    for (size_t i = 0; i < m_jobs.size() && !m_stop; ++i) {
        QByteArray made = make(i);
        std::lock_guard<std::mutex> lock(m_mutex);
        m_streams[i] = std::move(made);
        m_ready = i + 1;
        m_changed.notify_all();
    }
}

QByteArray InkStreamMaker::stream(size_t i)
{
    if (i >= m_jobs.size())
        return QByteArray();
    std::unique_lock<std::mutex> lock(m_mutex);
    if (!m_threaded) {
        if (m_streams[i].isEmpty() && !m_stop)
            m_streams[i] = make(i);
    } else {
        m_changed.wait(lock, [this, i] { return m_stop || m_ready > i; });
    }
    return m_stop ? QByteArray() : m_streams[i];
}
