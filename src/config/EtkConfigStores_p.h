// EtkConfigStores_p.h: helpers private to the two configuration stores (the DOM store and the fast
// store): list item encoding, filling string lists, and the guard that brackets a batch of writes.
// Not for callers of the stores. Plain functions; one thread at a time per store.
#pragma once
#include <QString>
#include <QStringList>
#include <QStringView>
#include <chrono>
#include <exception>
#include <vector>

#include "config/EtkConfigIntf.h"

class TStringList;

// How long a store waits for the process-wide configuration semaphore at most.
constexpr auto ConfigSemaphoreWait = std::chrono::milliseconds(15000);

// Joins Items with "|"; "|" and "#" inside an item become "#" + four upper-case hex digits of the
// code unit. WithLetters puts the type letter "s" before each item.
QString EncodeListItems(const QStringList& Items, bool WithLetters);
// The reverse of EncodeListItems; "#" not followed by four hex digits stays as it is. WithLetters
// drops the first character (the type letter) of each item. Empty text is an empty list.
QStringList DecodeListItems(QStringView Text, bool WithLetters);

// Replaces the content of List by Items in their order; a sorted list is filled unsorted and sorted
// again afterwards (also when filling raises), and observers see one change.
void Fill(TStringList& List, const QStringList& Items);
QStringList ToQStringList(const TStringList& List);

// Splits the raw text of a found key into its type ("sibl".indexOf of the letter) and the data
// after the letter. False, with Typ -1 and empty Data, when the key is missing or the letter unknown.
bool SplitRawData(bool Found, const QString& Text, int& Typ, QString& Data);

QString NameWithoutFolder(const QString& FileName);
// A missing file is read-only when its folder can be neither created nor written to.
bool IsConfigFileReadonly(const QString& FileName);

// Operations both stores carry out through their public reads and writes alone. Defined in the
// source for TEtkConfigXML and TEtkConfigXMLFast.
template <class TStore>
void ReadStoreFont(TStore& Store, const QString& Key, TEtkFontData& Font);
template <class TStore>
void WriteStoreFont(TStore& Store, const QString& Key, const TEtkFontData& Font);
template <class TStore>
int ReadStoreRectCount(TStore& Store, const QString& Key);
template <class TStore>
bool ReadStoreRect(TStore& Store, const QString& Key, std::vector<TEtkRect>& Rects, int High);
template <class TStore>
void WriteStoreRect(TStore& Store, const QString& Key, const std::vector<TEtkRect>& Rects, int High);
template <class TStore>
void AssignStoreData(TStore& Store, TStore& Source, const QString& Key);
template <class TStore>
void ExtractStoreTexte(TStore& Store, QStringList& KeyList, const QStringList& Sprachen);

// Brackets a batch of writes with StartCaching/EndCaching; the end runs also when the body raises,
// and then an error of EndCaching gives way to the body's exception.
template <class TStore>
class TCachingGuard {
public:
    explicit TCachingGuard(TStore& Store) : FStore(Store) { FStore.StartCaching(); }
    TCachingGuard(const TCachingGuard&) = delete;
    TCachingGuard& operator=(const TCachingGuard&) = delete;
    ~TCachingGuard() noexcept(false) {
        if (std::uncaught_exceptions() > FExceptions) {
            try {
                FStore.EndCaching();
            } catch (...) {  // the body's exception is the one to report
            }
        } else {
            FStore.EndCaching();
        }
    }

private:
    TStore& FStore;
    int FExceptions = std::uncaught_exceptions();
};
