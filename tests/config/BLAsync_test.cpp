#include <gtest/gtest.h>

#include <QDeadlineTimer>
#include <QPointer>
#include <QThread>
#include <atomic>
#include <mutex>
#include <stdexcept>
#include <vector>

#include "AsyncTestSupport.h"
#include "TestSupport.h"
#include "config/BLAsync.h"
#include "platform/ProcessInfo.h"

namespace {

struct TLogLine {
    QString Text;
    TMessageLogType Kind;
};

// Collects OnLog calls from whichever thread logs.
class TLogRecorder {
public:
    TThreadLogEvent Handler() {
        return [this](TBLThreadBase*, const QString& Text, TMessageLogType Kind) {
            std::lock_guard<std::mutex> guard(FLock);
            FLines.push_back({Text, Kind});
        };
    }
    std::vector<TLogLine> Lines() const {
        std::lock_guard<std::mutex> guard(FLock);
        return FLines;
    }

private:
    mutable std::mutex FLock;  // protects FLines
    std::vector<TLogLine> FLines;
};

// Works until terminated, sleeping an hour at a time: only WakeUp can end a sleep in time.
class TSleepingThread : public TBLThreadBase {
    Q_OBJECT
protected:
    void DoThreadLoop() override {
        while (!Terminated())
            SleepUnlessWoken(std::chrono::hours(1));
    }
};

class TThrowingThread : public TBLThreadBase {
    Q_OBJECT
public:
    explicit TThrowingThread(bool Own) : FOwn(Own) {}

protected:
    void DoThreadLoop() override {
        if (FOwn)
            throw EStreamError(QStringLiteral("Datei fehlt"));
        throw std::runtime_error("plain failure");
    }

private:
    bool FOwn;
};

}  // namespace

class TBLThreadBaseTest : public ::testing::Test {
protected:
    void SetUp() override { EnsureCoreApplication(); }
    TTempEnvironment FEnvironment;
};

TEST_F(TBLThreadBaseTest, SignalsStartAndStopAndLogsEachStepWithThreadId) {
    TLogRecorder log;
    auto* thread = TBLThreadBase::Create<TSleepingThread>(true);
    thread->SetOnLog(log.Handler());
    thread->Start();
    ASSERT_TRUE(thread->WaitForStarted(5000));
    EXPECT_FALSE(thread->Stopped());
    const quint32 id = thread->ThreadId();
    EXPECT_NE(id, 0u);
    EXPECT_NE(id, Platform::CurrentThreadId());

    thread->Terminate();
    ASSERT_TRUE(thread->WaitForShutDown(5000));
    thread->WaitFor();
    EXPECT_TRUE(thread->Stopped());
    EXPECT_GT(thread->StartTime(), 0.0);

    const QString number = QString::number(id);
    const std::vector<QString> expected = {
        QStringLiteral("TSleepingThread.Create: thread (%1) created").arg(number),
        QStringLiteral("TSleepingThread.TBLThreadBase.DoThreadStart: ") + number,
        QStringLiteral("TSleepingThread.TBLThreadBase.DoThreadStop: ") + number,
    };
    std::vector<QString> texts;
    for (const TLogLine& line : log.Lines()) {
        texts.push_back(line.Text);
        EXPECT_EQ(line.Kind, TMessageLogType::tmlMessage);
    }
    EXPECT_EQ(texts, expected);
    thread->Destroy();
}

TEST_F(TBLThreadBaseTest, TerminateWakesAThreadThatIsNotFreedOnTermination) {
    auto* thread = TBLThreadBase::Create<TSleepingThread>(false);
    ASSERT_TRUE(thread->WaitForStarted(5000));
    thread->Terminate();
    // The loop sleeps an hour at a time: ending within the deadline proves the wake-up.
    EXPECT_TRUE(thread->wait(QDeadlineTimer(10000)));
    thread->Destroy();
}

TEST_F(TBLThreadBaseTest, ExceptionOfTheWorkIsLoggedAndEndsTheThreadQuietly) {
    struct Row {
        const char* Name;
        bool Own;
        QString Expected;
    };
    const Row rows[] = {
        {"exception of the system's hierarchy", true, QStringLiteral("TThrowingThread.Execute: Datei fehlt")},
        // A foreign exception escaping the thread body used to end the whole process.
        {"standard exception", false, QStringLiteral("TThrowingThread.Execute: plain failure")},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Name);
        TLogRecorder log;
        auto* thread = TBLThreadBase::Create<TThrowingThread>(true, row.Own);
        thread->SetOnLog(log.Handler());
        thread->Start();
        ASSERT_TRUE(thread->wait(QDeadlineTimer(10000)));
        EXPECT_FALSE(thread->Stopped());
        EXPECT_FALSE(thread->WaitForShutDown(0));
        const std::vector<TLogLine> lines = log.Lines();
        ASSERT_FALSE(lines.empty());
        EXPECT_EQ(lines.back().Text, row.Expected);
        EXPECT_EQ(lines.back().Kind, TMessageLogType::tmlError);
        thread->Destroy();
    }
}

class TWaitForConditionTest : public ::testing::Test {
protected:
    void SetUp() override { EnsureCoreApplication(); }
    TTempEnvironment FEnvironment;
};

TEST_F(TWaitForConditionTest, ReportsTrueOnceTheConditionHoldsAndFreesItself) {
    std::atomic<int> calls{0};
    std::atomic<int> doneCalls{0};
    std::atomic<bool> outcome{false};
    QThread* doneThread = nullptr;
    TWaitForCondition* waiter = TWaitForCondition::Create(
        -1, [&] { return ++calls >= 3; },
        [&](bool Outcome) {
            outcome = Outcome;
            ++doneCalls;
        },
        true);
    QPointer<TWaitForCondition> guard = waiter;
    std::vector<bool> signalled;
    QObject receiver;
    QObject::connect(waiter, &TWaitForCondition::Done, &receiver, [&](bool Outcome) {
        signalled.push_back(Outcome);
        doneThread = QThread::currentThread();
    });
    waiter->Start();

    ASSERT_TRUE(WaitFor([&] { return guard.isNull(); }));
    EXPECT_EQ(calls.load(), 3);
    EXPECT_EQ(doneCalls.load(), 1);
    EXPECT_TRUE(outcome.load());
    EXPECT_EQ(signalled, std::vector<bool>{true});
    EXPECT_EQ(doneThread, QThread::currentThread());
}

TEST_F(TWaitForConditionTest, ZeroTimeOutAsksOnceAndReportsFalse) {
    std::atomic<int> calls{0};
    std::atomic<int> outcome{-1};
    QPointer<TWaitForCondition> guard = TWaitForCondition::Create(
        0,
        [&] {
            ++calls;
            return false;
        },
        [&](bool Outcome) { outcome = Outcome ? 1 : 0; });
    ASSERT_TRUE(WaitFor([&] { return guard.isNull(); }));
    EXPECT_EQ(calls.load(), 1);
    EXPECT_EQ(outcome.load(), 0);
}

TEST_F(TWaitForConditionTest, TerminateEndsAWaitWithoutTimeLimit) {
    std::atomic<int> outcome{-1};
    QPointer<TWaitForCondition> guard =
        TWaitForCondition::Create(-1, [] { return false; }, [&](bool Outcome) { outcome = Outcome ? 1 : 0; });
    ASSERT_TRUE(guard->WaitForStarted(5000));
    guard->Terminate();
    ASSERT_TRUE(WaitFor([&] { return guard.isNull(); }));
    EXPECT_EQ(outcome.load(), 0);
}

TEST_F(TWaitForConditionTest, MissingConditionOrCompletionIsAnAssertion) {
    struct Row {
        const char* Name;
        TWaitForCondition::TCondition Condition;
        TWaitForCondition::TDoneEvent OnDone;
    };
    const Row rows[] = {
        {"no condition", nullptr, [](bool) {}},
        {"no completion", [] { return true; }, nullptr},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Name);
        EXPECT_THROW(TWaitForCondition::Create(10, row.Condition, row.OnDone), EBLAsyncAssertion);
    }
}

TEST_F(TWaitForConditionTest, WaitCallsOnSuccessOnlyWhenTheConditionHeldInTime) {
    struct Row {
        const char* Name;
        int TimeOut;
        bool Holds;
        int ExpectedCalls;
    };
    const Row rows[] = {
        {"holds", -1, true, 1},
        {"times out", 0, false, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Name);
        std::atomic<int> successes{0};
        QPointer<TWaitForCondition> guard =
            TWaitForCondition::Wait(row.TimeOut, [&] { return row.Holds; }, [&] { ++successes; });
        ASSERT_TRUE(WaitFor([&] { return guard.isNull(); }));
        EXPECT_EQ(successes.load(), row.ExpectedCalls);
    }
}

TEST_F(TWaitForConditionTest, WaitWithContextRunsOnSuccessOnTheContextsThread) {
    QObject context;
    QThread* ranOn = nullptr;
    int successes = 0;
    std::atomic<int> calls{0};
    TWaitForCondition::Wait(-1, [&] { return ++calls >= 2; }, &context, [&] {
        ranOn = QThread::currentThread();
        ++successes;
    });
    ASSERT_TRUE(WaitFor([&] { return successes > 0; }));
    EXPECT_EQ(successes, 1);
    EXPECT_EQ(ranOn, QThread::currentThread());
}

#include "BLAsync_test.moc"
