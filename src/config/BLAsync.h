// BLAsync.h: the thread base of the configuration's worker threads (start and stop signalling,
// logging) and TWaitForCondition, which polls a caller's condition until it holds or a time-out passes.
// A thread object lives on the thread that created it (its queued signals and deferred deletion run
// there); its work runs on its own thread. Exceptions of the work are logged and end the thread.
// Only a missing condition or completion procedure raises (EBLAsyncAssertion).
#pragma once
#include <QObject>
#include <QPointer>
#include <QString>
#include <QThread>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <exception>
#include <functional>
#include <mutex>
#include <utility>

#include "logging/BLLogging.h"
#include "platform/Clock.h"
#include "util/BLTypes.h"
#include "util/Exception.h"

// A programming error: a waiter without condition or completion procedure.
class EBLAsyncAssertion : public Exception {
public:
    using Exception::Exception;
    const char* ClassName() const noexcept override { return "EBLAsyncAssertion"; }
};

class TBLThreadBase;
using TThreadLogEvent = std::function<void(TBLThreadBase* Sender, const QString& Text, TMessageLogType Kind)>;

class TBLThreadBase : public QThread {
    Q_OBJECT
public:
    // Constructs and then calls DoCreate, logs the creation and starts the thread unless Suspended
    // (virtual hooks do not reach a derived class from inside a constructor).
    template <typename T, typename... TArgs>
    static T* Create(bool Suspended, TArgs&&... Args) {
        T* thread = new T(std::forward<TArgs>(Args)...);
        thread->AfterConstruction(Suspended);
        return thread;
    }
    ~TBLThreadBase() override;

    // Starts a thread created suspended; logs "Create" once the thread id is known.
    void Start();
    // Asks the loop to end; a thread that is not freed on termination is also woken from its sleep.
    void Terminate();
    bool Terminated() const { return FTerminated.load(); }
    // Waits for the end of the work (the platform's WaitFor).
    void WaitFor() { wait(); }
    // Terminate, wait for the end, DoDestroy, delete. For threads that are not freed on termination.
    void Destroy();

    // FStarted was signalled within Timeout ms; FShutdown was signalled within Timeout ms. On the
    // thread of the application object both keep processing its events while they wait.
    bool WaitForStarted(int Timeout);
    bool WaitForShutDown(int Timeout);

    bool FreeOnTerminate() const { return FFreeOnTerminate; }
    // Deletes the object on its own thread's event loop once the work has ended.
    void SetFreeOnTerminate(bool Value);

    int WaitTimeout() const { return FWaitTimeOut; }
    void SetWaitTimeout(int Value) { FWaitTimeOut = Value; }
    int ExecuteTimeout() const { return FExecuteTimeout; }
    void SetExecuteTimeout(int Value) { FExecuteTimeout = Value; }
    const TThreadLogEvent& OnLog() const { return FOnLog; }
    void SetOnLog(TThreadLogEvent Value) { FOnLog = std::move(Value); }

    Platform::TDateTime StartTime() const { return FStartTime.load(); }
    bool Stopped() const { return FStopped.load(); }
    // The kernel's id of the thread; 0 before it started.
    quint32 ThreadId() const { return FThreadId.load(); }

    virtual void LogWarning(const QString& ProcName, const QString& Text);
    virtual void LogWorkflow(const QString& ProcName, const QString& Text);
    virtual void LogError(const QString& ProcName, const QString& Text);
    virtual void LogException(const QString& ProcName, const std::exception& E);
    // Signals FWakeUp: ends the current sleep of the loop.
    virtual void WakeUp();

protected:
    TBLThreadBase();

    virtual void DoThreadLoop() {}
    virtual void DoCreate() {}
    virtual void DoDestroy() {}
    virtual void DoThreadStart();
    virtual void DoThreadStop();

    // Sleeps up to Period; true when woken early by WakeUp.
    bool SleepUnlessWoken(std::chrono::milliseconds Period) { return FWakeUp.WaitFor(Period); }
    // Derived destructors call this first: their loop must not outlive their fields.
    void StopAndWait();

private:
    void AfterConstruction(bool Suspended);
    void run() final;
    void Log(const QString& ProcName, const QString& Body, TMessageLogType Kind, bool WithStacktrace);
    bool WaitForEvent(TBLEvent& Event, int Timeout);

    std::atomic<Platform::TDateTime> FStartTime{0};
    int FExecuteTimeout = -1;  // stored only
    int FWaitTimeOut = 5000;   // stored only
    // The wake-up event needs no separate handle list here: FWakeUp is waited on directly.
    TBLEvent FShutdown;
    TBLEvent FStarted;
    TBLEvent FWakeUp;
    std::atomic<bool> FStopped{false};
    TThreadLogEvent FOnLog;  // runs on the logging thread: handlers must not touch widgets

    std::atomic<bool> FTerminated{false};
    bool FFreeOnTerminate = false;
    bool FCreateLogged = false;
    std::atomic<quint32> FThreadId{0};
    QString FClassName;  // of the most derived class, taken while the object is whole
    std::mutex FIdLock;  // protects the hand-over between Start and run: FThreadId, FCreateDone
    std::condition_variable FIdKnown;
    bool FCreateDone = false;
};

// Polls Condition on its own thread every 10 ms until it answers true, the time-out passes or the
// waiter is terminated, then calls OnDone with the last answer (also on its own thread), emits Done
// (and ConditionMet when true) to receivers on their threads, and frees itself.
class TWaitForCondition final : public TBLThreadBase {
    Q_OBJECT
public:
    using TCondition = std::function<bool()>;
    using TDoneEvent = std::function<void(bool Outcome)>;

    // Starts at once unless Suspended (connect to the signals first, then Start()). TimeOut in
    // milliseconds, -1 for no limit. Raises EBLAsyncAssertion without Condition or OnDone.
    static TWaitForCondition* Create(int TimeOut, TCondition Condition, TDoneEvent OnDone, bool Suspended = false);
    // Starts a waiter and returns at once; OnSuccess runs on the waiter's thread when CheckCondition
    // became true in time. Nothing is called after a time-out.
    static QPointer<TWaitForCondition> Wait(int TimeOut, TCondition CheckCondition, std::function<void()> OnSuccess);
    // As above, but OnSuccess runs on Context's thread (through its event loop), and not at all when
    // Context is gone by then.
    static QPointer<TWaitForCondition> Wait(int TimeOut, TCondition CheckCondition, QObject* Context,
                                            std::function<void()> OnSuccess);
    ~TWaitForCondition() override;

signals:
    void Done(bool Outcome);
    void ConditionMet();

protected:
    void DoThreadLoop() override;

private:
    friend class TBLThreadBase;
    TWaitForCondition(int TimeOut, TCondition Condition, TDoneEvent OnDone);

    TCondition FCondition;
    int FTimeOut = -1;
    TDoneEvent FOnDone;
};
