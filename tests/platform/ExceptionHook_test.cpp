#include "TestSupport.h"
#include "platform/ExceptionHook.h"

#include <QProcess>
#include <QRegularExpression>
#include <QThread>
#include <gtest/gtest.h>

#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

using namespace Platform;

namespace {

// What a throw callback saw; the thrown object is gone after the catch, so it is copied here.
struct TSeenThrow {
    std::string TypeName;
    std::string What;  // what() when the object is a std::exception
    void* ThrowAddress = nullptr;
    std::thread::id Thread;
};

std::mutex GSeenLock;  // protects GSeen
std::vector<TSeenThrow> GSeen;

void RecordThrow(const TThrowEvent& Event) {
    TSeenThrow seen;
    seen.TypeName = Event.Type ? Event.Type->name() : "";
    if (auto* exception = static_cast<std::exception*>(ThrownObjectAs(Event, typeid(std::exception))))
        seen.What = exception->what();
    seen.ThrowAddress = Event.ThrowAddress;
    seen.Thread = std::this_thread::get_id();
    std::lock_guard guard(GSeenLock);
    GSeen.push_back(seen);
}

// A callback that throws and catches on its own, then lets one escape.
void ThrowingCallback(const TThrowEvent& Event) {
    RecordThrow(Event);
    try {
        throw std::logic_error("inside the callback");
    } catch (const std::logic_error&) {
    }
    throw std::runtime_error("escapes the callback");
}

class ExceptionHook : public ::testing::Test {
protected:
    void SetUp() override {
        std::lock_guard guard(GSeenLock);
        GSeen.clear();
    }
    void TearDown() override { FinalizeExceptionHook(); }
    static std::vector<TSeenThrow> Seen() {
        std::lock_guard guard(GSeenLock);
        return GSeen;
    }
};

__attribute__((noinline)) void ThrowRuntimeError(const char* Text) {
    throw std::runtime_error(Text);
}

__attribute__((noinline)) void ThrowRuntimeErrorElsewhere(const char* Text) {
    throw std::runtime_error(Text);
}

void CatchAll(void (*Thrower)(const char*), const char* Text) {
    try {
        Thrower(Text);
    } catch (const std::exception&) {
    }
}

struct TLeft { virtual ~TLeft() = default; int L = 1; };
struct TRight { virtual ~TRight() = default; int R = 2; };
struct TBoth : TLeft, TRight {};
struct TUnrelated {};

}  // namespace

TEST_F(ExceptionHook, CallbackSeesTypeObjectAndThrowSiteBeforeTheCatch) {
    InitializeExceptionHook(RecordThrow, nullptr);
    CatchAll(ThrowRuntimeError, "first");
    CatchAll(ThrowRuntimeError, "again");
    CatchAll(ThrowRuntimeErrorElsewhere, "elsewhere");
    const std::vector<TSeenThrow> seen = Seen();
    ASSERT_EQ(seen.size(), 3u);
    EXPECT_EQ(seen[0].TypeName, typeid(std::runtime_error).name());
    EXPECT_EQ(seen[0].What, "first");
    EXPECT_EQ(seen[1].What, "again");
    EXPECT_EQ(seen[0].Thread, std::this_thread::get_id());
    // One throw site, one address; it lies inside the throwing function.
    EXPECT_EQ(seen[0].ThrowAddress, seen[1].ThrowAddress);
    EXPECT_NE(seen[0].ThrowAddress, seen[2].ThrowAddress);
    const auto* address = static_cast<const char*>(seen[0].ThrowAddress);
    const auto* function = reinterpret_cast<const char*>(&ThrowRuntimeError);
    EXPECT_GT(address, function);
    EXPECT_LT(address, function + 256);
}

TEST_F(ExceptionHook, ReportsThrowsOfOtherThreadsAndOfTheCppLibrary) {
    InitializeExceptionHook(RecordThrow, nullptr);
    std::thread::id workerId;
    std::thread worker([&workerId] {
        workerId = std::this_thread::get_id();
        CatchAll(ThrowRuntimeError, "from a worker");
    });
    worker.join();
    // std::stoi throws from inside libstdc++'s shared object.
    EXPECT_THROW((void)std::stoi("no number"), std::invalid_argument);
    const std::vector<TSeenThrow> seen = Seen();
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0].Thread, workerId);
    EXPECT_EQ(seen[0].What, "from a worker");
    EXPECT_EQ(seen[1].TypeName, typeid(std::invalid_argument).name());
}

TEST_F(ExceptionHook, CallbackExceptionsAreNeitherReportedNorAllowedToReplaceTheThrow) {
    InitializeExceptionHook(ThrowingCallback, nullptr);
    try {
        ThrowRuntimeError("original");
        FAIL() << "nothing thrown";
    } catch (const std::runtime_error& error) {
        EXPECT_STREQ(error.what(), "original");
    }
    const std::vector<TSeenThrow> seen = Seen();
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].What, "original");
}

TEST_F(ExceptionHook, FinalizeStopsTheReports) {
    InitializeExceptionHook(RecordThrow, nullptr);
    CatchAll(ThrowRuntimeError, "reported");
    FinalizeExceptionHook();
    CatchAll(ThrowRuntimeError, "not reported");
    const std::vector<TSeenThrow> seen = Seen();
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].What, "reported");
}

TEST_F(ExceptionHook, ThrownObjectAsMatchesLikeACatchClause) {
    TBoth both;
    int number = 7;
    TBoth* pointer = &both;
    struct Row {
        const char* Name;
        TThrowEvent Event;
        const std::type_info& Target;
        void* Expected;
    };
    const Row rows[] = {
        {"same type", {&typeid(TBoth), &both, nullptr}, typeid(TBoth), &both},
        {"first base", {&typeid(TBoth), &both, nullptr}, typeid(TLeft), static_cast<TLeft*>(&both)},
        // The second base lives at an offset: the pointer must be adjusted as a catch does.
        {"second base", {&typeid(TBoth), &both, nullptr}, typeid(TRight), static_cast<TRight*>(&both)},
        {"unrelated class", {&typeid(TBoth), &both, nullptr}, typeid(TUnrelated), nullptr},
        {"fundamental type", {&typeid(int), &number, nullptr}, typeid(int), &number},
        {"other fundamental type", {&typeid(int), &number, nullptr}, typeid(long), nullptr},
        {"thrown pointer seen as base pointer", {&typeid(TBoth*), &pointer, nullptr}, typeid(TRight*),
         static_cast<TRight*>(&both)},
        {"no object", {&typeid(TBoth), nullptr, nullptr}, typeid(TBoth), nullptr},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Name);
        EXPECT_EQ(ThrownObjectAs(row.Event, row.Target), row.Expected);
    }
    EXPECT_NE(static_cast<void*>(static_cast<TRight*>(&both)), static_cast<void*>(&both));
}

TEST(FatalSignalHandler, ReportsTheSignalThenDiesOfIt) {
    TTempEnvironment environment;
    struct Row {
        const char* Fault;
        int Signal;
        const char* Name;
        const char* FirstFrame;  // the faulting function, first line of the trace
        bool ReachesMain;        // the trace is cut after its frame limit
    };
    const Row rows[] = {
        {"segv", 11, "SIGSEGV", "CrashBySegv", true},
        // Runs on the alternate stack: the thread's own stack is used up.
        {"stackoverflow", 11, "SIGSEGV", "CrashByStackOverflow", false},
        {"fpe", 8, "SIGFPE", "CrashByDivision", true},
        {"ill", 4, "SIGILL", "CrashByIllegalInstruction", true},
        {"bus", 7, "SIGBUS", "CrashByBusError", true},
    };
    // The function main, not a folder of that name in a source path.
    const QRegularExpression mainFrame(QStringLiteral(R"(\bmain\b(?!/))"));
    const QString helper = QString(BL_HELPERS_DIR) + "/platform_fatal_signal";
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Fault);
        QProcess process;
        // The shell reports 128 + signal for a child killed by a signal; no core files.
        process.start("/bin/sh", {"-c", "ulimit -c 0; \"$0\" \"$@\"; echo \"status=$?\"", helper, row.Fault,
                                  environment.Root()});
        ASSERT_TRUE(process.waitForFinished(60000));
        const QString output = QString::fromUtf8(process.readAllStandardOutput()).trimmed();
        const QString errors = QString::fromUtf8(process.readAllStandardError());
        EXPECT_EQ(output, QStringLiteral("status=%1").arg(128 + row.Signal)) << errors.toStdString();
        EXPECT_TRUE(errors.startsWith(QStringLiteral("Fatal signal %1 (%2) at address 0x").arg(row.Signal).arg(row.Name)))
            << errors.toStdString();
        const QStringList lines = errors.split('\n');
        ASSERT_GE(lines.size(), 2);
        EXPECT_TRUE(lines[1].startsWith("#0 0x")) << errors.toStdString();
        EXPECT_TRUE(lines[1].contains(row.FirstFrame)) << errors.toStdString();
        if (row.ReachesMain) {
            EXPECT_TRUE(errors.contains(mainFrame)) << errors.toStdString();
        }
    }
}

TEST(FatalSignalHandler, FinalizeRestoresTheDefaultAction) {
    QProcess process;
    process.start("/bin/sh", {"-c", "ulimit -c 0; \"$0\" finalized; echo \"status=$?\"",
                              QString(BL_HELPERS_DIR) + "/platform_fatal_signal"});
    ASSERT_TRUE(process.waitForFinished(60000));
    EXPECT_EQ(QString::fromUtf8(process.readAllStandardOutput()).trimmed(), QString("status=139"));
    // The shell itself may say "Segmentation fault"; our report must be absent.
    EXPECT_FALSE(process.readAllStandardError().contains("Fatal signal"));
}
