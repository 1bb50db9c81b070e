// EtkTypes.h: types and message functions of the catalogue library that library code may call: the
// opening of a file that another process may hold (OpenFileWaitForLock; any thread; raises
// EFOpenError with the German texts), texts in several languages (TEtkMultiSprache) and headings
// (TInfoHeader). The interactive time-out dialog is a handler the GUI installs; without one,
// interactive calls behave as non-interactive ones.
#pragma once
#include <QString>
#include <QStringList>
#include <chrono>
#include <functional>

#include "platform/FileLock.h"
#include "util/Exception.h"

// A file that cannot be opened: its folder is missing, it stays locked, or the system refuses it.
class EFOpenError : public EStreamError {
public:
    using EStreamError::EStreamError;
    const char* ClassName() const noexcept override { return "EFOpenError"; }
};

// Mode numbers of OpenFileWaitForLock.
namespace TOpenFileMode {
constexpr int ofmRead = 0;       // read, other writers wait
constexpr int ofmReadWrite = 1;  // read and write, created when missing, not shared
constexpr int ofmCreate = 2;     // created (emptied), not shared
}  // namespace TOpenFileMode

// Called on the waiting thread when a file stayed locked for one period in interactive mode.
// Answers true to wait another period; false means the user chose to end the program (the handler
// ends it; should it return, the call raises like a non-interactive one).
using TOpenFileTimeoutHandler =
    std::function<bool(const QString& FileName, int Mode, bool FolderWritable)>;

// Installs Handler (empty: none) and returns the previous one.
TOpenFileTimeoutHandler SetOpenFileTimeoutHandler(TOpenFileTimeoutHandler Handler);

constexpr auto OpenFileLockPeriod = std::chrono::milliseconds(20000);

// Opens FileName in Mode (0, 1, 2), retrying every 100 ms while another process holds a conflicting
// lock. After Period without success: interactive calls ask the time-out handler, others raise
// "Datei %s wird von anderer Anwendung gesperrt ...". A missing folder raises the file name; other
// refusals (no rights, a folder in the way) raise at once with the system's text.
Platform::TLockedFile OpenFileWaitForLock(const QString& FileName, int Mode, bool Interactive,
                                          std::chrono::milliseconds Period = OpenFileLockPeriod);

// ---- Texts in several languages ----
// TEtkMultiSprache holds one text per language code (codes kept upper case, in the order they were
// added) for configuration values such as headings and program names, with the text's identifier
// (GUID, 32 hexadecimal digits) and a file-edit flag (the texts are file names). Any change of the
// texts clears the GUID and calls OnChange, except while an AssignData call copies (one call at its
// end). A copy takes the data, never the change handler: the handler belongs to the owner of the
// object it was set on. One thread at a time.
class TEtkMultiSprache;
using TEtkMultiSpracheChangeEvent = std::function<void(TEtkMultiSprache* Sender)>;

class TEtkMultiSprache {
public:
    TEtkMultiSprache() = default;
    TEtkMultiSprache(const TEtkMultiSprache& Source);
    // Assign: the target keeps its handler and is notified.
    TEtkMultiSprache& operator=(const TEtkMultiSprache& Source);
    ~TEtkMultiSprache() = default;

    // Empty when the language is missing.
    QString GetText(const QString& Sprache) const;
    // Replaces the language's text or appends the language.
    void SetText(const QString& Sprache, const QString& Text);
    // The first non-empty text of Sprache, then each fallback language, then "EN", "DE", "FR".
    QString GetTextByNearestLanguage(const QString& Sprache, const QStringList& FallbackLanguages = {}) const;
    bool SpracheExists(const QString& Sprache) const;
    // Exactly these languages, all with empty texts.
    void SetSprachen(const QStringList& Sprachen);
    // Appends the missing ones of Sprachen with empty texts.
    void ErgaenzeSprachen(const QStringList& Sprachen);
    // No languages left; the text identifier and the file-edit flag stay.
    void Clear();
    // Every language stays, with an empty text.
    void ClearTexte();
    bool AlleStringsSindLeer() const;

    // Everything but the change handler: texts, text identifier, file-edit flag and GUID.
    void Assign(const TEtkMultiSprache& Source);
    // Copies every text of Source (languages missing here are appended, the others keep theirs).
    void AssignData(const TEtkMultiSprache& Source);
    // Copies only the texts of languages this object has.
    void AssignDataOnlyIfSpracheExists(const TEtkMultiSprache& Source);
    // Copies only Source's non-empty texts.
    void AssignDataOnlyIfTextNonEmpty(const TEtkMultiSprache& Source);

    // Same text identifier and the same languages with the same texts (case-sensitive).
    bool Equals(const TEtkMultiSprache& Value) const;
    bool operator==(const TEtkMultiSprache& Value) const { return Equals(Value); }
    // Every language here exists in Value, and every non-empty text here is Value's text.
    bool IsSubSetFrom(const TEtkMultiSprache& Value) const;
    // The texts agree, a language missing on one side counting as an empty text.
    bool TexteSindGleich(const TEtkMultiSprache& Value) const;
    // "DE=Hallo; EN=Hello".
    QString ToString() const;

    int Count() const { return static_cast<int>(FSprachen.size()); }
    const QStringList& Sprachen() const { return FSprachen; }
    const QStringList& Texte() const { return FTexte; }
    QString TextId() const { return FTextId; }
    void SetTextId(const QString& Value) { FTextId = Value; }
    bool isFileEdit() const { return FisFileEdit; }
    void SetisFileEdit(bool Value) { FisFileEdit = Value; }
    QString GUID() const { return FGUID; }
    void SetGUID(const QString& Value) { FGUID = Value; }
    const TEtkMultiSpracheChangeEvent& OnChange() const { return FOnChange; }
    void SetOnChange(TEtkMultiSpracheChangeEvent Value) { FOnChange = std::move(Value); }

private:
    int IndexOf(const QString& Sprache) const;
    // Sets without notifying; true when something changed.
    bool StoreText(const QString& Code, const QString& Text);
    void Change();

    bool FInChange = false;  // an AssignData call is copying: notify once at its end
    QString FTextId;
    QStringList FSprachen;   // upper-case codes
    QStringList FTexte;      // parallel to FSprachen
    TEtkMultiSpracheChangeEvent FOnChange;
    bool FisFileEdit = false;
    QString FGUID;
};

// A heading in several languages with the list of fields it shows.
class TInfoHeader {
public:
    TEtkMultiSprache& Text() { return FText; }
    const TEtkMultiSprache& Text() const { return FText; }
    void SetText(const TEtkMultiSprache& Value) { FText.Assign(Value); }
    const QStringList& Felder() const { return FFelder; }
    void SetFelder(const QStringList& Value) { FFelder = Value; }

private:
    TEtkMultiSprache FText;
    QStringList FFelder;
};
