#include <QRegularExpression>
#include <gtest/gtest.h>
#include <stdexcept>

#include "LogTestSupport.h"
#include "TestSupport.h"
#include "logging/BLBaseClasses.h"
#include "util/Exception.h"

using enum TMessageLogType;

namespace {

struct TObserved {
    TBLBaseLoggingObject* Sender = nullptr;
    QString Text;
    TMessageLogType Type = tmlDebug;
};

class TSampleController : public TBLBaseLoggingObject {};

// Stands in for a main window that takes over the prefix once it exists.
class TSampleWindow {
public:
    virtual ~TSampleWindow() = default;
};

class TOwnedController : public TBLBaseLoggingObject {
public:
    const std::type_info& GetLogOwner() const override {
        return FMainForm ? typeid(*FMainForm) : TBLBaseLoggingObject::GetLogOwner();
    }
    TSampleWindow* FMainForm = nullptr;
};


}  // namespace

TEST(TBLBaseLoggingObject, EachOperationPrefixesClassAndOperationAndTellsTheObserver) {
    // Logging is off (no settings): the observer hears every message all the same.
    TTempEnvironment env;
    TSampleController controller;
    std::vector<TObserved> seen;
    controller.SetOnLog([&](TBLBaseLoggingObject* Sender, const QString& AText, TMessageLogType MsgType) {
        seen.push_back({Sender, AText, MsgType});
    });
    controller.LogWorkflow(QStringLiteral("Run"), QStringLiteral(">"));
    controller.LogWarning(QStringLiteral("CanStart"), QStringLiteral("slow"));
    controller.LogError(QStringLiteral("GetMainForm"), QStringLiteral("Missing Edge Runtime"), true);
    controller.LogException(QStringLiteral("Run"), EStreamError(QStringLiteral("Cannot open file")));
    controller.LogException(QStringLiteral(""), std::runtime_error("plain"));
    controller.LogWorkflow(QString(), QString());

    const std::pair<const char*, TMessageLogType> expected[] = {
        {"TSampleController.Run: >", tmlMessage},
        {"TSampleController.CanStart: slow", tmlWarning},
        {"TSampleController.GetMainForm: Missing Edge Runtime", tmlError},
        {"TSampleController.Run: Cannot open file", tmlError},
        {"TSampleController.: plain", tmlError},
        {"TSampleController.: ", tmlMessage},
    };
    ASSERT_EQ(seen.size(), std::size(expected));
    for (size_t i = 0; i < seen.size(); ++i) {
        SCOPED_TRACE(expected[i].first);
        EXPECT_EQ(seen[i].Sender, &controller);
        EXPECT_EQ(seen[i].Text, QString::fromLatin1(expected[i].first));
        EXPECT_EQ(seen[i].Type, expected[i].second);
    }
    EXPECT_TRUE(FindLogFiles(env.Root()).isEmpty());
}

TEST(TBLBaseLoggingObject, OverriddenOwnerChangesThePrefixOnceItExists) {
    TTempEnvironment env;
    TOwnedController controller;
    QStringList texts;
    controller.SetOnLog([&](TBLBaseLoggingObject*, const QString& AText, TMessageLogType) { texts << AText; });
    controller.LogWorkflow(QStringLiteral("Run"), QStringLiteral(">"));
    TSampleWindow window;
    controller.FMainForm = &window;
    controller.LogWorkflow(QStringLiteral("Run"), QStringLiteral("Thread running"));
    EXPECT_EQ(texts, (QStringList{QStringLiteral("TOwnedController.Run: >"), QStringLiteral("TSampleWindow.Run: Thread running")}));
}

TEST(TBLBaseLoggingObject, ChannelStartsAtApplication) {
    TSampleController controller;
    EXPECT_EQ(controller.ObjLogChannel(), TLogChannel::lcApplication);
    controller.SetObjLogChannel(TLogChannel::lcPlugins);
    EXPECT_EQ(controller.ObjLogChannel(), TLogChannel::lcPlugins);
}

TEST(TBLBaseLoggingObject, ErrorWithStackTraceAddsTheFramesAfterItsLine) {
    TTempEnvironment env;
    SetLogRegistry(ActiveLogSettings());
    ASSERT_EQ(RunLogHelper({QStringLiteral("base")}).ExitCode, 0);
    const QStringList files = FindLogFiles(env.Root());
    ASSERT_EQ(files.size(), 1);
    const QStringList lines = ReadLogLines(files[0]);
    const auto find = [&](const QString& message) {
        return std::find_if(lines.begin(), lines.end(), [&](const QString& line) { return MessageOf(line) == message; }) - lines.begin();
    };
    const qsizetype workflow = find(QStringLiteral("TProbeController.Run: >"));
    const qsizetype plain = find(QStringLiteral("TProbeController.Run: without trace"));
    const qsizetype traced = find(QStringLiteral("TProbeController.Run: with trace"));
    ASSERT_LT(traced + 1, lines.size());
    EXPECT_EQ(plain, workflow + 1);
    EXPECT_EQ(traced, plain + 1);
    EXPECT_TRUE(lines[plain].contains(QLatin1String("\t[Error]\t")));
    // The trace is one written block whose first frame is the caller, not the logging machinery.
    const QString trace = lines[traced + 1];
    EXPECT_TRUE(trace.startsWith(QLatin1String("#"))) << trace.toStdString();
    // The function main, not a folder of that name in a source path.
    const QRegularExpression mainFunction(QStringLiteral(R"(\bmain\b(?!/))"));
    EXPECT_TRUE(trace.section(QLatin1Char('\n'), 0, 0).contains(mainFunction)) << trace.toStdString();
    EXPECT_FALSE(trace.contains(QLatin1String("TBLLogController::"))) << trace.toStdString();
    EXPECT_GT(trace.count(QLatin1Char('\n')), 0);
}
