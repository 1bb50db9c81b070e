#include "TestSupport.h"
#include "platform/ProcessInfo.h"

#include <QCoreApplication>
#include <QProcess>
#include <QRegularExpression>
#include <QSysInfo>
#include <gtest/gtest.h>
#include <thread>

using namespace Platform;

namespace {

QString RunTool(const QString& Program, const QStringList& Arguments) {
    QProcess process;
    process.start(Program, Arguments);
    if (!process.waitForFinished(10000))
        return QString();
    return QString::fromLocal8Bit(process.readAllStandardOutput()).trimmed();
}

}  // namespace

TEST(ProcessInfo, ThreadIdsAreTheKernelsAndDifferPerThread) {
    // The kernel gives the main thread the process id as its thread id.
    EXPECT_EQ(CurrentProcessId(), quint32(QCoreApplication::applicationPid()));
    EXPECT_EQ(CurrentThreadId(), CurrentProcessId());
    quint32 other = 0;
    std::thread worker([&other] { other = CurrentThreadId(); });
    worker.join();
    EXPECT_NE(other, 0u);
    EXPECT_NE(other, CurrentThreadId());
}

TEST(ProcessInfo, UserNameIsTheAccountOfTheRealUserEvenWhenTheEnvironmentSaysOtherwise) {
    TTempEnvironment environment;
    environment.Set("USER", "somebody-else");
    environment.Set("LOGNAME", "somebody-else");
    EXPECT_EQ(LoginUserName(), RunTool("id", {"-un"}));
}

TEST(ProcessInfo, LogonDomainIsUserDomainElseTheShortHostName) {
    TTempEnvironment environment;
    const QString host = QSysInfo::machineHostName().section('.', 0, 0);
    EXPECT_EQ(ComputerName(), host);
    environment.Set("USERDOMAIN", "WORKGROUP");
    EXPECT_EQ(LogonDomain(), QString("WORKGROUP"));
    environment.Set("USERDOMAIN", "");
    EXPECT_EQ(LogonDomain(), host);
}

TEST(ProcessInfo, FileVersionTextAgreesWithItsParts) {
    const QRegularExpressionMatch match =
        QRegularExpression(R"(^(\d+)\.(\d+)\.(\d+)$)").match(FileVersionText());
    ASSERT_TRUE(match.hasMatch()) << FileVersionText().toStdString();
    EXPECT_EQ(match.captured(1).toInt(), FileVersionMajor());
    EXPECT_EQ(match.captured(2).toInt(), FileVersionMinor());
    EXPECT_EQ(match.captured(3).toInt(), FileVersionPatch());
}

TEST(ProcessInfo, ElevatedMeansEffectiveUserIdZero) {
    EXPECT_EQ(IsElevated(), RunTool("id", {"-u"}) == "0");
}
