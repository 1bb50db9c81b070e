// Presenter.h: the one seam every message and dialog of the system passes through. Library code
// (configuration, logging) asks the presenter instead of opening a window, so it runs in
// command-line tools and tests. The GUI installs its dialog presenter at start; otherwise, or with
// BL_DIALOGS=auto, the headless presenter writes "[dialog] <text>" to standard error and answers the
// default button. Any thread may call Present(); the presenter in use is swapped only at start-up.
#pragma once
#include <QString>
#include <QStringList>
#include <mutex>

enum class TPresenterKind : int { pkInformation = 0, pkWarning = 1, pkError = 2, pkQuestion = 3 };

// Answers, numbered as the Windows message box results the callers compare against.
namespace TPresenterAnswer {
constexpr int Ok = 1;
constexpr int Cancel = 2;
constexpr int Yes = 6;
constexpr int No = 7;
}  // namespace TPresenterAnswer

struct TPresenterMessage {
    TPresenterKind Kind = TPresenterKind::pkInformation;
    QString Text;                                  // already translated; may span several lines
    QStringList Details;                           // an error-details list, shown below the text
    int DefaultAnswer = TPresenterAnswer::Ok;      // what an unattended run answers
};

class TPresenter {
public:
    virtual ~TPresenter() = default;
    virtual int Present(const TPresenterMessage& Message) = 0;
};

// Writes one "[dialog] " line per message (line breaks as "\n") and answers the default.
class THeadlessPresenter : public TPresenter {
public:
    int Present(const TPresenterMessage& Message) override;

private:
    std::mutex FWriteLock;  // keeps lines of concurrent callers whole
};

// The presenter in use; never null. The headless one until InstallPresenter is called.
TPresenter& CurrentPresenter();
// Installs Presenter (not owned; it must outlive its use) and returns the previous one. Passing
// nullptr restores the headless presenter. With BL_DIALOGS=auto every install is ignored.
TPresenter* InstallPresenter(TPresenter* Presenter);
// Shorthand for CurrentPresenter().Present(...).
int PresentMessage(TPresenterKind Kind, const QString& Text, const QStringList& Details = {},
                   int DefaultAnswer = TPresenterAnswer::Ok);
