// Attempts into a peer that never answers: how many threads they may cost,
// and that the program still gets through once the peer answers.
#include "engine/attempts.h"

#include <QtTest>
#include <atomic>

using namespace std::chrono_literals;

namespace {

// Every attempt waits here until the test lets it end, with a handle or a
// failure.
struct TGate {
    std::mutex mutex;
    std::condition_variable changed;
    int failuresAllowed = 0;
    bool open = false;
    std::atomic<int> started{0};
    std::atomic<int> running{0};
    std::atomic<int> mostRunning{0};
};

} // namespace

class TestAttempts : public QObject
{
    Q_OBJECT

private slots:
    void threadsStayBoundedWhileThePeerIsSilent();
};

void TestAttempts::threadsStayBoundedWhileThePeerIsSilent()
{
    auto gate = std::make_shared<TGate>();
    const auto connect = [gate]() -> std::shared_ptr<int> {
        ++gate->started;
        int now = ++gate->running;
        for (int most = gate->mostRunning; now > most && !gate->mostRunning.compare_exchange_weak(most, now);) {
        }
        std::unique_lock lock(gate->mutex);
        gate->changed.wait(lock, [&] { return gate->open || gate->failuresAllowed > 0; });
        --gate->running;
        if (gate->open)
            return std::make_shared<int>(7);
        --gate->failuresAllowed;
        throw KrError(QStringLiteral("recusada"));
    };
    constexpr auto spacing = 400ms;
    TAttempts<int> attempts({.maxInFlight = 2, .crowded = 3, .crowdedSpacing = spacing, .cap = 5});
    // An attempt's thread counts itself once it runs: a count that must not
    // have grown is read after a moment.
    const auto settled = [&] {
        std::this_thread::sleep_for(50ms);
        return gate->started.load();
    };
    const auto call = [&] {
        try {
            attempts.Get(QStringLiteral("erp"), connect, 5ms, 60s);
            return QStringLiteral("handle");
        } catch (const TCallTimedOut &) {
            return QStringLiteral("timed out");
        } catch (const KrError &) {
            return QStringLiteral("failed");
        }
    };

    // Up to the crowd, one fresh attempt per call; then one per spacing.
    for (int i = 0; i < 3; ++i)
        QCOMPARE(call(), QStringLiteral("timed out"));
    QTRY_COMPARE(gate->started.load(), 3);
    QCOMPARE(call(), QStringLiteral("timed out"));
    QCOMPARE(settled(), 3);
    for (int expected : {4, 5, 5, 5}) {
        std::this_thread::sleep_for(spacing);
        call();
        QCOMPARE(settled(), expected);
    }
    QCOMPARE(gate->mostRunning.load(), 5);

    // One that ends makes room for one more, and only one.
    {
        std::lock_guard lock(gate->mutex);
        gate->failuresAllowed = 1;
    }
    gate->changed.notify_all();
    QTRY_COMPARE(gate->running.load(), 4);
    std::this_thread::sleep_for(spacing);
    call();
    QCOMPARE(settled(), 6);
    std::this_thread::sleep_for(spacing);
    call();
    QCOMPARE(settled(), 6);
    QCOMPARE(gate->mostRunning.load(), 5);

    // The peer answers: the next call gets through, without a fresh attempt.
    {
        std::lock_guard lock(gate->mutex);
        gate->open = true;
    }
    gate->changed.notify_all();
    QTRY_COMPARE(gate->running.load(), 0);
    QCOMPARE(call(), QStringLiteral("handle"));
    QCOMPARE(settled(), 6);
}

QTEST_GUILESS_MAIN(TestAttempts)
#include "tst_attempts.moc"
