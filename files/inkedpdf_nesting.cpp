#include "files/inkedpdf_nesting.h"

#include <qpdf/Pl_QPDFTokenizer.hh>
#include <qpdf/QPDFObjectHandle.hh>

#include <algorithm>
#include <system_error>

namespace {

// Decoded content waiting to be read is bounded, so a long book does not
// pile up in memory when decoding runs ahead.
constexpr size_t kMaxQueuedBytes = 16u << 20;

// Tokens are enough: no objects are built.
class NestingFilter : public QPDFObjectHandle::TokenFilter
{
public:
    void handleToken(QPDFTokenizer::Token const &token) override
    {
        switch (token.getType()) {
        case QPDFTokenizer::tt_bad:
            nesting.broken = true;
            break;
        case QPDFTokenizer::tt_word: {
            const std::string &op = token.getValue();
            if (op == "q") {
                ++nesting.depth;
                nesting.deepest = std::max(nesting.deepest, nesting.depth);
            } else if (op == "Q") {
                --nesting.depth;
                nesting.lowest = std::min(nesting.lowest, nesting.depth);
            }
            break;
        }
        default:
            break;
        }
    }

    ContentNesting nesting;
};

} // namespace

ContentNesting contentNesting(const std::string &content)
{
    NestingFilter filter;
    try {
        Pl_QPDFTokenizer tokenizer("content nesting", &filter);
        tokenizer.write(reinterpret_cast<const unsigned char *>(content.data()), content.size());
        tokenizer.finish();
    } catch (const std::exception &) {
        filter.nesting.broken = true;
    }
    return filter.nesting;
}

NestingScanner::NestingScanner()
{
    try {
        m_thread = std::thread([this] { run(); });
        m_threaded = true;
    } catch (const std::system_error &) {
        m_threaded = false; // read on the caller's thread instead
    }
}

NestingScanner::~NestingScanner()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stop = true;
        m_changed.notify_all();
    }
    if (m_thread.joinable())
        m_thread.join();
}

size_t NestingScanner::add(std::string content)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    const size_t ticket = m_results.size();
    m_results.emplace_back();
    m_done.push_back(false);
    if (!m_threaded) {
        lock.unlock();
        const ContentNesting nesting = contentNesting(content);
        lock.lock();
        m_results[ticket] = nesting;
        m_done[ticket] = true;
        return ticket;
    }
    m_changed.wait(lock, [this] { return m_stop || m_queuedBytes < kMaxQueuedBytes || m_queue.empty(); });
    m_queuedBytes += content.size();
    m_queue.emplace_back(ticket, std::move(content));
    m_changed.notify_all();
    return ticket;
}

ContentNesting NestingScanner::result(size_t ticket)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    if (ticket >= m_done.size())
        return ContentNesting{0, 0, 0, true};
    m_changed.wait(lock, [this, ticket] { return m_stop || m_done[ticket]; });
    if (!m_done[ticket])
        return ContentNesting{0, 0, 0, true};
    return m_results[ticket];
}

void NestingScanner::run()
{
    std::unique_lock<std::mutex> lock(m_mutex);
    for (;;) {
        m_changed.wait(lock, [this] { return m_stop || !m_queue.empty(); });
        if (m_stop)
            return;
        std::pair<size_t, std::string> job = std::move(m_queue.front());
        m_queue.pop_front();
        lock.unlock();
        const ContentNesting nesting = contentNesting(job.second);
        const size_t bytes = job.second.size();
        job.second = std::string();
        lock.lock();
        m_queuedBytes -= bytes;
        m_results[job.first] = nesting;
        m_done[job.first] = true;
        m_changed.notify_all();
    }
}
