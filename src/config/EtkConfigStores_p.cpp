#include "config/EtkConfigStores_p.h"

#include <QFileInfo>
#include <QUuid>
#include <algorithm>
#include <functional>

#include "config/ETKConfigDomXML.h"
#include "config/EtkConfigFastDomXml.h"

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

bool SplitRawData(bool Found, const QString& Text, int& Typ, QString& Data) {
    Typ = -1;
    Data.clear();
    if (!Found || Text.isEmpty())
        return false;
    const int index = QStringLiteral("sibl").indexOf(Text.front());
    if (index < 0)
        return false;
    Typ = index;
    Data = Text.mid(1);
    return true;
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

template <class TStore>
void ReadStoreFont(TStore& Store, const QString& Key, TEtkFontData& Font) {
    const QString base = Key + QLatin1String("\\TFont\\");
    const TEtkFontData defaults;
    Font.CharSet = Store.ReadInteger(base + QLatin1String("CharSet"), defaults.CharSet);
    Font.Pitch = Store.ReadInteger(base + QLatin1String("Pitch"), defaults.Pitch);
    Font.Size = Store.ReadInteger(base + QLatin1String("Size"), defaults.Size);
    Font.Style = Store.ReadInteger(base + QLatin1String("Style"), defaults.Style);
    Font.Color = Store.ReadString(base + QLatin1String("Color"), defaults.Color);
    Font.Name = Store.ReadString(base + QLatin1String("Name"), defaults.Name);
}

template <class TStore>
void WriteStoreFont(TStore& Store, const QString& Key, const TEtkFontData& Font) {
    const QString base = Key + QLatin1String("\\TFont\\");
    TCachingGuard batch(Store);
    Store.WriteInteger(base + QLatin1String("CharSet"), Font.CharSet);
    Store.WriteInteger(base + QLatin1String("Pitch"), Font.Pitch);
    Store.WriteInteger(base + QLatin1String("Size"), Font.Size);
    Store.WriteInteger(base + QLatin1String("Style"), Font.Style);
    Store.WriteString(base + QLatin1String("Color"), Font.Color);
    Store.WriteString(base + QLatin1String("Name"), Font.Name);
}

template <class TStore>
int ReadStoreRectCount(TStore& Store, const QString& Key) {
    bool ok = false;
    const int count = Store.ReadAttribute(Key + QLatin1String("\\Rect"), QStringLiteral("Count")).toInt(&ok);
    return ok ? count : -1;
}

template <class TStore>
bool ReadStoreRect(TStore& Store, const QString& Key, std::vector<TEtkRect>& Rects, int High) {
    const int last = Store.ReadRectCount(Key);
    if (last < 0 || last > High || static_cast<int>(Rects.size()) <= last)
        return false;
    const QString base = Key + QLatin1String("\\Rect\\TRect");
    for (int i = 0; i <= last; ++i) {
        const QString key = base + QString::number(i);
        Rects[static_cast<size_t>(i)] = {Store.ReadAttributeInt(key, QStringLiteral("Left"), 0),
                                         Store.ReadAttributeInt(key, QStringLiteral("Top"), 0),
                                         Store.ReadAttributeInt(key, QStringLiteral("Right"), 0),
                                         Store.ReadAttributeInt(key, QStringLiteral("Bottom"), 0)};
    }
    return true;
}

template <class TStore>
void WriteStoreRect(TStore& Store, const QString& Key, const std::vector<TEtkRect>& Rects, int High) {
    const QString rectKey = Key + QLatin1String("\\Rect");
    TCachingGuard batch(Store);
    if (Store.KeyExists(rectKey))
        Store.DeleteKey(rectKey);
    const int last = std::min(High, static_cast<int>(Rects.size()) - 1);
    Store.WriteAttribute(rectKey, QStringLiteral("Count"), QString::number(last));
    for (int i = 0; i <= last; ++i) {
        const QString key = rectKey + QLatin1String("\\TRect") + QString::number(i);
        const TEtkRect& rect = Rects[static_cast<size_t>(i)];
        Store.WriteAttribute(key, QStringLiteral("Top"), QString::number(rect.Top));
        Store.WriteAttribute(key, QStringLiteral("Left"), QString::number(rect.Left));
        Store.WriteAttribute(key, QStringLiteral("Right"), QString::number(rect.Right));
        Store.WriteAttribute(key, QStringLiteral("Bottom"), QString::number(rect.Bottom));
    }
}

template <class TStore>
void AssignStoreData(TStore& Store, TStore& Source, const QString& Key) {
    TCachingGuard batch(Store);
    Store.WriteKeys(Key, {});
    std::function<void(const QString&)> copy = [&](const QString& Path) {
        int typ = -1;
        QString data;
        if (Source.ReadRawData(Path, typ, data))
            Store.WriteRawData(Path, typ, data);
        for (const QString& line : Source.ReadAllAttributes(Path)) {
            const qsizetype bar = line.indexOf(QLatin1Char('|'));
            Store.WriteAttribute(Path, line.left(bar), line.mid(bar + 1));
        }
        for (const QString& sub : Source.ReadKeys(Path))
            copy(Path.isEmpty() ? sub : Path + QLatin1Char('\\') + sub);
    };
    copy(Key);
}

template <class TStore>
void ExtractStoreTexte(TStore& Store, QStringList& KeyList, const QStringList& Sprachen) {
    TCachingGuard batch(Store);
    KeyList.clear();
    std::function<void(const QString&)> walk = [&](const QString& Key) {
        for (const QString& sub : Store.ReadKeys(Key)) {
            const QString path = Key.isEmpty() ? sub : Key + QLatin1Char('\\') + sub;
            if (Store.ReadAttribute(path, QStringLiteral("BLSP")) != QLatin1String("ML")) {
                walk(path);
                continue;
            }
            QString guid = Store.ReadAttribute(path, QStringLiteral("GUID"));
            if (guid.isEmpty()) {
                guid = QUuid::createUuid().toString(QUuid::Id128).toUpper();
                Store.WriteAttribute(path, QStringLiteral("GUID"), guid);
            }
            for (const QString& language : Sprachen)
                KeyList << path + QLatin1Char(':') + guid + QLatin1Char('\t') + language + QLatin1Char('\t') +
                               Store.ReadString(path + QLatin1Char('\\') + language, QString());
        }
    };
    walk(QString());
}

template void ReadStoreFont(TEtkConfigXML&, const QString&, TEtkFontData&);
template void WriteStoreFont(TEtkConfigXML&, const QString&, const TEtkFontData&);
template int ReadStoreRectCount(TEtkConfigXML&, const QString&);
template bool ReadStoreRect(TEtkConfigXML&, const QString&, std::vector<TEtkRect>&, int);
template void WriteStoreRect(TEtkConfigXML&, const QString&, const std::vector<TEtkRect>&, int);
template void AssignStoreData(TEtkConfigXML&, TEtkConfigXML&, const QString&);
template void ExtractStoreTexte(TEtkConfigXML&, QStringList&, const QStringList&);

template void ReadStoreFont(TEtkConfigXMLFast&, const QString&, TEtkFontData&);
template void WriteStoreFont(TEtkConfigXMLFast&, const QString&, const TEtkFontData&);
template int ReadStoreRectCount(TEtkConfigXMLFast&, const QString&);
template bool ReadStoreRect(TEtkConfigXMLFast&, const QString&, std::vector<TEtkRect>&, int);
template void WriteStoreRect(TEtkConfigXMLFast&, const QString&, const std::vector<TEtkRect>&, int);
template void AssignStoreData(TEtkConfigXMLFast&, TEtkConfigXMLFast&, const QString&);
template void ExtractStoreTexte(TEtkConfigXMLFast&, QStringList&, const QStringList&);
