#include "errors/_LanguageDLL.h"

#include <mutex>
#include <utility>

namespace {

struct TTranslationState {
    std::recursive_mutex Lock;  // a translator may ask for the language it translates into
    QString Language = QStringLiteral("DE");
    TTextTranslator Translator;
};

TTranslationState& State() {
    static TTranslationState state;
    return state;
}

}  // namespace

QString TranslateText(const QString& Text) {
    return Text.startsWith(QLatin1String("!!")) ? Text.mid(2) : Text;
}

TTextTranslator SetTextTranslator(TTextTranslator Translator) {
    std::lock_guard guard(State().Lock);
    return std::exchange(State().Translator, std::move(Translator));
}

void SetLanguage(const QString& Language) {
    std::lock_guard guard(State().Lock);
    State().Language = Language;
}

QString GetLanguage() {
    std::lock_guard guard(State().Lock);
    return State().Language;
}

QString Translate(const QString& Text, const QString& Language) {
    TTranslationState& state = State();
    std::lock_guard guard(state.Lock);
    const QString remembered = state.Language;
    if (!Language.isEmpty())
        state.Language = Language;
    struct TRestore {
        TTranslationState& State;
        const QString& Language;
        ~TRestore() { State.Language = Language; }
    } restore{state, remembered};
    return state.Translator ? state.Translator(Text) : TranslateText(Text);
}
