// Fuzzes the fast store's reader: any bytes must parse or fail cleanly, and a tree that parsed must
// serialise to bytes that parse back to the same tree: same names and attributes, and values that
// read the same (readers trim the content; white space before the first reference of a content may
// arrive as a chunk of its own, which the reader skips while the value is still empty).
#include <QByteArray>
#include <QStringList>
#include <cstdint>
#include <cstdlib>

#include "config/EtkConfigIntf.h"
#include "config/FastBLKReader.h"

namespace {

bool SameTree(const TBLKNodeElement& A, const TBLKNodeElement& B) {
    if (A.TagName != B.TagName || TrimConfigText(A.Value) != TrimConfigText(B.Value) || A.ChildCount() != B.ChildCount())
        return false;
    const TBLKAttributes none;
    if ((A.Attributs ? *A.Attributs : none) != (B.Attributs ? *B.Attributs : none))
        return false;
    for (int i = 0; i < A.ChildCount(); ++i)
        if (!SameTree(*A.Childs.GetValues(i), *B.Childs.GetValues(i)))
            return false;
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, size_t Size) {
    QByteArray bytes(reinterpret_cast<const char*>(Data), static_cast<qsizetype>(Size));
    InflateConfigBytes(bytes);
    TBLKConnector tree;
    QStringList errors;
    if (!tree.LoadFromStream(bytes, errors)) {
        if (errors.isEmpty() || !tree.CheckInvariance())
            std::abort();
        return 0;
    }
    if (!tree.CheckInvariance())
        std::abort();
    const QByteArray first = tree.WriteToBytes();
    TBLKConnector reread;
    if (!reread.LoadFromStream(first, errors))
        std::abort();  // the serialiser wrote something its own reader refuses
    if (!SameTree(*tree.RootNode(), *reread.RootNode()))
        std::abort();  // a value or name changed on the way through the file

    // Keys taken from the input: refused cleanly or found.
    const QString key = QString::fromUtf8(bytes.left(64)).remove(QLatin1Char('\0'));
    try {
        tree.ReadRawString(key, QString());
        tree.WriteRawString(key, QStringLiteral("sx"));
        tree.WriteAttribute(key, QStringLiteral("A"), key);
        const QByteArray edited = tree.WriteToBytes();
        if (!reread.LoadFromStream(edited, errors))
            std::abort();
    } catch (const EBLKKeyError&) {
    } catch (const EBLKAssertion&) {
    }
    return 0;
}
