#include "config/EtkConfigStores_p.h"

#include <QFileInfo>

#include "platform/FileLock.h"
#include "util/StringList.h"
#include "util/_4all.h"

namespace {

// Keeps a sorted list unsorted while it is filled in stored order, and sorts it again afterwards.
class TUnsortedWhileFilling {
public:
    explicit TUnsortedWhileFilling(TStringList& List) : FList(List), FWasSorted(List.Sorted()) {
        if (FWasSorted)
            FList.SetSorted(false);
    }
    ~TUnsortedWhileFilling() {
        if (FWasSorted)
            FList.SetSorted(true);
    }

private:
    TStringList& FList;
    bool FWasSorted;
};

QString DecodeListItem(QStringView Item) {
    QString result;
    result.reserve(Item.size());
    for (qsizetype i = 0; i < Item.size(); ++i) {
        if (Item[i] == QLatin1Char('#') && i + 4 < Item.size()) {
            int value = 0;
            bool hex = true;
            for (int k = 1; hex && k <= 4; ++k) {
                const int digit = HexDigit(Item[i + k]);
                hex = digit >= 0;
                value = value * 16 + digit;
            }
            if (hex) {
                result += QChar(static_cast<char16_t>(value));
                i += 4;
                continue;
            }
        }
        result += Item[i];
    }
    return result;
}

}  // namespace

QString EncodeListItems(const QStringList& Items, bool WithLetters) {
    QString text;
    for (qsizetype i = 0; i < Items.size(); ++i) {
        if (i > 0)
            text += QLatin1Char('|');
        if (WithLetters)
            text += QLatin1Char('s');
        for (QChar c : Items[i]) {
            if (c == QLatin1Char('|') || c == QLatin1Char('#'))
                text += QStringLiteral("#%1").arg(c.unicode(), 4, 16, QLatin1Char('0')).toUpper();
            else
                text += c;
        }
    }
    return text;
}

QStringList DecodeListItems(QStringView Text, bool WithLetters) {
    QStringList items;
    if (Text.isEmpty())
        return items;
    for (QStringView item : Text.split(QLatin1Char('|')))
        items << DecodeListItem(WithLetters ? item.mid(1) : item);
    return items;
}

void Fill(TStringList& List, const QStringList& Items) {
    TUnsortedWhileFilling guard(List);
    List.BeginUpdate();
    List.Clear();
    for (const QString& item : Items)
        List.Add(item);
    List.EndUpdate();
}

QStringList ToQStringList(const TStringList& List) {
    QStringList items;
    items.reserve(List.Count());
    for (int i = 0; i < List.Count(); ++i)
        items << List[i];
    return items;
}

QString NameWithoutFolder(const QString& FileName) { return QFileInfo(FileName).fileName(); }

bool IsConfigFileReadonly(const QString& FileName) {
    if (Platform::FileExists(FileName))
        return !Platform::IsFileWritable(FileName);
    QString folder = QFileInfo(FileName).absolutePath();
    while (!Platform::FolderExists(folder)) {
        const QString parent = QFileInfo(folder).absolutePath();
        if (parent == folder)
            return true;
        folder = parent;
    }
    return !Platform::IsFolderWritable(folder);
}
