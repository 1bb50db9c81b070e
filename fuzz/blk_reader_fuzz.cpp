// Fuzzes the fast store's reader: any bytes must parse or fail cleanly, and a tree that parsed must
// serialise to bytes that parse back to a tree with exactly the same serialisation.
#include <QByteArray>
#include <QStringList>
#include <cstdint>
#include <cstdlib>

#include "config/EtkConfigIntf.h"
#include "config/FastBLKReader.h"

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
    if (reread.WriteToBytes() != first)
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
