// FastBLKReader.h: the light in-memory tree of a project file (TBLKNodeElement nodes under a
// TBLKConnector), filled by expat's event interface and written back by our own serialiser in the
// project-file layout. One thread at a time. Programming errors (bad key, broken tree) raise
// EBLKAssertion; names that cannot be element names raise EBLKKeyError before the tree changes.
#pragma once
#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QVector>
#include <memory>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "util/Exception.h"

// A broken invariant or a malformed key: a programming error, reported with the source name.
class EBLKAssertion : public Exception {
public:
    using Exception::Exception;
    const char* ClassName() const noexcept override { return "EBLKAssertion"; }
};

// A key segment that cannot be an element name (blank, "<", a leading digit, ...).
class EBLKKeyError : public Exception {
public:
    using Exception::Exception;
    const char* ClassName() const noexcept override { return "EBLKKeyError"; }
};

// A parse that reported errors; the message names the file.
class EBLKParserError : public Exception {
public:
    using Exception::Exception;
    const char* ClassName() const noexcept override { return "EBLKParserError"; }
};

class TBLKNodeElement;

// Attributes in insertion order (a map switched to unsorted).
using TBLKAttributes = std::vector<std::pair<QString, QString>>;

// An owning list of nodes in document order. Long lists are searched through a name index built on
// their first search, so a key among many thousand siblings is found without comparing them all.
class TBLKNodeElements {
public:
    int Count() const { return static_cast<int>(FItems.size()); }
    TBLKNodeElement* GetValues(int Index) const { return FItems[static_cast<size_t>(Index)].get(); }
    // The node is named already.
    void Add(std::unique_ptr<TBLKNodeElement> Node);
    std::unique_ptr<TBLKNodeElement> Extract(TBLKNodeElement* Node);
    void Clear();
    // The first node named Name in document order, or null.
    TBLKNodeElement* Find(QStringView Name) const;
    // To be called after a node of this list was renamed.
    void NameChanged() { FIndex.reset(); }
    auto begin() const { return FItems.begin(); }
    auto end() const { return FItems.end(); }

private:
    struct TNameHash {
        size_t operator()(QStringView Name) const noexcept {
            return std::hash<std::u16string_view>()(std::u16string_view(Name.utf16(), static_cast<size_t>(Name.size())));
        }
    };
    // Name -> first node of that name; the keys view the nodes' own names.
    using TNameIndex = std::unordered_map<QStringView, TBLKNodeElement*, TNameHash>;
    static constexpr size_t IndexThreshold = 16;

    std::vector<std::unique_ptr<TBLKNodeElement>> FItems;
    mutable std::unique_ptr<TNameIndex> FIndex;  // null until a long list is searched
};

class TBLKNodeElement {
public:
    explicit TBLKNodeElement(TBLKNodeElement* AParent) : Parent(AParent) {}
    TBLKNodeElement(const TBLKNodeElement&) = delete;
    TBLKNodeElement& operator=(const TBLKNodeElement&) = delete;

    TBLKNodeElement* Parent = nullptr;
    QString TagName;
    QString Value;
    std::unique_ptr<TBLKAttributes> Attributs;  // created with the first attribute
    TBLKNodeElements Childs;

    // Sets or replaces an attribute; true when something changed.
    bool AddAttribut(const QString& Key, const QString& Value);
    const QString* FindAttribut(const QString& Key) const;
    bool DeleteAttribute(const QString& Key);
    void AddChild(std::unique_ptr<TBLKNodeElement> Node);
    int AttributCount() const { return Attributs ? static_cast<int>(Attributs->size()) : 0; }
    int ChildCount() const { return Childs.Count(); }
    void Clear();
    TBLKNodeElement* CreateSubKey(const QString& Key);
    void DeleteSubNode(TBLKNodeElement* Node);
    TBLKNodeElement* FindChild(QStringView Name) const;
    // Tag not empty, no empty attribute name, not its own ancestor; recursive. Diagnostic in Reason.
    bool CheckInvariance(QString* Reason = nullptr) const;
};

class TBLKConnector {
public:
    TBLKConnector();
    ~TBLKConnector();
    TBLKConnector(const TBLKConnector&) = delete;
    TBLKConnector& operator=(const TBLKConnector&) = delete;

    QStringList Errorlist;  // parser errors of the last parse

    void Clear();
    // Parses Bytes (UTF-8, byte-order mark allowed) into the tree; false when errors were reported.
    // Errors receives the error list. FileName only names the source in messages.
    bool LoadFromStream(const QByteArray& Bytes, QStringList& Errors, const QString& FileName = {});
    // Serialises the tree in the project-file layout.
    void WriteToStream(QByteArray& OutStream) const;
    QByteArray WriteToBytes() const;

    QString ReadRawString(const QString& Key, const QString& Default);
    bool WriteRawString(const QString& Key, const QString& Value);
    QString ReadAttribute(const QString& Key, const QString& AttName);
    bool WriteAttribute(const QString& Key, const QString& AttName, const QString& Value);
    void ReadKeys(const QString& Key, QStringList& SubKeys);
    void ReadAllAttributes(const QString& Key, TBLKAttributes& Map);
    bool Deletekey(const QString& Key);
    bool DeleteAttribute(const QString& Key, const QString& AttName);
    bool DeleteValue(const QString& Key);
    bool DeleteSubKeys(const QString& Key);
    bool RenameKey(const QString& Key, const QString& NewKey);
    bool ElementsInKeyHasAttribut(const QString& Key, const QString& AttName, const QString& AttValue);
    bool KeyExists(const QString& Key);
    bool CheckInvariance(QString* Reason = nullptr) const;

    // Finds the node of Key; with Create, missing nodes are appended and Created is set.
    TBLKNodeElement* FindNode(const QString& Key, bool Create, bool* Created = nullptr);
    TBLKNodeElement* RootNode() const { return FRootNode.get(); }

    // Raises EBLKKeyError for the first segment of Key that cannot be an element name.
    static void CheckKeySegments(const QString& Key, const QString& Owner);

private:
    std::unique_ptr<TBLKNodeElement> FRootNode;
    TBLKNodeElement* ActRootNode = nullptr;  // the node being filled while parsing
    friend struct TBLKParseState;
};
