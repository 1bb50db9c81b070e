#include "errors/EtkTypes.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QThread>
#include <mutex>
#include <thread>

#include "errors/_LanguageDLL.h"

namespace {

struct THandlerSlot {
    std::mutex Lock;  // protects Handler
    TOpenFileTimeoutHandler Handler;
};

THandlerSlot& HandlerSlot() {
    static THandlerSlot slot;
    return slot;
}

TOpenFileTimeoutHandler CurrentHandler() {
    THandlerSlot& slot = HandlerSlot();
    std::lock_guard guard(slot.Lock);
    return slot.Handler;
}

constexpr auto RetryInterval = std::chrono::milliseconds(100);

QString LockedText(const QString& FileName, int Mode) {
    const QString text = Mode == TOpenFileMode::ofmRead
        ? Translate(QStringLiteral("!!Datei %s wird von anderer Anwendung gesperrt und kann nicht gelesen werden"))
        : Translate(QStringLiteral("!!Datei %s wird von anderer Anwendung gesperrt und kann nicht geschrieben werden"));
    return QString(text).replace(QLatin1String("%s"), FileName);
}

// Keeps the GUI painted while the GUI thread waits, as the design asks.
void KeepGuiAlive() {
    QCoreApplication* app = QCoreApplication::instance();
    if (app && QThread::currentThread() == app->thread())
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

}  // namespace

TOpenFileTimeoutHandler SetOpenFileTimeoutHandler(TOpenFileTimeoutHandler Handler) {
    THandlerSlot& slot = HandlerSlot();
    std::lock_guard guard(slot.Lock);
    return std::exchange(slot.Handler, std::move(Handler));
}

Platform::TLockedFile OpenFileWaitForLock(const QString& FileName, int Mode, bool Interactive,
                                          std::chrono::milliseconds Period) {
    const QString folder = QFileInfo(FileName).absolutePath();
    if (!Platform::FolderExists(folder))
        throw EFOpenError(FileName);
    if (Mode < TOpenFileMode::ofmRead || Mode > TOpenFileMode::ofmCreate)
        throw EFOpenError(FileName);
    const auto shareMode = static_cast<Platform::TShareMode>(Mode);

    auto periodStart = std::chrono::steady_clock::now();
    Platform::TLockedFile file;
    for (;;) {
        const Platform::TOpenResult result = Platform::TLockedFile::TryOpen(FileName, shareMode, file);
        if (result)
            return file;
        if (result.Status == Platform::TOpenStatus::osFailed)
            throw EFOpenError(FileName + QLatin1String(": ") + result.ErrorText);
        if (std::chrono::steady_clock::now() - periodStart >= Period) {
            const TOpenFileTimeoutHandler handler = Interactive ? CurrentHandler() : TOpenFileTimeoutHandler();
            if (!handler || !handler(FileName, Mode, Platform::IsFolderWritable(folder)))
                throw EFOpenError(LockedText(FileName, Mode));
            periodStart = std::chrono::steady_clock::now();
        }
        KeepGuiAlive();
        std::this_thread::sleep_for(RetryInterval);
    }
}
