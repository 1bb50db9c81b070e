#include "errors/EtkTypes.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QThread>
#include <algorithm>
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

// ---- TEtkMultiSprache ----

namespace {

// Resets the in-change flag also when a copy throws, so later changes notify again.
class TInChangeGuard {
public:
    explicit TInChangeGuard(bool& Flag) : FFlag(Flag), FPrevious(Flag) { FFlag = true; }
    ~TInChangeGuard() { FFlag = FPrevious; }
    TInChangeGuard(const TInChangeGuard&) = delete;
    TInChangeGuard& operator=(const TInChangeGuard&) = delete;

private:
    bool& FFlag;
    bool FPrevious;
};

}  // namespace

TEtkMultiSprache::TEtkMultiSprache(const TEtkMultiSprache& Source)
    : FTextId(Source.FTextId),
      FSprachen(Source.FSprachen),
      FTexte(Source.FTexte),
      FisFileEdit(Source.FisFileEdit),
      FGUID(Source.FGUID) {}

TEtkMultiSprache& TEtkMultiSprache::operator=(const TEtkMultiSprache& Source) {
    Assign(Source);
    return *this;
}

int TEtkMultiSprache::IndexOf(const QString& Sprache) const {
    return static_cast<int>(FSprachen.indexOf(Sprache.toUpper()));
}

bool TEtkMultiSprache::StoreText(const QString& Code, const QString& Text) {
    const int index = IndexOf(Code);
    if (index < 0) {
        FSprachen.append(Code.toUpper());
        FTexte.append(Text);
        // A new language with an empty text leaves the text as it was: the GUID still names it.
        if (!Text.isEmpty())
            FGUID.clear();
        return true;
    }
    if (FTexte[index] == Text)
        return false;
    FTexte[index] = Text;
    FGUID.clear();
    return true;
}

void TEtkMultiSprache::Change() {
    if (!FInChange && FOnChange)
        FOnChange(this);
}

QString TEtkMultiSprache::GetText(const QString& Sprache) const {
    const int index = IndexOf(Sprache);
    return index < 0 ? QString() : FTexte[index];
}

void TEtkMultiSprache::SetText(const QString& Sprache, const QString& Text) {
    if (StoreText(Sprache, Text))
        Change();
}

QString TEtkMultiSprache::GetTextByNearestLanguage(const QString& Sprache,
                                                   const QStringList& FallbackLanguages) const {
    QStringList candidates{Sprache};
    candidates << FallbackLanguages << QStringLiteral("EN") << QStringLiteral("DE") << QStringLiteral("FR");
    for (const QString& candidate : candidates) {
        const QString text = GetText(candidate);
        if (!text.isEmpty())
            return text;
    }
    return {};
}

bool TEtkMultiSprache::SpracheExists(const QString& Sprache) const { return IndexOf(Sprache) >= 0; }

void TEtkMultiSprache::SetSprachen(const QStringList& Sprachen) {
    QStringList codes;
    for (const QString& sprache : Sprachen)
        if (!codes.contains(sprache.toUpper()))
            codes.append(sprache.toUpper());
    const QStringList texte(codes.size(), QString());
    if (codes == FSprachen && texte == FTexte)
        return;
    if (!AlleStringsSindLeer())
        FGUID.clear();
    FSprachen = codes;
    FTexte = texte;
    Change();
}

void TEtkMultiSprache::ErgaenzeSprachen(const QStringList& Sprachen) {
    bool changed = false;
    for (const QString& sprache : Sprachen)
        if (!SpracheExists(sprache))
            changed = StoreText(sprache, QString()) || changed;
    if (changed)
        Change();
}

void TEtkMultiSprache::Clear() {
    if (FSprachen.isEmpty())
        return;
    if (!AlleStringsSindLeer())
        FGUID.clear();
    FSprachen.clear();
    FTexte.clear();
    Change();
}

void TEtkMultiSprache::ClearTexte() {
    if (AlleStringsSindLeer())
        return;
    for (QString& text : FTexte)
        text.clear();
    FGUID.clear();
    Change();
}

bool TEtkMultiSprache::AlleStringsSindLeer() const {
    return std::all_of(FTexte.cbegin(), FTexte.cend(), [](const QString& text) { return text.isEmpty(); });
}

void TEtkMultiSprache::Assign(const TEtkMultiSprache& Source) {
    if (&Source == this)
        return;
    const bool changed = FSprachen != Source.FSprachen || FTexte != Source.FTexte ||
                         FTextId != Source.FTextId || FisFileEdit != Source.FisFileEdit || FGUID != Source.FGUID;
    FSprachen = Source.FSprachen;
    FTexte = Source.FTexte;
    FTextId = Source.FTextId;
    FisFileEdit = Source.FisFileEdit;
    FGUID = Source.FGUID;
    if (changed)
        Change();
}

void TEtkMultiSprache::AssignData(const TEtkMultiSprache& Source) {
    if (&Source == this)
        return;
    bool changed = false;
    {
        TInChangeGuard guard(FInChange);
        for (int i = 0; i < Source.Count(); ++i)
            changed = StoreText(Source.FSprachen[i], Source.FTexte[i]) || changed;
    }
    if (changed)
        Change();
}

void TEtkMultiSprache::AssignDataOnlyIfSpracheExists(const TEtkMultiSprache& Source) {
    if (&Source == this)
        return;
    bool changed = false;
    {
        TInChangeGuard guard(FInChange);
        for (int i = 0; i < Source.Count(); ++i)
            if (SpracheExists(Source.FSprachen[i]))
                changed = StoreText(Source.FSprachen[i], Source.FTexte[i]) || changed;
    }
    if (changed)
        Change();
}

void TEtkMultiSprache::AssignDataOnlyIfTextNonEmpty(const TEtkMultiSprache& Source) {
    if (&Source == this)
        return;
    bool changed = false;
    {
        TInChangeGuard guard(FInChange);
        for (int i = 0; i < Source.Count(); ++i)
            if (!Source.FTexte[i].isEmpty())
                changed = StoreText(Source.FSprachen[i], Source.FTexte[i]) || changed;
    }
    if (changed)
        Change();
}

bool TEtkMultiSprache::Equals(const TEtkMultiSprache& Value) const {
    if (FTextId != Value.FTextId || Count() != Value.Count())
        return false;
    for (int i = 0; i < Count(); ++i) {
        const int other = Value.IndexOf(FSprachen[i]);
        if (other < 0 || Value.FTexte[other] != FTexte[i])
            return false;
    }
    return true;
}

bool TEtkMultiSprache::IsSubSetFrom(const TEtkMultiSprache& Value) const {
    for (int i = 0; i < Count(); ++i) {
        const int other = Value.IndexOf(FSprachen[i]);
        if (other < 0)
            return false;
        if (!FTexte[i].isEmpty() && FTexte[i] != Value.FTexte[other])
            return false;
    }
    return true;
}

bool TEtkMultiSprache::TexteSindGleich(const TEtkMultiSprache& Value) const {
    // Completing both with the other's languages adds only empty texts, so comparing over the union
    // of the languages with GetText (empty for a missing one) is the same test without the copies.
    for (int i = 0; i < Count(); ++i)
        if (FTexte[i] != Value.GetText(FSprachen[i]))
            return false;
    for (int i = 0; i < Value.Count(); ++i)
        if (Value.FTexte[i] != GetText(Value.FSprachen[i]))
            return false;
    return true;
}

QString TEtkMultiSprache::ToString() const {
    QStringList pairs;
    for (int i = 0; i < Count(); ++i)
        pairs.append(FSprachen[i] + QLatin1Char('=') + FTexte[i]);
    return pairs.join(QLatin1String("; "));
}
