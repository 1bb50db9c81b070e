// _LanguageDLL.h: translation of marked texts. A text that begins with "!!" is German source text
// to be shown in the current display language; other texts are shown as they are. All calls go
// through the process-wide text translator slot, which the language libraries take over once they
// are loaded; until then a marked text is shown without its mark. Any thread.
#pragma once
#include <QString>
#include <functional>

using TTextTranslator = std::function<QString(const QString& Text)>;

// Text in Language (empty: the current display language), which is current only for this call.
QString Translate(const QString& Text, const QString& Language = {});

// The current display language, initially "DE".
void SetLanguage(const QString& Language);
QString GetLanguage();

// The built-in translator of the slot: a marked text without its mark, others unchanged.
QString TranslateText(const QString& Text);
// Installs Translator in the slot (empty: the built-in one) and returns the previous one.
TTextTranslator SetTextTranslator(TTextTranslator Translator);
