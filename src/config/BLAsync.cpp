#include "config/BLAsync.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>

#include "logging/BLBaseClasses.h"
#include "platform/ProcessInfo.h"

namespace {
// How long Start waits for the new thread to report its id; thread creation takes microseconds.
constexpr auto ThreadIdWait = std::chrono::seconds(5);
constexpr auto ConditionPollInterval = std::chrono::milliseconds(10);
constexpr int EventSlice = 10;  // ms between event processing while the application thread waits
}  // namespace

// ---- TBLThreadBase ----

TBLThreadBase::TBLThreadBase() = default;

TBLThreadBase::~TBLThreadBase() {
    // A thread deleted while running would take the process down with it (QThread's destructor).
    StopAndWait();
    LogWorkflow(QStringLiteral("Destroy"), QStringLiteral("thread %1 destroyed").arg(FThreadId.load()));
}

void TBLThreadBase::AfterConstruction(bool Suspended) {
    FClassName = TBLBaseLoggingObject::LogClassName(typeid(*this));
    DoCreate();
    if (!Suspended)
        Start();
}

void TBLThreadBase::Start() {
    start();
    {
        std::unique_lock<std::mutex> guard(FIdLock);
        FIdKnown.wait_for(guard, ThreadIdWait, [this] { return FThreadId.load() != 0; });
    }
    if (!FCreateLogged) {
        FCreateLogged = true;
        LogWorkflow(QStringLiteral("Create"), QStringLiteral("thread (%1) created").arg(FThreadId.load()));
    }
    {
        std::lock_guard<std::mutex> guard(FIdLock);
        FCreateDone = true;
    }
    FIdKnown.notify_all();
}

void TBLThreadBase::Terminate() {
    FTerminated = true;
    requestInterruption();
    if (!FFreeOnTerminate)
        WakeUp();
}

void TBLThreadBase::StopAndWait() {
    if (!isRunning())
        return;
    FTerminated = true;
    requestInterruption();
    WakeUp();
    wait();
}

void TBLThreadBase::Destroy() {
    StopAndWait();
    DoDestroy();
    delete this;
}

void TBLThreadBase::SetFreeOnTerminate(bool Value) {
    if (Value == FFreeOnTerminate)
        return;
    FFreeOnTerminate = Value;
    if (Value) {
        // Runs on the thread the object lives on, after run() has returned.
        connect(this, &QThread::finished, this, [this] {
            if (!FFreeOnTerminate)
                return;
            DoDestroy();
            deleteLater();
        });
    }
}

bool TBLThreadBase::WaitForEvent(TBLEvent& Event, int Timeout) {
    const QDeadlineTimer deadline = Timeout == -1 ? QDeadlineTimer(QDeadlineTimer::Forever)
                                                  : QDeadlineTimer(std::max(Timeout, 0));
    QCoreApplication* app = QCoreApplication::instance();
    if (!app || QThread::currentThread() != app->thread()) {
        if (deadline.isForever()) {
            while (!Event.WaitFor(std::chrono::hours(1))) {
            }
            return true;
        }
        return Event.WaitFor(std::chrono::milliseconds(deadline.remainingTime()));
    }
    // The application thread keeps its events flowing while it waits, as a message-processing wait
    // on Windows does; otherwise a worker posting to it could never finish.
    for (;;) {
        const qint64 remaining = deadline.isForever() ? EventSlice : deadline.remainingTime();
        if (Event.WaitFor(std::chrono::milliseconds(std::min<qint64>(remaining, EventSlice))))
            return true;
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, EventSlice);
    }
}

bool TBLThreadBase::WaitForStarted(int Timeout) { return WaitForEvent(FStarted, Timeout); }

bool TBLThreadBase::WaitForShutDown(int Timeout) { return WaitForEvent(FShutdown, Timeout); }

void TBLThreadBase::WakeUp() { FWakeUp.Set(); }

void TBLThreadBase::DoThreadStart() {
    FStarted.Set();
    LogWorkflow(QStringLiteral("TBLThreadBase.DoThreadStart"), QString::number(FThreadId.load()));
}

void TBLThreadBase::DoThreadStop() {
    FShutdown.Set();
    FStopped = true;
    LogWorkflow(QStringLiteral("TBLThreadBase.DoThreadStop"), QString::number(FThreadId.load()));
}

void TBLThreadBase::run() {
    {
        std::lock_guard<std::mutex> guard(FIdLock);
        FThreadId = Platform::CurrentThreadId();
    }
    FIdKnown.notify_all();
    {
        // The creation is logged before the work begins, as the thread id it names is only known now.
        std::unique_lock<std::mutex> guard(FIdLock);
        FIdKnown.wait_for(guard, ThreadIdWait, [this] { return FCreateDone; });
    }
    // Windows initialises COM for the thread here; Linux has no such per-thread state to set up.
    try {
        DoThreadStart();
        FStartTime = Platform::NowDateTime();
        DoThreadLoop();
        DoThreadStop();
    } catch (const std::exception& e) {
        // Any exception, not only the system's own: one escaping run() would end the whole process.
        LogException(QStringLiteral("Execute"), e);
    } catch (...) {
        LogError(QStringLiteral("Execute"), QStringLiteral("unknown exception"));
    }
}

void TBLThreadBase::Log(const QString& ProcName, const QString& Body, TMessageLogType Kind, bool WithStacktrace) {
    QString text;
    try {
        const QString className =
            FClassName.isEmpty() ? TBLBaseLoggingObject::LogClassName(typeid(*this)) : FClassName;
        text = className + QLatin1Char('.') + ProcName
               + QStringLiteral(": ") + Body;
        AddToLog(Kind, TLogChannel::lcApplication, QString(), WithStacktrace, text);
    } catch (...) {
        return;
    }
    if (!FOnLog)
        return;
    try {
        FOnLog(this, text, Kind);
    } catch (...) {
        // An observer's failure must not reach the code that only wanted to log.
    }
}

void TBLThreadBase::LogWarning(const QString& ProcName, const QString& Text) {
    Log(ProcName, Text, TMessageLogType::tmlWarning, false);
}

void TBLThreadBase::LogWorkflow(const QString& ProcName, const QString& Text) {
    Log(ProcName, Text, TMessageLogType::tmlMessage, false);
}

void TBLThreadBase::LogError(const QString& ProcName, const QString& Text) {
    Log(ProcName, Text, TMessageLogType::tmlError, true);
}

void TBLThreadBase::LogException(const QString& ProcName, const std::exception& E) {
    const auto* own = dynamic_cast<const Exception*>(&E);
    Log(ProcName, own ? own->Message() : QString::fromUtf8(E.what()), TMessageLogType::tmlError, true);
}

// ---- TWaitForCondition ----

TWaitForCondition::TWaitForCondition(int TimeOut, TCondition Condition, TDoneEvent OnDone)
    : FCondition(std::move(Condition)), FTimeOut(TimeOut), FOnDone(std::move(OnDone)) {}

TWaitForCondition::~TWaitForCondition() { StopAndWait(); }

TWaitForCondition* TWaitForCondition::Create(int TimeOut, TCondition Condition, TDoneEvent OnDone, bool Suspended) {
    if (!Condition || !OnDone)
        throw EBLAsyncAssertion(QStringLiteral("Assertion failed (BLAsync)"));
    auto* waiter = TBLThreadBase::Create<TWaitForCondition>(true, TimeOut, std::move(Condition), std::move(OnDone));
    waiter->SetFreeOnTerminate(true);
    if (!Suspended)
        waiter->Start();
    return waiter;
}

QPointer<TWaitForCondition> TWaitForCondition::Wait(int TimeOut, TCondition CheckCondition,
                                                    std::function<void()> OnSuccess) {
    return Create(TimeOut, std::move(CheckCondition), [OnSuccess = std::move(OnSuccess)](bool Outcome) {
        if (Outcome && OnSuccess)
            OnSuccess();
    });
}

QPointer<TWaitForCondition> TWaitForCondition::Wait(int TimeOut, TCondition CheckCondition, QObject* Context,
                                                    std::function<void()> OnSuccess) {
    TWaitForCondition* waiter = Create(TimeOut, std::move(CheckCondition), [](bool) {}, true);
    if (Context && OnSuccess) {
        // Queued to Context's thread; the connection dies with Context.
        connect(waiter, &TWaitForCondition::ConditionMet, Context, std::move(OnSuccess), Qt::QueuedConnection);
    }
    waiter->Start();
    return waiter;
}

void TWaitForCondition::DoThreadLoop() {
    // A monotonic clock: a change of the wall clock must neither end the wait early nor prolong it.
    QElapsedTimer started;
    started.start();
    bool outcome = false;
    for (;;) {
        outcome = FCondition();
        if (outcome)
            break;
        SleepUnlessWoken(ConditionPollInterval);
        if (FTimeOut != -1 && started.elapsed() > FTimeOut)
            break;
        // Without this an owner closing down could never stop a waiter without time limit.
        if (Terminated())
            break;
    }
    FOnDone(outcome);
    emit Done(outcome);
    if (outcome)
        emit ConditionMet();
}
