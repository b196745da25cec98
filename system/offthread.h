#pragma once

#include <QObject>
#include <QThreadPool>

#include <functional>
#include <memory>

// Carries one finished piece of off-thread work back to the thread that
// started it; deletes itself once delivered.
class OffThreadRelay : public QObject
{
    Q_OBJECT
signals:
    void finished();
};

// Runs work on the application's thread pool (which the application waits
// for when it quits) and hands the result to done on context's thread,
// unless context has gone by then. For blocking calls, such as the
// desktop's database tools, that must not freeze the window.
template <typename Result>
void runOffThread(QObject *context, std::function<Result()> work, std::function<void(const Result &)> done)
{
    auto result = std::make_shared<Result>();
    auto *relay = new OffThreadRelay;
    QObject::connect(relay, &OffThreadRelay::finished, context, [result, done = std::move(done)] { done(*result); });
    QObject::connect(relay, &OffThreadRelay::finished, relay, &QObject::deleteLater);
    QThreadPool::globalInstance()->start([work = std::move(work), result, relay] {
        *result = work();
        emit relay->finished();
    });
}
