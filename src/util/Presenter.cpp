#include "util/Presenter.h"

#include <atomic>
#include <cstdio>

namespace {

THeadlessPresenter& HeadlessPresenter() {
    static THeadlessPresenter presenter;
    return presenter;
}

std::atomic<TPresenter*>& InstalledPresenter() {
    static std::atomic<TPresenter*> presenter{nullptr};
    return presenter;
}

bool DialogsAreAutomatic() { return qEnvironmentVariable("BL_DIALOGS") == QLatin1String("auto"); }

QString OneLine(const QString& Text) {
    QString line = Text;
    line.replace(QLatin1String("\r\n"), QLatin1String("\\n")).replace(QLatin1Char('\n'), QLatin1String("\\n"));
    return line;
}

}  // namespace

int THeadlessPresenter::Present(const TPresenterMessage& Message) {
    QString line = QLatin1String("[dialog] ") + OneLine(Message.Text);
    for (const QString& detail : Message.Details)
        line += QLatin1String("\\n") + OneLine(detail);
    const QByteArray bytes = line.toUtf8() + '\n';
    std::lock_guard guard(FWriteLock);
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stderr);
    std::fflush(stderr);
    return Message.DefaultAnswer;
}

TPresenter& CurrentPresenter() {
    TPresenter* installed = InstalledPresenter().load();
    return installed ? *installed : HeadlessPresenter();
}

TPresenter* InstallPresenter(TPresenter* Presenter) {
    if (DialogsAreAutomatic())
        return &CurrentPresenter();
    TPresenter* previous = InstalledPresenter().exchange(Presenter);
    return previous ? previous : &HeadlessPresenter();
}

int PresentMessage(TPresenterKind Kind, const QString& Text, const QStringList& Details, int DefaultAnswer) {
    return CurrentPresenter().Present({Kind, Text, Details, DefaultAnswer});
}
