#pragma once

#include <condition_variable>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// The q/Q nesting of a page's content: extra "Q"s would pop the wrapping,
// extra "q"s would leave a changed state behind, and a token left open at
// the end (a string, an inline image) would swallow whatever follows.
struct ContentNesting
{
    int depth = 0;      // at the end
    int lowest = 0;     // lowest point on the way
    int deepest = 0;
    bool broken = false;
};

// Reads decoded page contents with qpdf's tokenizer on a thread of its own,
// while the document's thread goes on decoding the next pages.
class NestingScanner
{
public:
    NestingScanner();
    ~NestingScanner();
    NestingScanner(const NestingScanner &) = delete;
    NestingScanner &operator=(const NestingScanner &) = delete;

    // Queues content (waiting while much is queued); returns its ticket.
    size_t add(std::string content);
    // The nesting of a ticket's content, waiting for it.
    ContentNesting result(size_t ticket);

private:
    void run();

    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<std::pair<size_t, std::string>> m_queue;
    size_t m_queuedBytes = 0;
    std::vector<ContentNesting> m_results;
    std::vector<bool> m_done;
    bool m_stop = false;
    bool m_threaded = false;
    std::thread m_thread;
};

// The nesting of one content, read here.
ContentNesting contentNesting(const std::string &content);
