#include "TestSupport.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QThread>
#include <gtest/gtest.h>
#include <ostream>

void PrintTo(const QString& Value, std::ostream* Out) { *Out << '"' << Value.toStdString() << '"'; }

void PrintTo(const QByteArray& Value, std::ostream* Out) { *Out << '"' << Value.toHex(' ').toStdString() << '"'; }

TTempEnvironment::TTempEnvironment() {
    const QString root = FDir.path();
    const std::pair<const char*, const char*> folders[] = {
        {"XDG_CONFIG_HOME", "config"}, {"XDG_DATA_HOME", "data"},   {"XDG_RUNTIME_DIR", "runtime"},
        {"XDG_DOCUMENTS_DIR", "documents"}, {"BL_PROGRAMDATA", "programdata"}, {"BL_WINDIR", "windows"},
        {"BL_REGISTRY_ROOT", "registry"}, {"TMPDIR", "tmp"}, {"HOME", "home"},
    };
    for (const auto& [name, folder] : folders) {
        const QString path = root + "/" + folder;
        QDir().mkpath(path);
        Set(name, path);
    }
    QFile::setPermissions(root + "/runtime", QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
}

TTempEnvironment::~TTempEnvironment() {
    for (const auto& [name, value] : FSaved) {
        if (value)
            qputenv(name.c_str(), *value);
        else
            qunsetenv(name.c_str());
    }
}

void TTempEnvironment::Set(const char* Name, const QString& Value) {
    if (!FSaved.contains(Name))
        FSaved[Name] = qEnvironmentVariableIsSet(Name) ? std::optional<QByteArray>(qgetenv(Name)) : std::nullopt;
    qputenv(Name, Value.toUtf8());
}

bool WaitFor(const std::function<bool()>& Predicate, std::chrono::milliseconds Timeout) {
    const auto deadline = std::chrono::steady_clock::now() + Timeout;
    while (!Predicate()) {
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        if (QCoreApplication::instance())
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(5);
    }
    return true;
}

void WriteBytes(const QString& Path, const QByteArray& Bytes) {
    QDir().mkpath(QFileInfo(Path).absolutePath());
    QFile file(Path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate)) << Path.toStdString();
    ASSERT_EQ(file.write(Bytes), Bytes.size());
}

QByteArray ReadBytes(const QString& Path) {
    QFile file(Path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

TRecordingPresenter::TRecordingPresenter() : FPrevious(InstallPresenter(this)) {}

TRecordingPresenter::~TRecordingPresenter() { InstallPresenter(FPrevious); }

int TRecordingPresenter::Present(const TPresenterMessage& Message) {
    std::lock_guard guard(FLock);
    FMessages.push_back(Message);
    if (FScriptedAnswers.empty())
        return Message.DefaultAnswer;
    const int answer = FScriptedAnswers.front();
    FScriptedAnswers.erase(FScriptedAnswers.begin());
    return answer;
}

void TRecordingPresenter::ScriptAnswer(int Answer) {
    std::lock_guard guard(FLock);
    FScriptedAnswers.push_back(Answer);
}

std::vector<TPresenterMessage> TRecordingPresenter::Messages() const {
    std::lock_guard guard(FLock);
    return FMessages;
}
