#pragma once

#include "files/inkcontent.h"
#include "files/inkedpdf.h"

#include <QByteArray>
#include <QMap>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

// Makes the compressed ink streams of the inked pages on a second core while
// qpdf reads and writes the document on the first. The streams are made in
// page order and kept (compressed) until the file is written.
class InkStreamMaker
{
public:
    struct Job
    {
        int page = -1;
        PageFrame frame;
        QMap<int, QByteArray> alphaStates;
    };

    InkStreamMaker(InkMarksSource marks, std::vector<Job> jobs);
    ~InkStreamMaker();
    InkStreamMaker(const InkStreamMaker &) = delete;
    InkStreamMaker &operator=(const InkStreamMaker &) = delete;

    // The FlateDecode bytes of job i, waiting for them when still in the
    // making (made here when no thread could be started). Empty once stopped.
    QByteArray stream(size_t i);
    // Ends the making early (cancel or failure); stream() then returns empty.
    void stop();

private:
    void run();
    QByteArray make(size_t i) const;

    InkMarksSource m_marks;
    std::vector<Job> m_jobs;
    std::vector<QByteArray> m_streams;
    size_t m_ready = 0;            // jobs [0, m_ready) are in m_streams
    std::atomic<bool> m_stop{false};
    bool m_threaded = false;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::thread m_thread;
};
