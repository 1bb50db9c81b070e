// TestSupport.h: what every test needs: readable QString output, a temporary environment that keeps
// tests away from the real home folder, and a deadline wait instead of fixed sleeps.
#pragma once
#include <QByteArray>
#include <QString>
#include <QTemporaryDir>
#include <chrono>
#include <functional>
#include <iosfwd>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "util/Presenter.h"

void PrintTo(const QString& Value, std::ostream* Out);
void PrintTo(const QByteArray& Value, std::ostream* Out);

// Points XDG_*, BL_* and TMPDIR at folders below one temporary folder for the lifetime of the object
// and restores the previous values afterwards.
class TTempEnvironment {
public:
    TTempEnvironment();
    ~TTempEnvironment();
    TTempEnvironment(const TTempEnvironment&) = delete;
    TTempEnvironment& operator=(const TTempEnvironment&) = delete;

    QString Root() const { return FDir.path(); }
    QString FilePath(const QString& Name) const { return FDir.filePath(Name); }
    void Set(const char* Name, const QString& Value);

private:
    QTemporaryDir FDir;
    std::map<std::string, std::optional<QByteArray>> FSaved;  // previous values, restored last
};

// Polls Predicate until it holds or Timeout has passed; processes Qt events between polls.
bool WaitFor(const std::function<bool()>& Predicate,
             std::chrono::milliseconds Timeout = std::chrono::seconds(10));

// Writes Bytes to a new file at Path (folders created); fails the test when that is impossible.
void WriteBytes(const QString& Path, const QByteArray& Bytes);
QByteArray ReadBytes(const QString& Path);

// Records every message instead of showing it and answers from a script, else the default answer.
// Installs itself for its lifetime.
class TRecordingPresenter : public TPresenter {
public:
    TRecordingPresenter();
    ~TRecordingPresenter() override;
    int Present(const TPresenterMessage& Message) override;

    void ScriptAnswer(int Answer);
    std::vector<TPresenterMessage> Messages() const;

private:
    mutable std::mutex FLock;  // protects the two lists below
    std::vector<TPresenterMessage> FMessages;
    std::vector<int> FScriptedAnswers;
    TPresenter* FPrevious = nullptr;
};
